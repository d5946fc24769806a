#pragma once
// The device listing of the two mode switch tools (generic and carrier) and
// their watch: each pass scans the listing, tells what the device shows now
// and enables the one button that fits.
#include "app/tool_dialog_frame.h"
#include "platform/portlib/KestlePortServer.h"

// Listing room of the switch tools' scans (generic and carrier).
constexpr int GEN_SWITCH_LISTING_ENTRIES = 50;

// One listing of up to GEN_SWITCH_LISTING_ENTRIES entries, each NUL-ended;
// the count of entries filled (0 when the listing failed).
int ListSwitchPorts(char (*entries)[KESTLE_ENTRY_SIZE]);

// Whether a listing entry holds either name (case-sensitively).
bool ListingEntryHolds(const char* entry, const char* name1, const char* name2);

// The names a listing entry of each kind holds; the generic tool also waits
// for them after a switch.
inline constexpr const char* kNetworkCardNames[] = {"usb_rndisx", "usbrndis6"};
inline constexpr const char* kModemPortNames[] = {"nmea", "ui at"};

// What the first matching listing entry shows (matched case-sensitively).
enum class SwitchPortKind { None, NetworkCard, ModemPort };
SwitchPortKind ClassifySwitchListing(const char (*entries)[KESTLE_ENTRY_SIZE], int count);

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
