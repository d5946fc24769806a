// The APN tab of the carrier modem setting dialogs (a child page of the tab sheet).
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
constexpr DWORD kVisible = WS_VISIBLE;
constexpr DWORD kEdit = WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
constexpr DWORD kCombo = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
constexpr short kRowTop = 22;
constexpr short kRowStep = 18;

constexpr short RowY(int row) { return static_cast<short>(kRowTop + kRowStep * row); }

const ui::DialogTemplate kApnPage = {
    139, L"", 300, 210, L"MS Shell Dlg", 8,
    WS_CHILD,
    {
        {1340, ControlKind::Static, L"CID", 12, 8, 30, 10, kVisible | SS_LEFT},
        {1341, ControlKind::Static, L"APN Name", 50, 8, 140, 10, kVisible | SS_LEFT},
        {1342, ControlKind::Static, L"IP Type", 200, 8, 80, 10, kVisible | SS_LEFT},
        {1106, ControlKind::Static, L"1", 16, RowY(0) + 2, 24, 10, kVisible | SS_LEFT},
        {1343, ControlKind::Edit, L"", 50, RowY(0), 140, 12, kEdit | WS_DISABLED},
        {1339, ControlKind::ComboBox, L"", 200, RowY(0), 80, 60, kCombo | WS_DISABLED},
        {1345, ControlKind::Static, L"2", 16, RowY(1) + 2, 24, 10, kVisible | SS_LEFT},
        {1346, ControlKind::Edit, L"", 50, RowY(1), 140, 12, kEdit},
        {1347, ControlKind::ComboBox, L"", 200, RowY(1), 80, 60, kCombo},
        {1348, ControlKind::Static, L"3", 16, RowY(2) + 2, 24, 10, kVisible | SS_LEFT},
        {1349, ControlKind::Edit, L"", 50, RowY(2), 140, 12, kEdit},
        {1350, ControlKind::ComboBox, L"", 200, RowY(2), 80, 60, kCombo},
        {1351, ControlKind::Static, L"4", 16, RowY(3) + 2, 24, 10, kVisible | SS_LEFT},
        {1352, ControlKind::Edit, L"", 50, RowY(3), 140, 12, kEdit},
        {1353, ControlKind::ComboBox, L"", 200, RowY(3), 80, 60, kCombo},
        {1354, ControlKind::Static, L"5", 16, RowY(4) + 2, 24, 10, kVisible | SS_LEFT},
        {1355, ControlKind::Edit, L"", 50, RowY(4), 140, 12, kEdit},
        {1356, ControlKind::ComboBox, L"", 200, RowY(4), 80, 60, kCombo},
        {1357, ControlKind::Static, L"6", 16, RowY(5) + 2, 24, 10, kVisible | SS_LEFT},
        {1358, ControlKind::Edit, L"", 50, RowY(5), 140, 12, kEdit},
        {1359, ControlKind::ComboBox, L"", 200, RowY(5), 80, 60, kCombo},
        {1360, ControlKind::Static, L"7", 16, RowY(6) + 2, 24, 10, kVisible | SS_LEFT},
        {1361, ControlKind::Edit, L"", 50, RowY(6), 140, 12, kEdit},
        {1362, ControlKind::ComboBox, L"", 200, RowY(6), 80, 60, kCombo},
        {1363, ControlKind::Static, L"8", 16, RowY(7) + 2, 24, 10, kVisible | SS_LEFT},
        {1364, ControlKind::Edit, L"", 50, RowY(7), 140, 12, kEdit},
        {1365, ControlKind::ComboBox, L"", 200, RowY(7), 80, 60, kCombo},
        {1366, ControlKind::Static, L"9", 16, RowY(8) + 2, 24, 10, kVisible | SS_LEFT},
        {1367, ControlKind::Edit, L"", 50, RowY(8), 140, 12, kEdit},
        {1368, ControlKind::ComboBox, L"", 200, RowY(8), 80, 60, kCombo},
        {1369, ControlKind::Static, L"10", 16, RowY(9) + 2, 24, 10, kVisible | SS_LEFT},
        {1370, ControlKind::Edit, L"", 50, RowY(9), 140, 12, kEdit},
        {1371, ControlKind::ComboBox, L"", 200, RowY(9), 80, 60, kCombo},
    },
};
}  // namespace

UI_TEMPLATE_FILE(carrier_apn_page, {&kApnPage}, {});
