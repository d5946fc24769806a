#include <algorithm>
#include <cstring>
#include <map>

#include "platform/ui/menus.h"
#include "platform/ui/model.h"

using namespace ui;

namespace {
int Clamp(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

void CopyText(const std::wstring& text, LPWSTR buffer, int max)
{
    if (!buffer || max <= 0)
        return;
    size_t n = std::min(text.size(), static_cast<size_t>(max - 1));
    std::wmemcpy(buffer, text.data(), n);
    buffer[n] = 0;
}
}  // namespace

// ---- CButton ------------------------------------------------------------------
int CButton::GetCheck() const
{
    int c = 0;
    WithNode(m_hWnd, [&](Node& n) { c = n.checked; });
    return c;
}
void CButton::SetCheck(int check) { ChangeNode(m_hWnd, kChangeState, [&](Node& n) { n.checked = check; }); }
UINT CButton::GetButtonStyle() const
{
    UINT s = 0;
    WithNode(m_hWnd, [&](Node& n) { s = n.style & 0xFFFF; });
    return s;
}

// ---- CEdit --------------------------------------------------------------------
void CEdit::SetSel(int start, int end, BOOL)
{
    ChangeNode(m_hWnd, kChangeState, [&](Node& n) {
        int len = static_cast<int>(n.text.size());
        if (start < 0) {   // removes the selection, the caret stays
            n.selStart = n.selEnd;
            return;
        }
        n.selStart = Clamp(start, 0, len);
        n.selEnd = end < 0 ? len : Clamp(end, 0, len);
    });
}
void CEdit::GetSel(int& start, int& end) const
{
    start = end = 0;
    WithNode(m_hWnd, [&](Node& n) {
        start = n.selStart;
        end = n.selEnd;
    });
}
BOOL CEdit::SetReadOnly(BOOL readOnly)
{
    return ChangeNode(m_hWnd, kChangeState, [&](Node& n) {
        n.style = readOnly ? (n.style | ES_READONLY) : (n.style & ~ES_READONLY);
    }) ? TRUE : FALSE;
}
void CEdit::SetPasswordChar(wchar_t ch) { ChangeNode(m_hWnd, kChangeText, [&](Node& n) { n.passwordChar = ch; }); }
wchar_t CEdit::GetPasswordChar() const
{
    wchar_t c = 0;
    WithNode(m_hWnd, [&](Node& n) { c = n.passwordChar; });
    return c;
}
void CEdit::SetLimitText(UINT max) { WithNode(m_hWnd, [&](Node& n) { n.limitText = max; }); }
UINT CEdit::GetLimitText() const
{
    UINT l = 0;
    WithNode(m_hWnd, [&](Node& n) { l = n.limitText; });
    return l;
}

// ---- CComboBox ----------------------------------------------------------------
void CComboBox::ResetContent()
{
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        n.items.clear();
        n.curSel = -1;
        if ((n.style & 0x3) == CBS_DROPDOWN)
            n.text.clear();
    });
}
int CComboBox::AddString(LPCWSTR text) { return InsertString(-1, text); }
int CComboBox::InsertString(int index, LPCWSTR text)
{
    int at = CB_ERR;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        int count = static_cast<int>(n.items.size());
        if (index > count)
            return;
        at = index < 0 ? count : index;
        n.items.insert(n.items.begin() + at, text ? text : L"");
        if (n.curSel >= at)
            ++n.curSel;
    });
    return at;
}
int CComboBox::DeleteString(UINT index)
{
    int left = CB_ERR;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        if (index >= n.items.size())
            return;
        n.items.erase(n.items.begin() + index);
        if (n.curSel == static_cast<int>(index))
            n.curSel = -1;
        else if (n.curSel > static_cast<int>(index))
            --n.curSel;
        left = static_cast<int>(n.items.size());
    });
    return left;
}
int CComboBox::GetCount() const
{
    int c = 0;
    WithNode(m_hWnd, [&](Node& n) { c = static_cast<int>(n.items.size()); });
    return c;
}
int CComboBox::GetCurSel() const
{
    int c = CB_ERR;
    WithNode(m_hWnd, [&](Node& n) { c = n.curSel; });
    return c;
}
int CComboBox::SetCurSel(int index)
{
    int r = CB_ERR;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        if (index < 0 || index >= static_cast<int>(n.items.size())) {
            n.curSel = -1;
            return;
        }
        n.curSel = index;
        n.text = n.items[index];
        r = index;
    });
    return r;
}
int CComboBox::GetLBText(int index, CString& text) const
{
    int r = CB_ERR;
    WithNode(m_hWnd, [&](Node& n) {
        if (index < 0 || index >= static_cast<int>(n.items.size()))
            return;
        text = n.items[index];
        r = static_cast<int>(n.items[index].size());
    });
    return r;
}
int CComboBox::GetLBTextLen(int index) const
{
    CString t;
    return GetLBText(index, t);
}

