// The five pages of the VX520 tool's PIN tab: child dialogs, hidden until the
// tab sheet shows them; their texts come from the language file.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
constexpr DWORD kLabel = WS_VISIBLE;
constexpr DWORD kEdit = WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
constexpr DWORD kReadOnly = kEdit | ES_READONLY;
constexpr DWORD kChoice = WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL;

// Only the notice and the status are ever shown; the rest is created hidden.
const ui::DialogTemplate kPinSettingPage = {
    149, L"", 301, 364, L"MS Shell Dlg", 8, WS_CHILD,
    {
        {1412, ControlKind::Static, L"", 18, 39, 267, 26, kLabel},
        {1413, ControlKind::Static, L"", 18, 80, 120, 10, kLabel},
        {1414, ControlKind::Edit, L"", 150, 78, 100, 14, kReadOnly},
        {1420, ControlKind::Static, L"", 18, 104, 120, 10, 0},
        {1416, ControlKind::ComboBox, L"", 150, 102, 100, 60, kChoice & ~WS_VISIBLE},
        {1421, ControlKind::Static, L"", 18, 128, 120, 10, 0},
        {1417, ControlKind::Edit, L"", 150, 126, 100, 14, kEdit & ~WS_VISIBLE},
        {1419, ControlKind::Static, L"", 18, 152, 120, 10, SS_RIGHT},
        {1415, ControlKind::Edit, L"", 150, 150, 100, 14, kReadOnly & ~WS_VISIBLE},
    },
};

const ui::DialogTemplate kPinEntryPage = {
    151, L"", 301, 364, L"MS Shell Dlg", 8, WS_CHILD,
    {
        {1412, ControlKind::Static, L"", 18, 39, 267, 26, kLabel},
        {1413, ControlKind::Static, L"", 18, 80, 120, 10, kLabel},
        {1414, ControlKind::Edit, L"", 150, 78, 100, 14, kReadOnly},
        {1421, ControlKind::Static, L"", 18, 104, 120, 10, kLabel},
        {1417, ControlKind::Edit, L"", 150, 102, 100, 14, kEdit},
        {1419, ControlKind::Static, L"", 18, 128, 120, 10, kLabel},
        {1415, ControlKind::Edit, L"", 150, 126, 100, 14, kReadOnly},
    },
};

const ui::DialogTemplate kPukEntryPage = {
    152, L"", 287, 364, L"MS Shell Dlg", 8, WS_CHILD,
    {
        {1412, ControlKind::Static, L"", 18, 39, 253, 26, kLabel},
        {1413, ControlKind::Static, L"", 18, 80, 120, 10, kLabel},
        {1414, ControlKind::Edit, L"", 150, 78, 100, 14, kReadOnly},
        {1422, ControlKind::Static, L"", 18, 104, 120, 10, kLabel},
        {1418, ControlKind::Edit, L"", 150, 102, 100, 14, kEdit},
        {1419, ControlKind::Static, L"", 18, 128, 120, 10, kLabel},
        {1415, ControlKind::Edit, L"", 150, 126, 100, 14, kReadOnly},
        {1421, ControlKind::Static, L"", 18, 152, 120, 10, kLabel},
        {1417, ControlKind::Edit, L"", 150, 150, 100, 14, kEdit},
        {1423, ControlKind::Static, L"", 18, 176, 120, 10, kLabel},
        {1420, ControlKind::Edit, L"", 150, 174, 100, 14, kEdit},
    },
};

const ui::DialogTemplate kModifyPinPage = {
    153, L"", 273, 364, L"MS Shell Dlg", 8, WS_CHILD,
    {
        {1412, ControlKind::Static, L"", 18, 39, 239, 26, kLabel},
        {1413, ControlKind::Static, L"", 18, 80, 110, 10, kLabel},
        {1414, ControlKind::Edit, L"", 140, 78, 100, 14, kReadOnly},
        {1424, ControlKind::Static, L"", 18, 104, 110, 10, kLabel},
        {1416, ControlKind::ComboBox, L"", 140, 102, 100, 60, kChoice},
        {1425, ControlKind::Static, L"", 18, 128, 110, 10, kLabel},
        {1426, ControlKind::Edit, L"", 140, 126, 100, 14, kEdit},
        {1419, ControlKind::Static, L"", 18, 152, 110, 10, kLabel},
        {1415, ControlKind::Edit, L"", 140, 150, 100, 14, kReadOnly},
        {1421, ControlKind::Static, L"", 18, 176, 110, 10, kLabel},
        {1417, ControlKind::Edit, L"", 140, 174, 100, 14, kEdit},
        {1423, ControlKind::Static, L"", 18, 200, 110, 10, kLabel},
        {1420, ControlKind::Edit, L"", 140, 198, 100, 14, kEdit},
    },
};

const ui::DialogTemplate kSimFailPage = {
    154, L"", 238, 364, L"MS Shell Dlg", 8, WS_CHILD,
    {
        {1427, ControlKind::Static, L"", 18, 39, 202, 20, kLabel},
        {1428, ControlKind::Static, L"", 18, 65, 202, 20, kLabel},
    },
};
}  // namespace

UI_TEMPLATE_FILE(vx520_pin_pages, {&kPinSettingPage, &kPinEntryPage, &kPukEntryPage, &kModifyPinPage, &kSimFailPage}, {});
