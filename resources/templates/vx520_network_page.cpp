// The VX520 tool's network tab (a child page of the tab sheet).
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
constexpr DWORD kVisible = WS_VISIBLE;
constexpr DWORD kRadio = WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;
constexpr DWORD kEdit = WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
constexpr DWORD kList = WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
constexpr const wchar_t* kRoamingWarning =
    L"接続モードが自動に設定されていると、自動的にネットワークに接続されます。海外でのローミング時には高額な通信料が"
    L"発生する場合があります。接続モードとネットワーク検索モードを手動に設定することをお勧めします。";

#if defined(SETWELL_USER_AUTH)
const ui::DialogTemplate kNetworkPage = {
    147, L"", 318, 332, L"MS Shell Dlg", 8,
    WS_CHILD,
    {
        {1409, ControlKind::Static, L"Mobile Network Setting", 10, 6, 200, 10, kVisible | SS_LEFT},
        {1388, ControlKind::Button, L"4G/LTE/3G/GSM", 20, 18, 100, 10, kRadio | WS_GROUP},
        {1389, ControlKind::Button, L"4G/LTE", 130, 18, 80, 10, kRadio},
        {1399, ControlKind::Static, L"International Roaming", 10, 32, 200, 10, kVisible | SS_LEFT},
        {1390, ControlKind::Button, L"Enable", 20, 44, 60, 10, kRadio | WS_GROUP},
        {1391, ControlKind::Button, L"Disable", 90, 44, 60, 10, kRadio},
        {1439, ControlKind::Static, kRoamingWarning, 20, 56, 220, 39, kVisible | SS_LEFT},
        {1400, ControlKind::Static, L"Network Selection", 10, 98, 200, 10, kVisible | SS_LEFT},
        {1392, ControlKind::Button, L"Auto", 20, 110, 60, 10, kRadio | WS_GROUP},
        {1393, ControlKind::Button, L"Manual", 90, 110, 60, 10, kRadio},
        {1401, ControlKind::Button, L"Search", 240, 108, 60, 14, WS_VISIBLE | WS_TABSTOP | WS_GROUP},
        {1402, ControlKind::Static, L"Network List", 10, 124, 200, 10, kVisible | SS_LEFT},
        {1407, ControlKind::ListView, L"", 10, 136, 298, 70, kList},
        {1396, ControlKind::Static, L"Profile Setting", 10, 212, 200, 10, kVisible | SS_LEFT},
        {1397, ControlKind::Static, L"APN:", 20, 226, 66, 10, kVisible | SS_LEFT},
        {1398, ControlKind::Edit, L"", 90, 224, 160, 12, kEdit},
        {1403, ControlKind::Static, L"apn edit", 90, 238, 200, 10, SS_LEFT},
        {1412, ControlKind::Static, L"Authentication:", 20, 252, 66, 10, kVisible | SS_LEFT},
        {1339, ControlKind::ComboBox, L"", 90, 250, 160, 60, WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN},
        {1413, ControlKind::Static, L"User Name:", 20, 268, 66, 10, kVisible | SS_LEFT},
        {1414, ControlKind::Edit, L"", 90, 266, 160, 12, kEdit},
        {1415, ControlKind::Static, L"user edit", 90, 280, 200, 10, SS_LEFT},
        {1408, ControlKind::Static, L"Password:", 20, 294, 66, 10, kVisible | SS_LEFT},
        // the password is never shown in clear text
        {1410, ControlKind::Edit, L"", 90, 292, 160, 12, kEdit | ES_PASSWORD},
        {1411, ControlKind::Static, L"password edit", 90, 306, 200, 10, SS_LEFT},
    },
};
#else
// Swapwell's older page: no user authentication.
const ui::DialogTemplate kNetworkPage = {
    147, L"", 272, 390, L"MS Shell Dlg", 8,
    WS_CHILD,
    {
        {1409, ControlKind::Static, L"Mobile Network Setting", 10, 6, 200, 10, kVisible | SS_LEFT},
        {1388, ControlKind::Button, L"4G/LTE/3G/GSM", 20, 18, 100, 10, kRadio | WS_GROUP},
        {1389, ControlKind::Button, L"4G/LTE", 130, 18, 80, 10, kRadio},
        {1396, ControlKind::Static, L"Profile Setting", 10, 32, 200, 10, kVisible | SS_LEFT},
        {1397, ControlKind::Static, L"APN:", 20, 46, 40, 10, kVisible | SS_LEFT},
        {1398, ControlKind::Edit, L"", 64, 44, 160, 12, kEdit},
        {1403, ControlKind::Static, L"apn edit", 64, 58, 200, 10, SS_LEFT},
        {1399, ControlKind::Static, L"International Roaming", 10, 74, 200, 10, kVisible | SS_LEFT},
        {1390, ControlKind::Button, L"Enable", 20, 86, 60, 10, kRadio | WS_GROUP},
        {1391, ControlKind::Button, L"Disable", 90, 86, 60, 10, kRadio},
        {1439, ControlKind::Static, kRoamingWarning, 20, 98, 220, 39, kVisible | SS_LEFT},
        {1400, ControlKind::Static, L"Network Selection", 10, 142, 200, 10, kVisible | SS_LEFT},
        {1392, ControlKind::Button, L"Auto", 20, 154, 60, 10, kRadio | WS_GROUP},
        {1393, ControlKind::Button, L"Manual", 90, 154, 60, 10, kRadio},
        {1401, ControlKind::Button, L"Search", 200, 152, 60, 14, WS_VISIBLE | WS_TABSTOP | WS_GROUP},
        {1402, ControlKind::Static, L"Network List", 10, 170, 200, 10, kVisible | SS_LEFT},
        {1407, ControlKind::ListView, L"", 10, 182, 252, 120, kList},
    },
};
#endif
}  // namespace

UI_TEMPLATE_FILE(vx520_network_page, {&kNetworkPage}, {});
