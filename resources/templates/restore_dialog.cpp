// The factory restore tool's dialog.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
const ui::DialogTemplate kRestoreFactorySetting = {
    136, L"MarlRestoreDevice", 307, 114, L"MS Shell Dlg", 9,
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    {
        {1382, ControlKind::Button, L"Click to Restore default your device", 10, 8, 287, 96, WS_VISIBLE | BS_GROUPBOX},
        {1091, ControlKind::Button, L"Restore Factory Setting", 78, 44, 150, 32,
         WS_VISIBLE | WS_TABSTOP | WS_DISABLED},
    },
};
}  // namespace

UI_TEMPLATE_FILE(restore_dialog, {&kRestoreFactorySetting}, {});
