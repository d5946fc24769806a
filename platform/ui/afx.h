#pragma once
// The dialog framework: windows, dialogs, controls, message maps, data
// exchange, menus, threads and message boxes. See platform/ui/README.md.
#include <atomic>
#include <memory>

#include "platform/ui/afx_app.h"
#include "platform/ui/afx_types.h"
#include "platform/ui/cstring.h"
#include "platform/ui/dialog_template.h"

typedef void* LPVOID;
#define afx_msg

class CWnd;
class CDC;
class CMenu;

// ---- message maps --------------------------------------------------------
namespace ui {

// One entry: WM_COMMAND / WM_NOTIFY with a notification code and a control or
// menu id, or a plain message (code and id 0).
struct MessageEntry {
    UINT message;
    UINT code;
    UINT id;
    LRESULT (*call)(CWnd* self, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
    const MessageMap* (*base)();   // null for the root
    const MessageEntry* entries;   // ends with an entry whose call is null
};

template <class F> struct MemberOf;
template <class C, class R, class... A> struct MemberOf<R (C::*)(A...)> { using type = C; };
template <auto F> using MemberClass = typename MemberOf<decltype(F)>::type;

template <auto F> LRESULT CallVoid(CWnd* w, WPARAM, LPARAM)
{
    (static_cast<MemberClass<F>*>(w)->*F)();
    return 0;
}
template <auto F> LRESULT CallNotify(CWnd* w, WPARAM, LPARAM l)
{
    LRESULT result = 0;
    (static_cast<MemberClass<F>*>(w)->*F)(reinterpret_cast<NMHDR*>(l), &result);
    return result;
}
template <auto F> LRESULT CallMessage(CWnd* w, WPARAM wp, LPARAM lp)
{
    return (static_cast<MemberClass<F>*>(w)->*F)(wp, lp);
}
template <auto F> LRESULT CallMouse(CWnd* w, WPARAM wp, LPARAM lp)
{
    (static_cast<MemberClass<F>*>(w)->*F)(static_cast<UINT>(wp),
                                           CPoint(static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))));
    return 0;
}
template <auto F> LRESULT CallSysCommand(CWnd* w, WPARAM wp, LPARAM lp)
{
    (static_cast<MemberClass<F>*>(w)->*F)(static_cast<UINT>(wp), lp);
    return 0;
}
// WM_CTLCOLOR*: wParam carries the CDC, lParam a CtlColorArgs
struct CtlColorArgs {
    CWnd* control;
    UINT ctlColor;
};
template <auto F> LRESULT CallCtlColor(CWnd* w, WPARAM wp, LPARAM lp)
{
    auto* a = reinterpret_cast<CtlColorArgs*>(lp);
    return reinterpret_cast<LRESULT>((static_cast<MemberClass<F>*>(w)->*F)(reinterpret_cast<CDC*>(wp), a->control, a->ctlColor));
}
// framework message that carries every WM_CTLCOLOR* to the map
constexpr UINT kCtlColorMessage = WM_CTLCOLORSTATIC;

}  // namespace ui

#define DECLARE_MESSAGE_MAP()                                 \
protected:                                                    \
    static const ::ui::MessageMap* GetThisMessageMap();       \
    const ::ui::MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                           \
    const ::ui::MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const ::ui::MessageMap* theClass::GetThisMessageMap()                                \
    {                                                                                    \
        typedef theClass ThisClass;                                                      \
        typedef baseClass TheBaseClass;                                                  \
        (void)sizeof(ThisClass*);                                                        \
        static const ::ui::MessageEntry entries[] = {
#define END_MESSAGE_MAP()                                                         \
            {0, 0, 0, nullptr}};                                                  \
        static const ::ui::MessageMap map = {&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                              \
    }

// handlers: void f()
#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, static_cast<UINT>(id), &::ui::CallVoid<memberFxn>},
#define ON_CONTROL(code, id, memberFxn) {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), &::ui::CallVoid<memberFxn>},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
// void f(NMHDR* pNMHDR, LRESULT* pResult)
#define ON_NOTIFY(code, id, memberFxn) {WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id), &::ui::CallNotify<memberFxn>},
// LRESULT f(WPARAM, LPARAM)
#define ON_MESSAGE(message, memberFxn) {static_cast<UINT>(message), 0, 0, &::ui::CallMessage<memberFxn>},
// void OnLButtonDown(UINT nFlags, CPoint point)
#define ON_WM_LBUTTONDOWN() {WM_LBUTTONDOWN, 0, 0, &::ui::CallMouse<&ThisClass::OnLButtonDown>},
// void OnClose(), void OnDestroy(), void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, &::ui::CallVoid<&ThisClass::OnClose>},
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, &::ui::CallVoid<&ThisClass::OnDestroy>},
#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, &::ui::CallSysCommand<&ThisClass::OnSysCommand>},
// HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
#define ON_WM_CTLCOLOR() {::ui::kCtlColorMessage, 0, 0, &::ui::CallCtlColor<&ThisClass::OnCtlColor>},

