// The WiMAX 2+ switch tool's dialog.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
constexpr DWORD kVis = WS_VISIBLE | WS_TABSTOP;
const ui::DialogTemplate kMarlWimax = {
    145, L"Wimax setting", 200, 130, L"MS Shell Dlg", 9,
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    {
        {1387, ControlKind::Button, L"", 10, 8, 180, 50, WS_VISIBLE | BS_GROUPBOX},
        {1383, ControlKind::Button, L"WiMAX 2+ ON", 24, 22, 150, 12, kVis | WS_GROUP | BS_AUTORADIOBUTTON},
        {1384, ControlKind::Button, L"WiMAX 2+ OFF", 24, 38, 150, 12, WS_VISIBLE | BS_AUTORADIOBUTTON},
        {1385, ControlKind::Edit, L"", 10, 66, 180, 14, kVis | ES_READONLY},
        {1386, ControlKind::Button, L"Read", 30, 96, 60, 18, kVis | WS_DISABLED},
        {1379, ControlKind::Button, L"Set", 110, 96, 60, 18, kVis | WS_DISABLED},
    },
};
}  // namespace

UI_TEMPLATE_FILE(wimax_dialog, {&kMarlWimax}, {});