// ---- CListCtrl ----------------------------------------------------------------
DWORD CListCtrl::SetExtendedStyle(DWORD exStyle)
{
    DWORD old = 0;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        old = n.exStyle;
        n.exStyle = exStyle;
    });
    return old;
}
DWORD CListCtrl::GetExtendedStyle() const
{
    DWORD s = 0;
    WithNode(m_hWnd, [&](Node& n) { s = n.exStyle; });
    return s;
}
int CListCtrl::InsertColumn(int col, LPCWSTR heading, int format, int width, int)
{
    int at = -1;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        at = Clamp(col, 0, static_cast<int>(n.columns.size()));
        ListColumn c;
        c.text = heading ? heading : L"";
        // as in a list view, the first column takes no alignment when inserted
        c.format = at == 0 ? LVCFMT_LEFT : format;
        c.width = width < 0 ? 0 : width;
        n.columns.insert(n.columns.begin() + at, c);
        for (auto& r : n.rows)
            if (static_cast<int>(r.texts.size()) > at)
                r.texts.insert(r.texts.begin() + at, L"");
    });
    return at;
}
BOOL CListCtrl::SetColumn(int col, const LVCOLUMN* column)
{
    bool ok = false;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        if (!column || col < 0 || col >= static_cast<int>(n.columns.size()))
            return;
        ListColumn& c = n.columns[col];
        if (column->mask & LVCF_FMT)
            c.format = column->fmt;
        if (column->mask & LVCF_WIDTH)
            c.width = column->cx;
        if (column->mask & LVCF_TEXT)
            c.text = column->pszText ? column->pszText : L"";
        ok = true;
    });
    return ok ? TRUE : FALSE;
}
BOOL CListCtrl::GetColumn(int col, LVCOLUMN* column) const
{
    bool ok = false;
    WithNode(m_hWnd, [&](Node& n) {
        if (!column || col < 0 || col >= static_cast<int>(n.columns.size()))
            return;
        const ListColumn& c = n.columns[col];
        if (column->mask & LVCF_FMT)
            column->fmt = c.format;
        if (column->mask & LVCF_WIDTH)
            column->cx = c.width;
        if (column->mask & LVCF_TEXT)
            CopyText(c.text, column->pszText, column->cchTextMax);
        ok = true;
    });
    return ok ? TRUE : FALSE;
}
BOOL CListCtrl::SetColumnWidth(int col, int width)
{
    LVCOLUMN c;
    c.mask = LVCF_WIDTH;
    c.cx = width;
    return SetColumn(col, &c);
}
int CListCtrl::GetColumnWidth(int col) const
{
    LVCOLUMN c;
    c.mask = LVCF_WIDTH;
    return GetColumn(col, &c) ? c.cx : 0;
}
BOOL CListCtrl::DeleteColumn(int col)
{
    bool ok = false;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        if (col < 0 || col >= static_cast<int>(n.columns.size()))
            return;
        n.columns.erase(n.columns.begin() + col);
        for (auto& r : n.rows)
            if (static_cast<int>(r.texts.size()) > col)
                r.texts.erase(r.texts.begin() + col);
        ok = true;
    });
    return ok ? TRUE : FALSE;
}
int CListCtrl::InsertItem(int item, LPCWSTR text)
{
    int at = -1;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        at = Clamp(item, 0, static_cast<int>(n.rows.size()));
        ListRow r;
        r.texts.assign(std::max<size_t>(1, n.columns.size()), L"");
        r.texts[0] = text ? text : L"";
        n.rows.insert(n.rows.begin() + at, r);
        if (n.selectionMark >= at)
            ++n.selectionMark;
    });
    return at;
}
BOOL CListCtrl::DeleteItem(int item)
{
    bool ok = false;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        if (item < 0 || item >= static_cast<int>(n.rows.size()))
            return;
        n.rows.erase(n.rows.begin() + item);
        if (n.selectionMark == item)
            n.selectionMark = -1;
        else if (n.selectionMark > item)
            --n.selectionMark;
        ok = true;
    });
    return ok ? TRUE : FALSE;
}
BOOL CListCtrl::DeleteAllItems()
{
    return ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        n.rows.clear();
        n.selectionMark = -1;
    }) ? TRUE : FALSE;
}
int CListCtrl::GetItemCount() const
{
    int c = 0;
    WithNode(m_hWnd, [&](Node& n) { c = static_cast<int>(n.rows.size()); });
    return c;
}
BOOL CListCtrl::SetItemText(int item, int subItem, LPCWSTR text)
{
    bool ok = false;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        if (item < 0 || item >= static_cast<int>(n.rows.size()) || subItem < 0)
            return;
        auto& texts = n.rows[item].texts;
        if (subItem >= static_cast<int>(texts.size())) {
            if (subItem >= static_cast<int>(std::max<size_t>(1, n.columns.size())))
                return;
            texts.resize(subItem + 1);
        }
        texts[subItem] = text ? text : L"";
        ok = true;
    });
    return ok ? TRUE : FALSE;
}
CString CListCtrl::GetItemText(int item, int subItem) const
{
    std::wstring t;
    WithNode(m_hWnd, [&](Node& n) {
        if (item >= 0 && item < static_cast<int>(n.rows.size()) && subItem >= 0 &&
            subItem < static_cast<int>(n.rows[item].texts.size()))
            t = n.rows[item].texts[subItem];
    });
    return CString(t);
}
BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask)
{
    bool ok = false;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        for (int i = 0; i < static_cast<int>(n.rows.size()); ++i) {
            if (item != -1 && i != item)
                continue;
            n.rows[i].state = (n.rows[i].state & ~mask) | (state & mask);
            ok = true;
        }
        if (item >= 0 && item < static_cast<int>(n.rows.size()) && (state & mask & LVIS_SELECTED)) {
            n.selectionMark = item;
            if (n.style & LVS_SINGLESEL)
                for (int i = 0; i < static_cast<int>(n.rows.size()); ++i)
                    if (i != item)
                        n.rows[i].state &= ~LVIS_SELECTED;
        }
    });
    return ok ? TRUE : FALSE;
}
UINT CListCtrl::GetItemState(int item, UINT mask) const
{
    UINT s = 0;
    WithNode(m_hWnd, [&](Node& n) {
        if (item >= 0 && item < static_cast<int>(n.rows.size()))
            s = n.rows[item].state & mask;
    });
    return s;
}
int CListCtrl::GetNextItem(int start, int flags) const
{
    int found = -1;
    WithNode(m_hWnd, [&](Node& n) {
        for (int i = std::max(0, start + 1); i < static_cast<int>(n.rows.size()); ++i)
            if (!(flags & LVNI_SELECTED) || (n.rows[i].state & LVIS_SELECTED)) {
                found = i;
                return;
            }
    });
    return found;
}
int CListCtrl::GetSelectionMark() const
{
    int m = -1;
    WithNode(m_hWnd, [&](Node& n) { m = n.selectionMark; });
    return m;
}
int CListCtrl::GetSelectedCount() const
{
    int c = 0;
    WithNode(m_hWnd, [&](Node& n) {
        for (auto& r : n.rows)
            c += (r.state & LVIS_SELECTED) ? 1 : 0;
    });
    return c;
}
POSITION CListCtrl::GetFirstSelectedItemPosition() const
{
    int i = GetNextItem(-1, LVNI_SELECTED);
    return i < 0 ? nullptr : reinterpret_cast<POSITION>(static_cast<intptr_t>(i) + 1);
}
int CListCtrl::GetNextSelectedItem(POSITION& pos) const
{
    int i = static_cast<int>(reinterpret_cast<intptr_t>(pos)) - 1;
    int next = GetNextItem(i, LVNI_SELECTED);
    pos = next < 0 ? nullptr : reinterpret_cast<POSITION>(static_cast<intptr_t>(next) + 1);
    return i;
}

