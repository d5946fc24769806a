// The carrier modem setting dialogs (137, 142: the same layout) and their
// communication-mode page.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;

const ui::DialogTemplate kMarlModemSetting = {
    137, L"Modem-Setting Tool", 330, 268, L"MS Shell Dlg", 8, kDialogStyle,
    {
        {1094, ControlKind::TabControl, L"", 7, 7, 316, 230, WS_VISIBLE | WS_TABSTOP},
        {1379, ControlKind::Button, L"Read", 80, 245, 67, 14, WS_VISIBLE | WS_TABSTOP},
        {1378, ControlKind::Button, L"Write", 183, 245, 67, 14, WS_VISIBLE | WS_TABSTOP},
    },
};

const ui::DialogTemplate kMarlModemSettingNew = {
    142, L"Modem-Setting Tool", 330, 268, L"MS Shell Dlg", 8, kDialogStyle,
    {
        {1094, ControlKind::TabControl, L"", 7, 7, 316, 230, WS_VISIBLE | WS_TABSTOP},
        {1379, ControlKind::Button, L"Read", 80, 245, 67, 14, WS_VISIBLE | WS_TABSTOP},
        {1378, ControlKind::Button, L"Write", 183, 245, 67, 14, WS_VISIBLE | WS_TABSTOP},
    },
};

const ui::DialogTemplate kCommunicationModePage = {
    140, L"", 300, 210, L"MS Shell Dlg", 8, WS_CHILD,
    {
        {1097, ControlKind::Button, L"", 60, 60, 180, 14,
         WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON},
        {1098, ControlKind::Button, L"", 60, 100, 180, 14, WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON},
    },
};
}  // namespace

UI_TEMPLATE_FILE(carrier_setting_dialogs, {&kMarlModemSetting, &kMarlModemSettingNew, &kCommunicationModePage}, {});
