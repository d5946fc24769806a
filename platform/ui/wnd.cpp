#include <algorithm>
#include <cstring>

#include "platform/ui/model.h"

using namespace ui;

namespace {

std::vector<HWND> SiblingsOf(HWND h, HWND* parent)
{
    *parent = nullptr;
    WithNode(h, [&](Node& n) { *parent = n.parent; });
    return Children(*parent);
}

bool IsAutoRadio(const Node& n)
{
    return n.kind == WndKind::Button && (n.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
}

}  // namespace

namespace ui {
// the radio buttons of the group that h belongs to, in creation order
std::vector<HWND> RadioGroupOf(HWND h)
{
    HWND parent;
    std::vector<HWND> sib = SiblingsOf(h, &parent);
    std::vector<HWND> group;
    std::lock_guard<std::mutex> lock(ModelMutex());
    auto pos = std::find(sib.begin(), sib.end(), h);
    if (pos == sib.end())
        return {h};
    // back to the group start
    size_t start = pos - sib.begin();
    while (start > 0) {
        Node* n = FindNodeLocked(sib[start]);
        if (!n || (n->style & WS_GROUP))
            break;
        Node* prev = FindNodeLocked(sib[start - 1]);
        if (!prev || !IsAutoRadio(*prev))
            break;
        --start;
    }
    for (size_t i = start; i < sib.size(); ++i) {
        Node* n = FindNodeLocked(sib[i]);
        if (!n || !IsAutoRadio(*n) || (i > start && (n->style & WS_GROUP)))
            break;
        group.push_back(sib[i]);
    }
    return group;
}
}  // namespace ui

namespace {

void ClickButton(HWND h)
{
    DWORD type = 0;
    bool enabled = false;
    WithNode(h, [&](Node& n) {
        type = n.style & BS_TYPEMASK;
        enabled = n.enabled;
    });
    if (!enabled || type == BS_GROUPBOX)
        return;
    if (type == BS_AUTOCHECKBOX) {
        ChangeNode(h, kChangeState, [](Node& n) { n.checked = n.checked ? 0 : 1; });
    } else if (type == BS_AUTORADIOBUTTON) {
        for (HWND r : RadioGroupOf(h))
            ChangeNode(r, kChangeState, [&](Node& n) { n.checked = r == h ? 1 : 0; });
    }
    NotifyParent(h, BN_CLICKED);
}

void SetTextAndNotify(HWND h, const std::wstring& text)
{
    bool edit = false;
    ChangeNode(h, kChangeText, [&](Node& n) {
        n.text = text;
        edit = n.kind == WndKind::Edit;
        int len = static_cast<int>(n.text.size());
        n.selStart = std::min(n.selStart, len);
        n.selEnd = std::min(n.selEnd, len);
    });
    if (edit)
        NotifyParent(h, EN_CHANGE);
}

// the deselected rows first, then the selected one, each reported once its
// state is in place, as a list view does
void SelectListRow(HWND h, int row)
{
    int count = 0;
    WithNode(h, [&](Node& n) { count = static_cast<int>(n.rows.size()); });
    if (row < 0 || row >= count)
        return;
    constexpr UINT kSel = LVIS_SELECTED | LVIS_FOCUSED;
    auto change = [&](int i, bool select) {
        UINT old = 0, now = 0;
        bool changed = false;
        ChangeNode(h, kChangeItems, [&](Node& n) {
            if (i >= static_cast<int>(n.rows.size()))
                return;
            old = n.rows[i].state;
            now = select ? (old | kSel) : (old & ~kSel);
            changed = now != old;
            n.rows[i].state = now;
            if (select)
                n.selectionMark = i;
        });
        if (!changed)
            return;
        NMLISTVIEW nm;
        nm.hdr.code = LVN_ITEMCHANGED;
        nm.iItem = i;
        nm.uChanged = LVIF_STATE;
        nm.uOldState = old;
        nm.uNewState = now;
        NotifyParentNmhdr(h, &nm.hdr);
    };
    for (int i = 0; i < count; ++i)
        if (i != row)
            change(i, false);
    change(row, true);
}

void TabClick(HWND h, POINT pt)
{
    int hit = -1;
    bool changed = false;
    ChangeNode(h, kChangeItems, [&](Node& n) {
        for (int i = 0; i < static_cast<int>(n.tabs.size()); ++i) {
            RECT r = TabItemRectLocked(n, i);
            if (pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom)
                hit = i;
        }
        if (hit < 0)
            return;
        n.tabFocus = hit;
        changed = hit != n.tabCur;
        n.tabCur = hit;
    });
    if (changed) {
        NMHDR hdr;
        hdr.code = TCN_SELCHANGE;
        NotifyParentNmhdr(h, &hdr);
    }
}

template <class View> struct TempView {
    View v;
    explicit TempView(HWND h) { v.m_hWnd = h; }
    ~TempView() { v.m_hWnd = nullptr; }
};

}  // namespace

namespace ui {

LRESULT DefaultProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto node = FindNode(h);
    if (!node)
        return 0;
    WndKind kind = node->kind;
    node.reset();
    switch (message) {
    case WM_SETTEXT:
        SetTextAndNotify(h, reinterpret_cast<const wchar_t*>(lParam) ? reinterpret_cast<const wchar_t*>(lParam) : L"");
        return TRUE;
    case WM_GETTEXT: {
        TempView<CWnd> t(h);
        return t.v.GetWindowText(reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    }
    case WM_GETTEXTLENGTH: {
        TempView<CWnd> t(h);
        return t.v.GetWindowTextLength();
    }
    default: break;
    }
    switch (kind) {
    case WndKind::Button: {
        TempView<CButton> t(h);
        if (message == WM_LBUTTONUP || message == BM_CLICK)
            ClickButton(h);
        else if (message == BM_GETCHECK)
            return t.v.GetCheck();
        else if (message == BM_SETCHECK)
            t.v.SetCheck(static_cast<int>(wParam));
        return 0;
    }
    case WndKind::Edit: {
        TempView<CEdit> t(h);
        switch (message) {
        case kMsgInputText: {
            bool readOnly = false;
            UINT limit = 0;
            WithNode(h, [&](Node& n) {
                readOnly = (n.style & ES_READONLY) != 0 || !n.enabled;
                limit = n.limitText;
            });
            if (readOnly)
                return 0;
            std::wstring text = *reinterpret_cast<const std::wstring*>(lParam);
            if (limit && text.size() > limit)
                text.resize(limit);
            WithNode(h, [&](Node& n) { n.selStart = n.selEnd = static_cast<int>(text.size()); });
            SetTextAndNotify(h, text);
            return 0;
        }
        case EM_SETSEL: t.v.SetSel(static_cast<int>(wParam), static_cast<int>(lParam)); return 0;
        case EM_GETSEL: {
            int s, e;
            t.v.GetSel(s, e);
            return MAKELPARAM(s, e);
        }
        case EM_SCROLLCARET: return TRUE;
        case EM_SETREADONLY: return t.v.SetReadOnly(static_cast<BOOL>(wParam));
        case EM_LIMITTEXT: t.v.SetLimitText(static_cast<UINT>(wParam)); return 0;
        case EM_SETPASSWORDCHAR: t.v.SetPasswordChar(static_cast<wchar_t>(wParam)); return 0;
        default: return 0;
        }
    }
    case WndKind::ComboBox: {
        TempView<CComboBox> t(h);
        switch (message) {
        case kMsgSelectItem:
            if (t.v.SetCurSel(static_cast<int>(wParam)) != CB_ERR)
                NotifyParent(h, CBN_SELCHANGE);
            return 0;
        case CB_GETCURSEL: return t.v.GetCurSel();
        case CB_SETCURSEL: return t.v.SetCurSel(static_cast<int>(wParam));
        case CB_GETCOUNT: return t.v.GetCount();
        case CB_RESETCONTENT: t.v.ResetContent(); return 0;
        case CB_ADDSTRING: return t.v.AddString(reinterpret_cast<LPCWSTR>(lParam));
        case CB_INSERTSTRING: return t.v.InsertString(static_cast<int>(wParam), reinterpret_cast<LPCWSTR>(lParam));
        case CB_DELETESTRING: return t.v.DeleteString(static_cast<UINT>(wParam));
        case CB_GETLBTEXTLEN: return t.v.GetLBTextLen(static_cast<int>(wParam));
        case CB_GETLBTEXT: {
            CString s;
            int n = t.v.GetLBText(static_cast<int>(wParam), s);
            if (n != CB_ERR && lParam)
                std::wmemcpy(reinterpret_cast<wchar_t*>(lParam), s.GetString(), s.GetLength() + 1);
            return n;
        }
        default: return 0;
        }
    }
    case WndKind::ListView:
        if (message == kMsgSelectItem)
            SelectListRow(h, static_cast<int>(wParam));
        return 0;
    case WndKind::TabControl: {
        TempView<CTabCtrl> t(h);
        switch (message) {
        case WM_LBUTTONDOWN: {
            POINT pt;
            pt.x = static_cast<SHORT>(LOWORD(lParam));
            pt.y = static_cast<SHORT>(HIWORD(lParam));
            TabClick(h, pt);
            return 0;
        }
        case TCM_GETCURSEL: return t.v.GetCurSel();
        case TCM_SETCURSEL: return t.v.SetCurSel(static_cast<int>(wParam));
        case TCM_GETCURFOCUS: return t.v.GetCurFocus();
        case TCM_SETCURFOCUS: t.v.SetCurFocus(static_cast<int>(wParam)); return 0;
        case TCM_GETITEMCOUNT: return t.v.GetItemCount();
        case TCM_GETITEMRECT: return t.v.GetItemRect(static_cast<int>(wParam), reinterpret_cast<LPRECT>(lParam));
        case TCM_GETITEMW: return t.v.GetItem(static_cast<int>(wParam), reinterpret_cast<TCITEM*>(lParam));
        case TCM_SETITEMW: return t.v.SetItem(static_cast<int>(wParam), reinterpret_cast<TCITEM*>(lParam));
        case TCM_INSERTITEMW: return t.v.InsertItem(static_cast<int>(wParam), reinterpret_cast<TCITEM*>(lParam));
        case TCM_DELETEITEM: return t.v.DeleteItem(static_cast<int>(wParam));
        case TCM_DELETEALLITEMS: return t.v.DeleteAllItems();
        default: return 0;
        }
    }
    case WndKind::Static:
    case WndKind::Dialog: break;
    }
    return 0;
}

}  // namespace ui

// ---- CDC --------------------------------------------------------------------
COLORREF CDC::SetTextColor(COLORREF color)
{
    COLORREF old = text_;
    text_ = color;
    textSet_ = true;
    return old;
}
COLORREF CDC::SetBkColor(COLORREF color)
{
    COLORREF old = bk_;
    bk_ = color;
    return old;
}
int CDC::SetBkMode(int mode)
{
    int old = bkMode_;
    bkMode_ = mode;
    return old;
}

// ---- CWnd -------------------------------------------------------------------
const CWnd CWnd::wndTop;

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (m_hWnd)
        UnbindWrapper(m_hWnd, this);
}

