// The carrier mode switch tool's dialog.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
const ui::DialogTemplate kMarlSwitchModeTool = {
    138, L"MarlSwitchModeTool", 337, 174, L"MS Shell Dlg", 9,
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    {
        {1382, ControlKind::Button, L"Click to switch mode for your device.", 10, 8, 317, 156,
         WS_VISIBLE | BS_GROUPBOX},
        {1096, ControlKind::Button, L"Set EoU", 93, 40, 150, 32, WS_VISIBLE | WS_TABSTOP | WS_DISABLED},
        {1095, ControlKind::Button, L"Set Modem", 93, 100, 150, 32, WS_VISIBLE | WS_TABSTOP | WS_DISABLED},
    },
};
}  // namespace

UI_TEMPLATE_FILE(carrier_switch_dialog, {&kMarlSwitchModeTool}, {});