// ---- CTabCtrl -----------------------------------------------------------------
// A tab inserted where the selected one was deleted becomes the selected tab,
// so that replacing the current page keeps its tab current.
LONG CTabCtrl::InsertItem(int item, LPCWSTR text)
{
    int at = -1;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        at = Clamp(item, 0, static_cast<int>(n.tabs.size()));
        bool first = n.tabs.empty() && n.tabCur < 0;
        n.tabs.insert(n.tabs.begin() + at, text ? text : L"");
        if (first) {
            n.tabCur = 0;
            n.tabFocus = 0;
        } else {
            if (at < n.tabCur)
                ++n.tabCur;
            if (at < n.tabFocus)
                ++n.tabFocus;
        }
    });
    return at;
}
LONG CTabCtrl::InsertItem(int item, TCITEM* tabItem)
{
    return InsertItem(item, tabItem && (tabItem->mask & TCIF_TEXT) ? tabItem->pszText : L"");
}
BOOL CTabCtrl::GetItem(int item, TCITEM* tabItem) const
{
    bool ok = false;
    WithNode(m_hWnd, [&](Node& n) {
        if (!tabItem || item < 0 || item >= static_cast<int>(n.tabs.size()))
            return;
        if (tabItem->mask & TCIF_TEXT)
            CopyText(n.tabs[item], tabItem->pszText, tabItem->cchTextMax);
        ok = true;
    });
    return ok ? TRUE : FALSE;
}
BOOL CTabCtrl::SetItem(int item, TCITEM* tabItem)
{
    bool ok = false;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        if (!tabItem || item < 0 || item >= static_cast<int>(n.tabs.size()))
            return;
        if (tabItem->mask & TCIF_TEXT)
            n.tabs[item] = tabItem->pszText ? tabItem->pszText : L"";
        ok = true;
    });
    return ok ? TRUE : FALSE;
}
BOOL CTabCtrl::DeleteItem(int item)
{
    bool ok = false;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        if (item < 0 || item >= static_cast<int>(n.tabs.size()))
            return;
        n.tabs.erase(n.tabs.begin() + item);
        if (item < n.tabCur)
            --n.tabCur;
        if (item < n.tabFocus)
            --n.tabFocus;
        ok = true;
    });
    return ok ? TRUE : FALSE;
}
BOOL CTabCtrl::DeleteAllItems()
{
    return ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        n.tabs.clear();
        n.tabCur = n.tabFocus = -1;
    }) ? TRUE : FALSE;
}
int CTabCtrl::GetItemCount() const
{
    int c = 0;
    WithNode(m_hWnd, [&](Node& n) { c = static_cast<int>(n.tabs.size()); });
    return c;
}
int CTabCtrl::GetCurSel() const
{
    int c = -1;
    WithNode(m_hWnd, [&](Node& n) { c = n.tabCur < static_cast<int>(n.tabs.size()) ? n.tabCur : -1; });
    return c;
}
int CTabCtrl::SetCurSel(int item)
{
    int old = -1;
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        if (item < 0 || item >= static_cast<int>(n.tabs.size()))
            return;
        old = n.tabCur < static_cast<int>(n.tabs.size()) ? n.tabCur : -1;
        n.tabCur = item;
        n.tabFocus = item;
    });
    return old;
}
int CTabCtrl::GetCurFocus() const
{
    int c = -1;
    WithNode(m_hWnd, [&](Node& n) { c = n.tabFocus < static_cast<int>(n.tabs.size()) ? n.tabFocus : -1; });
    return c;
}
void CTabCtrl::SetCurFocus(int item)
{
    ChangeNode(m_hWnd, kChangeItems, [&](Node& n) {
        if (item >= 0 && item < static_cast<int>(n.tabs.size()))
            n.tabFocus = item;
    });
}
BOOL CTabCtrl::GetItemRect(int item, LPRECT rect) const
{
    bool ok = false;
    WithNode(m_hWnd, [&](Node& n) {
        if (!rect || item < 0 || item >= static_cast<int>(n.tabs.size()))
            return;
        *rect = TabItemRectLocked(n, item);
        ok = true;
    });
    return ok ? TRUE : FALSE;
}