CWnd* CWnd::FromHandle(HWND hwnd) { return WrapperOf(hwnd); }

const ui::MessageMap* CWnd::GetThisMessageMap()
{
    static const ui::MessageEntry entries[] = {{0, 0, 0, nullptr}};
    static const ui::MessageMap map = {nullptr, entries};
    return &map;
}
const ui::MessageMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CWnd::Attach(HWND hwnd)
{
    if (m_hWnd && m_hWnd != hwnd)
        UnbindWrapper(m_hWnd, this);
    m_hWnd = hwnd;
    return BindWrapper(hwnd, this) ? TRUE : FALSE;
}

HWND CWnd::Detach()
{
    HWND h = m_hWnd;
    if (h)
        UnbindWrapper(h, this);
    m_hWnd = nullptr;
    return h;
}

CWnd* CWnd::GetDlgItem(int id) const
{
    if (HWND h = ::GetDlgItem(m_hWnd, id))
        return FromHandle(h);
    // a closed dialog's controls: calls on them do nothing, so a watch thread
    // that runs on for a moment after the modal loop ended cannot crash
    static CWnd* gone = new CWnd;
    if (m_hWnd && !::IsWindow(m_hWnd))
        return gone;
    return nullptr;
}

int CWnd::GetDlgCtrlID() const
{
    int id = 0;
    WithNode(m_hWnd, [&](Node& n) { id = n.id; });
    return id;
}

