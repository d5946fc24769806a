#pragma once
// Test driver of the dialog framework (headless back end): finds windows,
// gives them input as a user would and reads their state.
//
// Input calls post the input to the window's thread and return once that
// thread has handled it, or has gone idle in a modal loop that the input
// opened (a prompt shown by a handler). They return false when the window is
// gone, disabled or hidden, or the thread did not answer within the timeout.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/afx.h"

namespace ui::test {

constexpr DWORD kDefaultTimeoutMs = 10000;

// the newest live dialog made from that template (modal, modeless or page)
HWND FindDialog(UINT templateId);
HWND WaitForDialog(UINT templateId, DWORD timeoutMs = kDefaultTimeoutMs);
HWND FindControl(UINT templateId, int controlId);
HWND Control(HWND dialog, int controlId);

// input
bool Click(HWND control);                              // button, check box, radio
bool TypeText(HWND edit, const std::wstring& text);    // replaces the text; EN_CHANGE
bool SelectComboItem(HWND combo, int index);           // CBN_SELCHANGE
bool SelectTab(HWND tab, int index);                   // a click on the tab; TCN_SELCHANGE
bool SelectListRow(HWND list, int row);                // LVN_ITEMCHANGED
// WM_KEYDOWN, WM_SYSKEYDOWN with Alt
bool PressKey(HWND target, UINT vk, bool altDown = false, bool shiftDown = false, bool ctrlDown = false);
bool PressEsc(HWND dialog);      // to the dialog's focused control
bool PressEnter(HWND dialog);
bool PressAltF4(HWND dialog);
bool PressTab(HWND dialog, bool back = false);  // Shift+Tab when back
bool ChooseMenuItem(HWND dialog, UINT itemId);         // false when the dialog's menu lacks it
bool PressCloseBox(HWND dialog);
bool SetFocusTo(HWND control);

// message boxes and modal dialogs opened over another window, in the order
// they opened; each is returned once
struct Popup {
    HWND hwnd = nullptr;
    UINT templateId = 0;      // 0 for a message box
    bool messageBox = false;
    UINT type = 0;            // MB_* of a message box
    std::wstring caption;
    std::wstring text;        // the static texts, joined with "\n"
};
std::optional<Popup> WaitForPopup(DWORD timeoutMs = kDefaultTimeoutMs);
bool ClosePopup(const Popup& popup);   // presses its OK button (else the close box)
// WaitForPopup + ClosePopup
std::optional<Popup> AnswerPopup(DWORD timeoutMs = kDefaultTimeoutMs);
void DiscardPopups();                 // forgets popups not yet returned

// state
std::wstring Text(HWND hwnd);
bool IsEnabled(HWND hwnd);
bool IsVisible(HWND hwnd);          // the window and all its parents
bool IsChecked(HWND button);
int Selection(HWND hwnd);           // combo, tab, list: current index, -1 none
std::vector<std::wstring> Items(HWND hwnd);                 // combo items, tab texts
std::vector<std::wstring> Columns(HWND list);
std::vector<std::vector<std::wstring>> Rows(HWND list);
COLORREF TextColor(HWND control);   // as the parent's OnCtlColor gives it
std::vector<std::wstring> MenuItems(HWND dialog);           // "title/item" texts
HWND FocusOf(HWND dialog);
DWORD Style(HWND hwnd);
RECT RectInDialogUnits(HWND hwnd);  // as in the template

// waits until the condition holds (polled); false on timeout
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kDefaultTimeoutMs);
// waits until the window's thread has handled everything queued before
bool WaitIdle(HWND hwnd, DWORD timeoutMs = kDefaultTimeoutMs);

}  // namespace ui::test