// ---- CMenu --------------------------------------------------------------------
namespace {
struct MenuEntry {
    MenuTemplate tpl;
    std::unique_ptr<CMenu> view;
};
struct Menus {
    std::mutex mu;
    std::map<uintptr_t, std::shared_ptr<MenuEntry>> menus;
    uintptr_t next = 0x20000;
};
Menus& MenuReg()
{
    static Menus* m = new Menus;
    return *m;
}
}  // namespace

namespace ui {
bool MenuOf(HMENU menu, MenuTemplate* out)
{
    std::lock_guard<std::mutex> lock(MenuReg().mu);
    auto it = MenuReg().menus.find(reinterpret_cast<uintptr_t>(menu));
    if (it == MenuReg().menus.end())
        return false;
    *out = it->second->tpl;
    return true;
}

HMENU LoadMenuHandle(UINT id)
{
    const MenuTemplate* tpl = FindMenuTemplate(id);
    if (!tpl)
        return nullptr;
    auto e = std::make_shared<MenuEntry>();
    e->tpl = *tpl;
    std::lock_guard<std::mutex> lock(MenuReg().mu);
    HMENU h = reinterpret_cast<HMENU>(MenuReg().next++);
    MenuReg().menus[reinterpret_cast<uintptr_t>(h)] = e;
    return h;
}
}  // namespace ui

CMenu::~CMenu() { DestroyMenu(); }

