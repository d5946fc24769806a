#pragma once
// The watch of the two mode switch tools (generic and carrier): each pass
// scans the device listing and enables the one button that fits what the
// device shows now.
#include "app/tool_dialog_frame.h"
#include "platform/portlib/KestlePortServer.h"

// One listing of up to GEN_SWITCH_LISTING_ENTRIES entries, each NUL-ended;
// the count of entries filled (0 when the listing failed).
int ListSwitchPorts(char (*entries)[KESTLE_ENTRY_SIZE]);

// What the two switch tools' watches differ in.
struct SwitchWatchSetup {
    int networkModeButton;         // enabled while the modem shows its AT ports
    int modemModeButton;           // enabled while the modem is a network card
    const char* webServerSection;  // configuration section of the web server check
    // An answering web server counts as the network card even when the
    // listing does not show it (checked every pass).
    bool webServerMeansCard;
};

// The whole watch procedure: both buttons off, then passes until the stop
// flag. A first sighting of the network card waits for the web server.
void WatchSwitchPorts(CToolDialogFrame* dlg, const SwitchWatchSetup& setup);