CWnd* CWnd::GetParent() const
{
    HWND p = nullptr;
    WithNode(m_hWnd, [&](Node& n) { p = n.parent ? n.parent : n.owner; });
    return p ? FromHandle(p) : nullptr;
}

DWORD CWnd::GetStyle() const
{
    DWORD s = 0;
    WithNode(m_hWnd, [&](Node& n) { s = n.style | (n.visible ? WS_VISIBLE : 0) | (n.enabled ? 0 : WS_DISABLED); });
    return s;
}

void CWnd::SetWindowText(LPCWSTR text)
{
    bool edit = false;
    WithNode(m_hWnd, [&](Node& n) { edit = n.kind == WndKind::Edit; });
    if (edit) {
        // an edit reports the change to its parent, on its own thread
        ui::Send(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : L""));
        return;
    }
    ChangeNode(m_hWnd, kChangeText, [&](Node& n) { n.text = text ? text : L""; });
}

void CWnd::GetWindowText(CString& text) const
{
    std::wstring t;
    WithNode(m_hWnd, [&](Node& n) { t = n.text; });
    text = t;
}

int CWnd::GetWindowText(LPWSTR buffer, int maxCount) const
{
    if (!buffer || maxCount <= 0)
        return 0;
    CString t;
    GetWindowText(t);
    int n = std::min(t.GetLength(), maxCount - 1);
    std::wmemcpy(buffer, t.GetString(), n);
    buffer[n] = 0;
    return n;
}

