// The prompt (103) and the tall prompt (157).
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
const ui::DialogTemplate kPromptInfo = {
    103, L"Dialog", 212, 78, L"MS Shell Dlg", 8,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    {
        {1382, ControlKind::Static, L"", 7, 7, 198, 19, WS_VISIBLE | SS_LEFT},
        {IDOK, ControlKind::Button, L"OK", 155, 57, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON},
    },
};
const ui::DialogTemplate kBigPromptInfo = {
    157, L"Dialog", 212, 110, L"MS Shell Dlg", 8,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    {
        {1382, ControlKind::Static, L"", 7, 7, 198, 46, WS_VISIBLE | SS_LEFT},
        {IDOK, ControlKind::Button, L"OK", 155, 89, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON},
    },
};
}  // namespace

UI_TEMPLATE_FILE(prompt_dialogs, {&kPromptInfo, &kBigPromptInfo}, {});
