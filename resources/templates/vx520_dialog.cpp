// The VX520 modem setting tool's main dialog: the tab sheet and the two buttons.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
const ui::DialogTemplate kVX520ModemSetting = {
    146, L"Modem Setting Tool", 346, 383, L"MS Shell Dlg", 8,
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    {
        {1404, ControlKind::TabControl, L"", 19, 9, 309, 336, WS_VISIBLE | WS_TABSTOP},
        {1402, ControlKind::Button, L"Read", 64, 350, 67, 14, WS_VISIBLE | WS_TABSTOP},
        {1379, ControlKind::Button, L"Apply", 209, 350, 67, 14, WS_VISIBLE | WS_TABSTOP},
    },
};
}  // namespace

UI_TEMPLATE_FILE(vx520_dialog, {&kVX520ModemSetting}, {});
