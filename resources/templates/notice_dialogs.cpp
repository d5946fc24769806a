// The don't-show-again notices: 158 before normal mode, 159 before modem mode.
// No close box: only OK ends them.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
constexpr DWORD kNoticeStyle = WS_POPUP | WS_CAPTION | DS_MODALFRAME;

ui::DialogTemplate Notice(UINT id, int textId, int checkId, int okId)
{
    return {id, L"Dialog", 214, 135, L"MS Shell Dlg", 8, kNoticeStyle,
            {
                {textId, ControlKind::Static, L"Static", 7, 7, 200, 95, WS_VISIBLE | SS_LEFT},
                {okId, ControlKind::Button, L"OK", 157, 112, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON},
                {checkId, ControlKind::Button, L"Don't show me again", 7, 114, 130, 10,
                 WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX},
            }};
}

const ui::DialogTemplate kNormalModeNotice = Notice(158, 1444, 1443, 1445);
const ui::DialogTemplate kModemModeNotice = Notice(159, 1446, 1447, 1448);
}  // namespace

UI_TEMPLATE_FILE(notice_dialogs, {&kNormalModeNotice, &kModemModeNotice}, {});
