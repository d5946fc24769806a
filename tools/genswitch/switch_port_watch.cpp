#include "tools/genswitch/switch_port_watch.h"

#include <cstring>
#include <memory>

#include "app/web_server_check.h"
#include "platform/win/debug_output.h"

namespace {

void SetButtons(CWnd* dialog, const SwitchWatchSetup& setup, bool networkMode, bool modemMode)
{
    if (CWnd* button = dialog->GetDlgItem(setup.networkModeButton))
        button->EnableWindow(networkMode ? TRUE : FALSE);
    if (CWnd* button = dialog->GetDlgItem(setup.modemModeButton))
        button->EnableWindow(modemMode ? TRUE : FALSE);
}

bool WebServerUp(const SwitchWatchSetup& setup) { return IsWebServerDownForSection(setup.webServerSection) == 0; }

}  // namespace

int ListSwitchPorts(char (*entries)[KESTLE_ENTRY_SIZE])
{
    std::memset(entries, 0, GEN_SWITCH_LISTING_ENTRIES * KESTLE_ENTRY_SIZE);
    int count = GEN_SWITCH_LISTING_ENTRIES;
    if (KestleEnumDeviceProperty(entries, &count) != 0 || count < 0)
        return 0;
    if (count > GEN_SWITCH_LISTING_ENTRIES)
        count = GEN_SWITCH_LISTING_ENTRIES;
    for (int i = 0; i < count; ++i)
        entries[i][KESTLE_ENTRY_SIZE - 1] = '\0';
    return count;
}

bool ListingEntryHolds(const char* entry, const char* name1, const char* name2)
{
    return std::strstr(entry, name1) || std::strstr(entry, name2);
}

SwitchPortKind ClassifySwitchListing(const char (*entries)[KESTLE_ENTRY_SIZE], int count)
{
    for (int i = 0; i < count; ++i) {
        if (ListingEntryHolds(entries[i], kNetworkCardNames[0], kNetworkCardNames[1]))
            return SwitchPortKind::NetworkCard;
        if (ListingEntryHolds(entries[i], kModemPortNames[0], kModemPortNames[1]))
            return SwitchPortKind::ModemPort;
    }
    return SwitchPortKind::None;
}

void WatchSwitchPorts(CToolDialogFrame* dlg, const SwitchWatchSetup& setup)
{
    SetButtons(dlg, setup, false, false);
    bool networkCardSeen = false;
    // the listing buffer belongs to this pass loop only
    auto entries = std::make_unique<char[][KESTLE_ENTRY_SIZE]>(GEN_SWITCH_LISTING_ENTRIES);
    dlg->RunWatchPasses([&]() -> DWORD {
        SwitchPortKind kind = ClassifySwitchListing(entries.get(), ListSwitchPorts(entries.get()));
        if (setup.webServerMeansCard && WebServerUp(setup))
            kind = SwitchPortKind::NetworkCard;
        switch (kind) {
        case SwitchPortKind::NetworkCard:
            if (dlg->StopRequested())
                return 0;
            // once the web server has confirmed the card, the listing alone is trusted;
            // a refusing one: buttons unchanged, the modem may still boot, so a short pause
            if (!networkCardSeen && !WebServerUp(setup))
                return kWatchRetryPauseMs;
            OutputDebugStringW(L"KESTLE: CPlatformManager, Search RNDIS Port SUCCESS!");
            SetButtons(dlg, setup, false, true);
            networkCardSeen = true;
            return 1000;
        case SwitchPortKind::ModemPort:
            if (dlg->StopRequested())
                return 0;
            OutputDebugStringW(L"KESTLE: CPlatformManager, Search NMEA Success!");
            SetButtons(dlg, setup, true, false);
            networkCardSeen = false;
            return 1000;
        case SwitchPortKind::None:
            break;
        }
        OutputDebugStringW(L"KESTLE: CPlatformManager, Search NMEA Port Fail!");
        SetButtons(dlg, setup, false, false);
        networkCardSeen = false;
        return 1000;
    });
}