int CWnd::GetWindowTextLength() const
{
    CString t;
    GetWindowText(t);
    return t.GetLength();
}

void CWnd::SetDlgItemText(int id, LPCWSTR text)
{
    if (CWnd* w = GetDlgItem(id))
        w->SetWindowText(text);
}

int CWnd::GetDlgItemText(int id, CString& text) const
{
    text.Empty();
    if (CWnd* w = GetDlgItem(id))
        w->GetWindowText(text);
    return text.GetLength();
}

int CWnd::GetDlgItemText(int id, LPWSTR buffer, int maxCount) const
{
    if (CWnd* w = GetDlgItem(id))
        return w->GetWindowText(buffer, maxCount);
    if (buffer && maxCount > 0)
        buffer[0] = 0;
    return 0;
}

BOOL CWnd::EnableWindow(BOOL enable)
{
    bool wasDisabled = false;
    ChangeNode(m_hWnd, kChangeState, [&](Node& n) {
        wasDisabled = !n.enabled;
        n.enabled = enable != FALSE;
    });
    return wasDisabled ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const
{
    bool e = false;
    WithNode(m_hWnd, [&](Node& n) { e = n.enabled; });
    return e ? TRUE : FALSE;
}

BOOL CWnd::ShowWindow(int cmdShow)
{
    bool was = false;
    ChangeNode(m_hWnd, kChangeState, [&](Node& n) {
        was = n.visible;
        n.visible = cmdShow != SW_HIDE;
    });
    return was ? TRUE : FALSE;
}

BOOL CWnd::IsWindowVisible() const
{
    // visible only when every parent is
    std::lock_guard<std::mutex> lock(ModelMutex());
    Node* n = FindNodeLocked(m_hWnd);
    if (!n)
        return FALSE;
    for (; n; n = FindNodeLocked(n->parent))
        if (!n->visible)
            return FALSE;
    return TRUE;
}

CWnd* CWnd::SetFocus()
{
    HWND old = SetFocusNode(m_hWnd);
    return old ? FromHandle(old) : nullptr;
}

CWnd* CWnd::GetFocus()
{
    auto me = CurrentQueue();
    HWND best = nullptr;
    HWND focus = nullptr;
    std::lock_guard<std::mutex> lock(ModelMutex());
    // the newest visible top-level dialog of this thread
    for (HWND h : AllWindowsLocked()) {
        Node* n = FindNodeLocked(h);
        if (n && n->kind == WndKind::Dialog && !(n->style & WS_CHILD) && n->visible && n->queue == me &&
            reinterpret_cast<uintptr_t>(h) > reinterpret_cast<uintptr_t>(best)) {
            best = h;
            focus = n->focus;
        }
    }
    if (!focus)
        return nullptr;
    Node* f = FindNodeLocked(focus);
    return f ? (f->wrapper ? f->wrapper : f->ownWrapper.get()) : nullptr;
}

void CWnd::CheckDlgButton(int id, UINT check)
{
    // a closed dialog hands out plain views, not buttons
    if (auto* b = dynamic_cast<CButton*>(GetDlgItem(id)))
        b->SetCheck(static_cast<int>(check));
}

UINT CWnd::IsDlgButtonChecked(int id) const
{
    auto* b = dynamic_cast<CButton*>(GetDlgItem(id));
    return b ? static_cast<UINT>(b->GetCheck()) : 0;
}

void CWnd::CheckRadioButton(int firstId, int lastId, int checkId)
{
    for (HWND c : Children(m_hWnd))
        ChangeNode(c, kChangeState, [&](Node& n) {
            if (n.kind == WndKind::Button && n.id >= firstId && n.id <= lastId)
                n.checked = n.id == checkId ? 1 : 0;
        });
}

int CWnd::GetCheckedRadioButton(int firstId, int lastId) const
{
    int found = 0;
    for (HWND c : Children(m_hWnd))
        WithNode(c, [&](Node& n) {
            if (!found && n.kind == WndKind::Button && n.id >= firstId && n.id <= lastId && n.checked)
                found = n.id;
        });
    return found;
}

static POINT ClientOrigin(HWND h)
{
    POINT p;
    std::lock_guard<std::mutex> lock(ModelMutex());
    for (Node* n = FindNodeLocked(h); n; n = FindNodeLocked(n->parent)) {
        p.x += n->rect.left;
        p.y += n->rect.top;
    }
    return p;
}

void CWnd::GetClientRect(LPRECT rect) const
{
    if (!rect)
        return;
    *rect = RECT();
    WithNode(m_hWnd, [&](Node& n) {
        rect->right = n.rect.right - n.rect.left;
        rect->bottom = n.rect.bottom - n.rect.top;
    });
}

void CWnd::GetWindowRect(LPRECT rect) const
{
    if (!rect)
        return;
    GetClientRect(rect);
    ClientToScreen(rect);
}

void CWnd::ClientToScreen(LPRECT rect) const
{
    POINT o = ClientOrigin(m_hWnd);
    rect->left += o.x;
    rect->right += o.x;
    rect->top += o.y;
    rect->bottom += o.y;
}

void CWnd::ScreenToClient(LPRECT rect) const
{
    POINT o = ClientOrigin(m_hWnd);
    rect->left -= o.x;
    rect->right -= o.x;
    rect->top -= o.y;
    rect->bottom -= o.y;
}

void CWnd::ScreenToClient(POINT* point) const
{
    POINT o = ClientOrigin(m_hWnd);
    point->x -= o.x;
    point->y -= o.y;
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL)
{
    ChangeNode(m_hWnd, kChangeGeometry, [&](Node& n) {
        n.rect.left = x;
        n.rect.top = y;
        n.rect.right = x + width;
        n.rect.bottom = y + height;
    });
}

void CWnd::MoveWindow(LPCRECT rect, BOOL repaint)
{
    MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}

BOOL CWnd::SetWindowPos(const CWnd*, int x, int y, int cx, int cy, UINT flags)
{
    return ChangeNode(m_hWnd, kChangeGeometry | kChangeState, [&](Node& n) {
        if (!(flags & SWP_NOMOVE)) {
            int w = n.rect.right - n.rect.left, h = n.rect.bottom - n.rect.top;
            n.rect.left = x;
            n.rect.top = y;
            n.rect.right = x + w;
            n.rect.bottom = y + h;
        }
        if (!(flags & SWP_NOSIZE)) {
            n.rect.right = n.rect.left + cx;
            n.rect.bottom = n.rect.top + cy;
        }
        if (flags & SWP_SHOWWINDOW)
            n.visible = true;
        if (flags & SWP_HIDEWINDOW)
            n.visible = false;
    }) ? TRUE : FALSE;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) { return ui::Send(m_hWnd, message, wParam, lParam); }

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) { return ::PostMessage(m_hWnd, message, wParam, lParam); }

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ui::Send(::GetDlgItem(m_hWnd, id), message, wParam, lParam);
}