// ---- drawing context of OnCtlColor ---------------------------------------
class CDC {
public:
    COLORREF SetTextColor(COLORREF color);
    COLORREF GetTextColor() const { return text_; }
    COLORREF SetBkColor(COLORREF color);
    int SetBkMode(int mode);
    bool TextColorSet() const { return textSet_; }

private:
    COLORREF text_ = 0;
    COLORREF bk_ = RGB(255, 255, 255);
    int bkMode_ = OPAQUE;
    bool textSet_ = false;
};

// ---- windows ---------------------------------------------------------------
// A CWnd is a view of one window of the model; all members are safe to call
// from any thread (state lives in the model); messages run on the thread
// that created the window.
class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    // the object that receives the window's messages (never null for a live window)
    static CWnd* FromHandle(HWND hwnd);

    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;
    DWORD GetStyle() const;

    void SetWindowText(LPCWSTR text);
    void GetWindowText(CString& text) const;
    int GetWindowText(LPWSTR buffer, int maxCount) const;
    int GetWindowTextLength() const;
    void SetDlgItemText(int id, LPCWSTR text);
    int GetDlgItemText(int id, CString& text) const;
    int GetDlgItemText(int id, LPWSTR buffer, int maxCount) const;

    BOOL EnableWindow(BOOL enable = TRUE);   // previous state: nonzero when it was disabled
    BOOL IsWindowEnabled() const;
    BOOL ShowWindow(int cmdShow);            // nonzero when it was visible
    BOOL IsWindowVisible() const;
    CWnd* SetFocus();
    static CWnd* GetFocus();                 // focus of the calling thread's active dialog

    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    void CheckRadioButton(int firstId, int lastId, int checkId);
    int GetCheckedRadioButton(int firstId, int lastId) const;

    // rectangles in pixels; client rectangles start at 0,0, window rectangles
    // are in screen coordinates
    void GetClientRect(LPRECT rect) const;
    void GetWindowRect(LPRECT rect) const;
    void ScreenToClient(LPRECT rect) const;
    void ScreenToClient(POINT* point) const;
    void ClientToScreen(LPRECT rect) const;
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    static const CWnd wndTop;
    void Invalidate(BOOL erase = TRUE) {}
    void UpdateWindow() {}

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    BOOL SetMenu(CMenu* menu);
    CMenu* GetMenu() const;
    void DrawMenuBar() {}

    // the dialog's own message box, owned by this window, modal on the calling thread
    int MessageBox(LPCWSTR text, LPCWSTR caption = nullptr, UINT type = MB_OK);

    virtual BOOL DestroyWindow();
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    LRESULT Default();   // default handling of the message being handled

    // default handlers reached from message maps
    afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnClose();
    afx_msg void OnDestroy();
    afx_msg void OnSysCommand(UINT id, LPARAM lParam);

    // binds this object to a window of the model (data exchange of a control)
    BOOL Attach(HWND hwnd);
    HWND Detach();

protected:
    static const ::ui::MessageMap* GetThisMessageMap();
    virtual const ::ui::MessageMap* GetMessageMap() const;
};

// ---- controls ----------------------------------------------------------------
class CButton : public CWnd {
public:
    int GetCheck() const;
    void SetCheck(int check);
    UINT GetButtonStyle() const;
};

class CStatic : public CWnd {};

class CEdit : public CWnd {
public:
    // start and end in characters; -1 / past the end mean the end of the text
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    BOOL SetReadOnly(BOOL readOnly = TRUE);
    void SetPasswordChar(wchar_t ch);
    wchar_t GetPasswordChar() const;
    void SetLimitText(UINT max);
    void LimitText(int max = 0) { SetLimitText(static_cast<UINT>(max)); }
    UINT GetLimitText() const;
};

class CComboBox : public CWnd {
public:
    void ResetContent();
    int AddString(LPCWSTR text);
    int InsertString(int index, LPCWSTR text);   // -1 appends
    int DeleteString(UINT index);
    int GetCount() const;
    int GetCurSel() const;                        // CB_ERR when none
    int SetCurSel(int index);                     // CB_ERR when out of range (the selection is cleared)
    int GetLBText(int index, CString& text) const;
    int GetLBTextLen(int index) const;
};

class CListCtrl : public CWnd {
public:
    DWORD SetExtendedStyle(DWORD exStyle);
    DWORD GetExtendedStyle() const;
    int InsertColumn(int col, LPCWSTR heading, int format = LVCFMT_LEFT, int width = -1, int subItem = -1);
    BOOL SetColumn(int col, const LVCOLUMN* column);
    BOOL GetColumn(int col, LVCOLUMN* column) const;
    BOOL SetColumnWidth(int col, int width);
    int GetColumnWidth(int col) const;
    BOOL DeleteColumn(int col);
    int InsertItem(int item, LPCWSTR text);
    BOOL DeleteItem(int item);
    BOOL DeleteAllItems();
    int GetItemCount() const;
    BOOL SetItemText(int item, int subItem, LPCWSTR text);
    CString GetItemText(int item, int subItem) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const;
    int GetNextItem(int start, int flags) const;
    int GetSelectionMark() const;
    int GetSelectedCount() const;
    POSITION GetFirstSelectedItemPosition() const;
    int GetNextSelectedItem(POSITION& pos) const;
};