BOOL CMenu::LoadMenu(UINT id)
{
    DestroyMenu();
    m_hMenu = LoadMenuHandle(id);
    return m_hMenu ? TRUE : FALSE;
}

BOOL CMenu::DestroyMenu()
{
    if (!m_hMenu)
        return FALSE;
    std::shared_ptr<MenuEntry> gone;
    {
        std::lock_guard<std::mutex> lock(MenuReg().mu);
        auto it = MenuReg().menus.find(reinterpret_cast<uintptr_t>(m_hMenu));
        if (it != MenuReg().menus.end()) {
            gone = it->second;
            MenuReg().menus.erase(it);
        }
    }
    HMENU h = m_hMenu;
    m_hMenu = nullptr;
    if (gone && gone->view)
        gone->view->m_hMenu = nullptr;   // the view must not destroy again
    // windows showing it lose their menu bar
    for (HWND w : AllWindows()) {
        bool had = false;
        WithNode(w, [&](Node& n) {
            had = n.menu == h;
            if (had)
                n.menu = nullptr;
        });
        if (had)
            CurrentBackend().Changed(w, kChangeMenu);
    }
    return gone ? TRUE : FALSE;
}

BOOL CMenu::Attach(HMENU menu)
{
    if (m_hMenu)
        return FALSE;
    m_hMenu = menu;
    return TRUE;
}

HMENU CMenu::Detach()
{
    HMENU h = m_hMenu;
    m_hMenu = nullptr;
    return h;
}

CMenu* CMenu::FromHandle(HMENU menu)
{
    std::lock_guard<std::mutex> lock(MenuReg().mu);
    auto it = MenuReg().menus.find(reinterpret_cast<uintptr_t>(menu));
    if (it == MenuReg().menus.end())
        return nullptr;
    if (!it->second->view) {
        it->second->view = std::make_unique<CMenu>();
        it->second->view->m_hMenu = menu;
    }
    return it->second->view.get();
}

// ---- data exchange ------------------------------------------------------------
void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    HWND h = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
    if (h && control.m_hWnd != h)
        control.Attach(h);
}

void DDX_Text(CDataExchange* dx, int id, CString& value)
{
    CWnd* c = dx->m_pDlgWnd->GetDlgItem(id);
    if (!c)
        return;
    if (dx->m_bSaveAndValidate) {
        c->GetWindowText(value);
        return;
    }
    CString now;
    c->GetWindowText(now);
    if (now != value)   // an unchanged edit raises no change
        c->SetWindowText(value);
}

void DDX_Text(CDataExchange* dx, int id, int& value)
{
    CString text;
    if (!dx->m_bSaveAndValidate)
        text.Format(L"%d", value);
    DDX_Text(dx, id, text);
    if (dx->m_bSaveAndValidate)
        value = static_cast<int>(std::wcstol(text.GetString(), nullptr, 10));
}

void DDX_Check(CDataExchange* dx, int id, int& value)
{
    auto* b = static_cast<CButton*>(dx->m_pDlgWnd->GetDlgItem(id));
    if (!b)
        return;
    if (dx->m_bSaveAndValidate)
        value = b->GetCheck();
    else
        b->SetCheck(value);
}

void DDX_Radio(CDataExchange* dx, int id, int& value)
{
    HWND first = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
    if (!first)
        return;
    // the group runs from this radio to the next one marked as a group start
    std::vector<HWND> group;
    bool started = false;
    for (HWND c : Children(dx->m_pDlgWnd->m_hWnd)) {
        if (c == first)
            started = true;
        if (!started)
            continue;
        bool radio = false, groupStart = false;
        WithNode(c, [&](Node& n) {
            radio = n.kind == WndKind::Button &&
                    ((n.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON || (n.style & BS_TYPEMASK) == BS_RADIOBUTTON);
            groupStart = (n.style & WS_GROUP) != 0;
        });
        if (!radio || (c != first && groupStart))
            break;
        group.push_back(c);
    }
    if (dx->m_bSaveAndValidate) {
        value = -1;
        for (size_t i = 0; i < group.size(); ++i)
            WithNode(group[i], [&](Node& n) {
                if (n.checked && value < 0)
                    value = static_cast<int>(i);
            });
        return;
    }
    for (size_t i = 0; i < group.size(); ++i)
        ChangeNode(group[i], kChangeState, [&](Node& n) { n.checked = static_cast<int>(i) == value ? 1 : 0; });
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index)
{
    auto* c = static_cast<CComboBox*>(dx->m_pDlgWnd->GetDlgItem(id));
    if (!c)
        return;
    if (dx->m_bSaveAndValidate)
        index = c->GetCurSel();
    else
        c->SetCurSel(index);
}