BOOL CWnd::SetMenu(CMenu* menu)
{
    HMENU h = menu ? menu->m_hMenu : nullptr;
    return ChangeNode(m_hWnd, kChangeMenu, [&](Node& n) { n.menu = h; }) ? TRUE : FALSE;
}

CMenu* CWnd::GetMenu() const
{
    HMENU h = nullptr;
    WithNode(m_hWnd, [&](Node& n) { h = n.menu; });
    return h ? CMenu::FromHandle(h) : nullptr;
}

int CWnd::MessageBox(LPCWSTR text, LPCWSTR caption, UINT type) { return ShowMessageBox(m_hWnd, text, caption, type); }

BOOL CWnd::DestroyWindow()
{
    if (!::IsWindow(m_hWnd))
        return FALSE;
    DestroyNodeTree(m_hWnd);
    return TRUE;
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    UINT code = 0, id = 0;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (!hdr)
            return FALSE;
        code = hdr->code;
        id = static_cast<UINT>(hdr->idFrom);
    }
    for (const ui::MessageMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
        for (const ui::MessageEntry* e = map->entries; e->call; ++e) {
            if (e->message == message && e->code == code && e->id == id) {
                *result = e->call(this, wParam, lParam);
                return TRUE;
            }
        }
    }
    return FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT r = 0;
    if (OnWndMsg(message, wParam, lParam, &r))
        return r;
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ui::DefaultProc(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    const MSG* m = CurrentMessage();
    if (!m || m->hwnd != m_hWnd)
        return 0;
    MSG copy = *m;
    return DefWindowProc(copy.message, copy.wParam, copy.lParam);
}

HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) { return nullptr; }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }

// ---- free functions -----------------------------------------------------------
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) { return ui::Send(hwnd, message, wParam, lParam); }

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    QueuedItem item;
    item.msg.hwnd = hwnd;
    item.msg.message = message;
    item.msg.wParam = wParam;
    item.msg.lParam = lParam;
    return ui::Post(hwnd, item) ? TRUE : FALSE;
}

int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) { return ShowMessageBox(owner, text, caption, type); }

SHORT GetKeyState(int vk) { return KeyStateOf(vk); }

BOOL IsWindow(HWND hwnd) { return hwnd && FindNode(hwnd) ? TRUE : FALSE; }

HWND GetDlgItem(HWND dialog, int id)
{
    std::lock_guard<std::mutex> lock(ModelMutex());
    Node* d = FindNodeLocked(dialog);
    if (!d)
        return nullptr;
    for (HWND c : d->children)
        if (Node* n = FindNodeLocked(c); n && n->id == id)
            return c;
    return nullptr;
}

template <class F> static auto ViewCall(HWND h, F f)
{
    CWnd v;
    v.m_hWnd = h;
    auto r = f(v);
    v.m_hWnd = nullptr;
    return r;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) { return ViewCall(hwnd, [&](CWnd& v) { return v.EnableWindow(enable); }); }
BOOL ShowWindow(HWND hwnd, int cmdShow) { return ViewCall(hwnd, [&](CWnd& v) { return v.ShowWindow(cmdShow); }); }
BOOL IsWindowVisible(HWND hwnd) { return ViewCall(hwnd, [&](CWnd& v) { return v.IsWindowVisible(); }); }
BOOL IsWindowEnabled(HWND hwnd) { return ViewCall(hwnd, [&](CWnd& v) { return v.IsWindowEnabled(); }); }
BOOL SetWindowTextW(HWND hwnd, LPCWSTR text)
{
    if (!IsWindow(hwnd))
        return FALSE;
    return ViewCall(hwnd, [&](CWnd& v) {
        v.SetWindowText(text);
        return TRUE;
    });
}
int GetWindowTextW(HWND hwnd, LPWSTR buffer, int maxCount)
{
    return ViewCall(hwnd, [&](CWnd& v) { return v.GetWindowText(buffer, maxCount); });
}
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) { return SetWindowTextW(GetDlgItem(dialog, id), text); }
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int maxCount)
{
    HWND c = GetDlgItem(dialog, id);
    if (!c) {
        if (buffer && maxCount > 0)
            buffer[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(c, buffer, maxCount));
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int maxCount)
{
    if (!buffer || maxCount <= 0)
        return 0;
    std::wstring text;
    WithNode(GetDlgItem(dialog, id), [&](Node& n) { text = n.text; });
    std::string narrow = WideToUtf8(text);
    size_t n = std::min(narrow.size(), static_cast<size_t>(maxCount - 1));
    std::memcpy(buffer, narrow.data(), n);
    buffer[n] = 0;
    return static_cast<UINT>(n);
}