class CTabCtrl : public CWnd {
public:
    LONG InsertItem(int item, LPCWSTR text);
    LONG InsertItem(int item, TCITEM* tabItem);
    BOOL GetItem(int item, TCITEM* tabItem) const;
    BOOL SetItem(int item, TCITEM* tabItem);
    BOOL DeleteItem(int item);
    BOOL DeleteAllItems();
    int GetItemCount() const;
    int GetCurSel() const;
    int SetCurSel(int item);   // previous selection, -1 when out of range
    int GetCurFocus() const;
    void SetCurFocus(int item);
    BOOL GetItemRect(int item, LPRECT rect) const;
};

// ---- menus -----------------------------------------------------------------
class CMenu {
public:
    CMenu() = default;
    ~CMenu();
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu = nullptr;
    HMENU GetSafeHmenu() const { return m_hMenu; }
    BOOL LoadMenu(UINT id);          // from the menu templates
    BOOL DestroyMenu();
    BOOL Attach(HMENU menu);
    HMENU Detach();
    static CMenu* FromHandle(HMENU menu);
};

// ---- data exchange ---------------------------------------------------------
class CDataExchange {
public:
    CDataExchange(CWnd* dlg, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dlg) {}
    BOOL m_bSaveAndValidate;   // TRUE: controls to members
    CWnd* m_pDlgWnd;
};

void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
// value: index of the checked radio in the group that starts at id, -1 none
void DDX_Radio(CDataExchange* dx, int id, int& value);
void DDX_CBIndex(CDataExchange* dx, int id, int& index);

// ---- dialogs ---------------------------------------------------------------
class CDialog : public CWnd {
public:
    CDialog();
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // modal run on the calling thread; the value given to EndDialog, -1 when
    // the template is missing
    virtual INT_PTR DoModal();
    // modeless, inside parent (a child page) or owned by it
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    void MapDialogRect(LPRECT rect) const;   // dialog units to pixels of this dialog's font
    UINT GetTemplateId() const { return m_nIDTemplate; }

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    BOOL PreTranslateMessage(MSG* msg) override;   // Esc, Enter, Alt+F4 of a dialog

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    virtual void DoDataExchange(CDataExchange* dx);
    UINT m_nIDTemplate = 0;
    CWnd* m_pParentWnd = nullptr;
    const ui::DialogTemplate* m_pTemplate = nullptr;   // used instead of the id when set

    DECLARE_MESSAGE_MAP()
};

// ---- threads ---------------------------------------------------------------
typedef UINT (*AFX_THREADPROC)(LPVOID param);

// A thread started by AfxBeginThread. The object stays valid until the process
// ends, so a stored pointer can always be joined.
class CWinThread {
public:
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;   // accepted; objects are never freed before exit

    DWORD ResumeThread();        // starts a thread made with CREATE_SUSPENDED
    BOOL SetThreadPriority(int priority);
    int GetThreadPriority() const;
    // waits until the procedure has returned; false on timeout. Messages sent
    // to the calling thread's windows are handled while waiting.
    bool Join(DWORD timeoutMs = INFINITE);
    bool HasEnded() const;
    UINT ExitCode() const;

    struct State;
    std::shared_ptr<State> state_;
};

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD createFlags = 0, void* security = nullptr);

// ---- free functions --------------------------------------------------------
CWnd* AfxGetMainWnd();
int AfxMessageBox(const wchar_t* text, UINT type, UINT helpId = 0);
// ends every modal loop and exits the process with code (the application
// object's destructor runs)
[[noreturn]] void AfxExitProcess(int code);

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
inline LRESULT SendMessageW(HWND h, UINT m, WPARAM w, LPARAM l) { return SendMessage(h, m, w, l); }
inline BOOL PostMessageW(HWND h, UINT m, WPARAM w, LPARAM l) { return PostMessage(h, m, w, l); }
int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
inline int MessageBoxW(HWND o, LPCWSTR t, LPCWSTR c, UINT ty) { return MessageBox(o, t, c, ty); }
// high bit set (negative) while the key is down, as seen by the message being handled
SHORT GetKeyState(int vk);
BOOL IsWindow(HWND hwnd);
HWND GetDlgItem(HWND dialog, int id);
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL ShowWindow(HWND hwnd, int cmdShow);
BOOL IsWindowVisible(HWND hwnd);
BOOL IsWindowEnabled(HWND hwnd);
BOOL SetWindowTextW(HWND hwnd, LPCWSTR text);
int GetWindowTextW(HWND hwnd, LPWSTR buffer, int maxCount);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int maxCount);
// text converted to the system code page (UTF-8), cut to the buffer, zero-terminated
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int maxCount);
