// The kitting tool's dialog.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
const ui::DialogTemplate kKittingTool = {
    141, L"Dialog", 295, 136, L"MS Shell Dlg", 9,
    WS_POPUP | WS_CAPTION | WS_SYSMENU,
    {
        {1382, ControlKind::Static, L"", 14, 12, 267, 72, WS_VISIBLE | SS_LEFT},
        {1381, ControlKind::Button, L"Write", 110, 96, 75, 24, WS_VISIBLE | WS_TABSTOP | WS_DISABLED},
    },
};
}  // namespace

UI_TEMPLATE_FILE(kitting_tool, {&kKittingTool}, {});
