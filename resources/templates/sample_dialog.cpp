// Sample dialogs of the dialog framework: every control kind, two child pages,
// a menu and a plain OK/Cancel dialog. Used by the framework's tests and its
// real-window screenshot.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
constexpr DWORD kVis = WS_VISIBLE | WS_TABSTOP;

const ui::DialogTemplate kSample = {
    60001, L"サンプル ダイアログ", 300, 250, L"MS Shell Dlg", 8, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    {
        {1001, ControlKind::Static, L"名前 (Name):", 10, 10, 60, 10, WS_VISIBLE},
        {1004, ControlKind::Edit, L"", 72, 8, 100, 14, kVis | WS_BORDER | ES_AUTOHSCROLL},
        {1003, ControlKind::Static, L"必須です (Required)", 176, 10, 110, 10, WS_VISIBLE},
        {1002, ControlKind::Static, L"Read-only:", 10, 28, 60, 10, WS_VISIBLE},
        {1005, ControlKind::Edit, L"固定", 72, 26, 100, 14, kVis | WS_BORDER | ES_READONLY},
        {1018, ControlKind::Static, L"Password:", 10, 46, 60, 10, WS_VISIBLE},
        {1006, ControlKind::Edit, L"", 72, 44, 100, 14, kVis | WS_BORDER | ES_PASSWORD | ES_AUTOHSCROLL},
        {1008, ControlKind::Button, L"Don't show me again", 176, 44, 110, 12, kVis | BS_AUTOCHECKBOX},
        {1009, ControlKind::Button, L"Network mode", 10, 62, 140, 50, WS_VISIBLE | BS_GROUPBOX},
        {1010, ControlKind::Button, L"4G/LTE/3G/GSM", 18, 74, 120, 10, kVis | WS_GROUP | BS_AUTORADIOBUTTON},
        {1011, ControlKind::Button, L"4G/LTE", 18, 86, 120, 10, WS_VISIBLE | BS_AUTORADIOBUTTON},
        {1012, ControlKind::Button, L"Auto", 160, 74, 60, 10, kVis | WS_GROUP | BS_AUTORADIOBUTTON},
        {1013, ControlKind::Button, L"Manual", 160, 86, 60, 10, WS_VISIBLE | BS_AUTORADIOBUTTON},
        {1014, ControlKind::ComboBox, L"", 10, 118, 90, 60, kVis | CBS_DROPDOWNLIST | WS_VSCROLL},
        {1015, ControlKind::ComboBox, L"", 106, 118, 90, 60, kVis | CBS_DROPDOWN | WS_VSCROLL},
        {1007, ControlKind::Button, L"Search", 202, 117, 50, 14, kVis},
        {1016, ControlKind::ListView, L"", 10, 136, 280, 46, kVis | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS},
        {1017, ControlKind::TabControl, L"", 10, 186, 200, 58, kVis},
        {IDOK, ControlKind::Button, L"OK", 230, 210, 60, 14, kVis | BS_DEFPUSHBUTTON},
        {IDCANCEL, ControlKind::Button, L"Cancel", 230, 228, 60, 14, kVis},
    }};

const ui::DialogTemplate kPageOne = {
    60002, L"", 190, 34, L"MS Shell Dlg", 8, WS_CHILD,
    {
        {2001, ControlKind::Static, L"APN:", 4, 6, 30, 10, WS_VISIBLE},
        {2002, ControlKind::Edit, L"", 36, 4, 100, 14, kVis | WS_BORDER | ES_AUTOHSCROLL},
        {2003, ControlKind::Button, L"Apply", 140, 4, 44, 14, kVis},
    }};

const ui::DialogTemplate kPageTwo = {
    60003, L"", 190, 34, L"MS Shell Dlg", 8, WS_CHILD,
    {
        {2001, ControlKind::Static, L"PIN:", 4, 6, 30, 10, WS_VISIBLE},
        {2002, ControlKind::Edit, L"", 36, 4, 60, 14, kVis | WS_BORDER},
    }};

const ui::DialogTemplate kPlain = {
    60004, L"Plain", 160, 60, L"MS Shell Dlg", 8, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    {
        {3001, ControlKind::Edit, L"", 10, 10, 140, 14, kVis | WS_BORDER},
        {IDOK, ControlKind::Button, L"OK", 40, 38, 50, 14, kVis | BS_DEFPUSHBUTTON},
        {IDCANCEL, ControlKind::Button, L"Cancel", 100, 38, 50, 14, kVis},
    }};

const ui::MenuTemplate kSampleMenu = {
    60100, {{L"日本語 ▼", {{32780, L"日本語"}, {32781, L"English"}}}}};
}  // namespace

UI_TEMPLATE_FILE(sample_dialogs, {&kSample, &kPageOne, &kPageTwo, &kPlain}, {&kSampleMenu});
