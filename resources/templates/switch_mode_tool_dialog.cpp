// The mode switch tool's dialog.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
const ui::DialogTemplate kSwitchModeTool = {
    150, L"Modem Switch Tool", 222, 262, L"MS Shell Dlg", 9,
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    {
        {1409, ControlKind::Button, L"", 10, 8, 202, 152, WS_VISIBLE | BS_GROUPBOX},
        {1410, ControlKind::Button, L"NORMAL MODE", 41, 40, 140, 32, WS_VISIBLE | WS_TABSTOP | WS_DISABLED},
        {1411, ControlKind::Button, L"MODEM MODE", 41, 100, 140, 32, WS_VISIBLE | WS_TABSTOP | WS_DISABLED},
        {1440, ControlKind::Static, L"", 10, 172, 202, 18, SS_LEFT},
        {1441, ControlKind::Static, L"", 10, 196, 202, 18, SS_LEFT},
        {1442, ControlKind::Static, L"", 10, 220, 202, 18, SS_LEFT},
    },
};
}  // namespace

UI_TEMPLATE_FILE(switch_mode_tool, {&kSwitchModeTool}, {});
