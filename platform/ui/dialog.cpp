#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/ui/menus.h"
#include "platform/ui/model.h"

using namespace ui;

// ---- template registry --------------------------------------------------------
namespace {
struct Templates {
    std::mutex mu;
    std::map<UINT, const DialogTemplate*> dialogs;
    std::map<UINT, const MenuTemplate*> menus;
};
Templates& TemplateReg()
{
    static Templates* t = new Templates;
    return *t;
}

std::atomic<int> g_modalLoops{0};

// Modal loops in the order they began, for the close signal's thread; never
// destroyed, as that thread may still look while the process exits.
struct ModalStack {
    std::mutex lock;
    std::vector<HWND> windows;
};
ModalStack& Modals()
{
    static ModalStack* modals = new ModalStack;
    return *modals;
}

void PushModal(HWND h)
{
    std::lock_guard<std::mutex> hold(Modals().lock);
    Modals().windows.push_back(h);
}

void PopModal(HWND h)
{
    std::lock_guard<std::mutex> hold(Modals().lock);
    std::vector<HWND>& windows = Modals().windows;
    for (auto it = windows.end(); it != windows.begin();)
        if (*--it == h) {
            windows.erase(it);
            break;
        }
}

WndKind KindOf(ControlKind k)
{
    switch (k) {
    case ControlKind::Button: return WndKind::Button;
    case ControlKind::Edit: return WndKind::Edit;
    case ControlKind::Static: return WndKind::Static;
    case ControlKind::ComboBox: return WndKind::ComboBox;
    case ControlKind::ListView: return WndKind::ListView;
    case ControlKind::TabControl: return WndKind::TabControl;
    }
    return WndKind::Static;
}

RECT DuRect(int x, int y, int cx, int cy)
{
    RECT r;
    r.left = x;
    r.top = y;
    r.right = x + cx;
    r.bottom = y + cy;
    return r;
}

RECT ToPixels(const RECT& du, int bx, int by)
{
    RECT r;
    r.left = MulDivRound(du.left, bx, 4);
    r.right = MulDivRound(du.right, bx, 4);
    r.top = MulDivRound(du.top, by, 8);
    r.bottom = MulDivRound(du.bottom, by, 8);
    return r;
}

HWND CreateDialogWindow(const DialogTemplate& t, HWND parent, HWND owner, CDialog* self, bool modal)
{
    int bx = 6, by = 13;
    CurrentBackend().BaseUnits(t.font ? t.font : L"", t.pointSize, &bx, &by);
    bool child = !modal && (t.style & WS_CHILD) && parent;
    HWND h = CreateNode(WndKind::Dialog, child ? parent : nullptr, [&](Node& n) {
        n.style = (t.style & ~WS_VISIBLE) & (child ? ~0u : ~WS_CHILD);
        n.text = t.caption ? t.caption : L"";
        n.templateId = t.id;
        n.font = t.font ? t.font : L"";
        n.pointSize = t.pointSize;
        n.baseX = bx;
        n.baseY = by;
        n.owner = child ? nullptr : owner;
        n.modal = modal;
        n.duRect = DuRect(0, 0, t.cx, t.cy);
        n.rect = ToPixels(n.duRect, bx, by);
        n.wrapper = self;
        if (t.menuId)
            n.menu = LoadMenuHandle(t.menuId);
    });
    if (self->m_hWnd && self->m_hWnd != h)
        UnbindWrapper(self->m_hWnd, self);
    self->m_hWnd = h;
    for (const ControlTemplate& c : t.controls) {
        CreateNode(KindOf(c.kind), h, [&](Node& n) {
            n.id = c.id;
            n.style = c.style & ~(WS_VISIBLE | WS_DISABLED);
            n.text = c.text ? c.text : L"";
            n.enabled = !(c.style & WS_DISABLED);
            n.visible = (c.style & WS_VISIBLE) != 0;
            n.duRect = DuRect(c.x, c.y, c.cx, c.cy);
            n.rect = ToPixels(n.duRect, bx, by);
            if (n.kind == WndKind::Edit && (c.style & ES_PASSWORD))
                n.passwordChar = L'\u25CF';
            if (n.kind == WndKind::ComboBox || n.kind == WndKind::ListView || n.kind == WndKind::TabControl)
                n.text.clear();
        });
    }
    return h;
}

bool TakesTabFocus(const Node& n)
{
    return (n.style & WS_TABSTOP) && n.visible && n.enabled && n.kind != WndKind::Static &&
           n.kind != WndKind::Dialog && !(n.kind == WndKind::Button && (n.style & BS_TYPEMASK) == BS_GROUPBOX);
}

// focus to the first control that takes it
void InitialFocus(HWND dialog)
{
    for (HWND c : Children(dialog)) {
        bool takes = false;
        WithNode(c, [&](Node& n) { takes = TakesTabFocus(n); });
        if (takes) {
            SetFocusNode(c);
            return;
        }
    }
}

bool IsRadio(const Node& n)
{
    DWORD type = n.style & BS_TYPEMASK;
    return n.kind == WndKind::Button && (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON);
}

// One Tab stop: a control, or a radio group entered at its checked button.
struct TabStop {
    HWND stop = nullptr;
    std::vector<HWND> members;
};

// The stops Tab visits, in creation order, through the pages the dialog
// holds; hidden or disabled pages and their controls are left out.
void CollectTabStopsLocked(Node& n, std::vector<TabStop>& out)
{
    for (size_t i = 0; i < n.children.size(); ++i) {
        Node* child = FindNodeLocked(n.children[i]);
        if (!child || !child->visible || !child->enabled)
            continue;
        if (IsRadio(*child)) {
            // the radios up to the next WS_GROUP are one stop
            TabStop group;
            bool tabStop = false;
            size_t j = i;
            for (; j < n.children.size(); ++j) {
                Node* r = FindNodeLocked(n.children[j]);
                if (!r || !IsRadio(*r) || (j > i && (r->style & WS_GROUP)))
                    break;
                if (!r->visible || !r->enabled)
                    continue;
                group.members.push_back(r->hwnd);
                tabStop |= (r->style & WS_TABSTOP) != 0;
                if (r->checked && !group.stop)
                    group.stop = r->hwnd;
            }
            i = j - 1;
            if (!tabStop || group.members.empty())
                continue;
            if (!group.stop)
                group.stop = group.members.front();
            out.push_back(std::move(group));
            continue;
        }
        if (TakesTabFocus(*child))
            out.push_back(TabStop{child->hwnd, {child->hwnd}});
        CollectTabStopsLocked(*child, out);
    }
}

// Tab / Shift+Tab from the control the key went to (the focused one): the
// next or previous tab stop. An edit reached this way has its text selected,
// as the user expects to type over it.
void MoveTabFocus(HWND dialog, HWND from, bool back)
{
    std::vector<TabStop> stops;
    HWND focus = from;
    {
        std::lock_guard<std::mutex> lock(ModelMutex());
        Node* d = FindNodeLocked(dialog);
        if (!d)
            return;
        if (!focus || focus == dialog)
            focus = d->focus;
        CollectTabStopsLocked(*d, stops);
    }
    if (stops.empty())
        return;
    auto at = std::find_if(stops.begin(), stops.end(), [&](const TabStop& s) {
        return std::find(s.members.begin(), s.members.end(), focus) != s.members.end();
    });
    size_t next;
    if (at == stops.end())
        next = back ? stops.size() - 1 : 0;
    else
        next = (static_cast<size_t>(at - stops.begin()) + (back ? stops.size() - 1 : 1)) % stops.size();
    SetFocusNode(stops[next].stop);
    ChangeNode(stops[next].stop, kChangeState, [](Node& n) {
        if (n.kind == WndKind::Edit) {
            n.selStart = 0;
            n.selEnd = static_cast<int>(n.text.size());
        }
    });
}

// An arrow key in a radio group: the next or previous usable button of the
// group takes the focus and is clicked, as a user's click would.
bool MoveInRadioGroup(HWND from, bool back)
{
    bool radio = false;
    WithNode(from, [&](Node& n) { radio = IsRadio(n); });
    if (!radio)
        return false;
    std::vector<HWND> usable;
    for (HWND r : RadioGroupOf(from))
        WithNode(r, [&](Node& n) {
            if ((n.visible && n.enabled) || r == from)
                usable.push_back(r);
        });
    auto at = std::find(usable.begin(), usable.end(), from);
    if (usable.size() < 2 || at == usable.end())
        return true;
    size_t i = (static_cast<size_t>(at - usable.begin()) + (back ? usable.size() - 1 : 1)) % usable.size();
    SetFocusNode(usable[i]);
    Dispatch(usable[i], BM_CLICK, 0, 0);
    return true;
}

// The tab control a page key changes: the one the key went to or that holds
// its page, else the first usable one of the dialog.
HWND TabControlFor(HWND dialog, HWND from)
{
    std::lock_guard<std::mutex> lock(ModelMutex());
    for (HWND h = from; h && h != dialog;) {
        Node* n = FindNodeLocked(h);
        if (!n)
            break;
        if (n->kind == WndKind::TabControl)
            return n->visible && n->enabled ? h : nullptr;
        h = n->parent;
    }
    std::function<HWND(Node&)> first = [&](Node& n) -> HWND {
        for (HWND c : n.children) {
            Node* child = FindNodeLocked(c);
            if (!child || !child->visible || !child->enabled)
                continue;
            if (child->kind == WndKind::TabControl)
                return c;
            if (HWND t = first(*child))
                return t;
        }
        return nullptr;
    };
    Node* d = FindNodeLocked(dialog);
    return d ? first(*d) : nullptr;
}

// The next or previous page by the keyboard is a click on its tab, so the
// tools' own handlers of the click and of TCN_SELCHANGE run as for the mouse.
void StepTab(HWND tab, bool back)
{
    POINT at{-1, -1};
    {
        std::lock_guard<std::mutex> lock(ModelMutex());
        Node* n = FindNodeLocked(tab);
        int count = n ? static_cast<int>(n->tabs.size()) : 0;
        if (count < 2)
            return;
        int cur = n->tabCur < 0 ? 0 : n->tabCur;
        int next = (cur + (back ? count - 1 : 1)) % count;
        RECT r = TabItemRectLocked(*n, next);
        at = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    QueuedItem item;
    item.msg.hwnd = tab;
    item.msg.message = WM_LBUTTONDOWN;
    item.msg.lParam = MAKELPARAM(at.x, at.y);
    Post(tab, item);
}

void InitDialog(HWND h)
{
    if (Dispatch(h, WM_INITDIALOG, 0, 0))
        InitialFocus(h);
    UpdateThreadTextColors();
}

}  // namespace

namespace ui {
HWND InnermostModalWindow()
{
    std::lock_guard<std::mutex> hold(Modals().lock);
    return Modals().windows.empty() ? nullptr : Modals().windows.back();
}

TemplateFile::TemplateFile(std::vector<const DialogTemplate*> dialogs, std::vector<const MenuTemplate*> menus)
{
    std::lock_guard<std::mutex> lock(TemplateReg().mu);
    for (auto* d : dialogs) {
        if (TemplateReg().dialogs.count(d->id))
            std::fprintf(stderr, "dialog template %u defined twice\n", d->id);
        TemplateReg().dialogs[d->id] = d;
    }
    for (auto* m : menus) {
        if (TemplateReg().menus.count(m->id))
            std::fprintf(stderr, "menu template %u defined twice\n", m->id);
        TemplateReg().menus[m->id] = m;
    }
}

const DialogTemplate* FindDialogTemplate(UINT id)
{
    std::lock_guard<std::mutex> lock(TemplateReg().mu);
    auto it = TemplateReg().dialogs.find(id);
    return it == TemplateReg().dialogs.end() ? nullptr : it->second;
}

std::vector<int> TemplatePointSizes()
{
    std::lock_guard<std::mutex> lock(TemplateReg().mu);
    std::vector<int> sizes;
    for (const auto& [id, t] : TemplateReg().dialogs)
        if (std::find(sizes.begin(), sizes.end(), t->pointSize) == sizes.end())
            sizes.push_back(t->pointSize);
    return sizes;
}

const MenuTemplate* FindMenuTemplate(UINT id)
{
    std::lock_guard<std::mutex> lock(TemplateReg().mu);
    auto it = TemplateReg().menus.find(id);
    return it == TemplateReg().menus.end() ? nullptr : it->second;
}
}  // namespace ui

// ---- CDialog ----------------------------------------------------------------
BEGIN_MESSAGE_MAP(CDialog, CWnd)
END_MESSAGE_MAP()

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog()
{
    if (m_hWnd && WrapperOf(m_hWnd) == this)
        DestroyNodeTree(m_hWnd);
}

INT_PTR CDialog::DoModal()
{
    const DialogTemplate* t = m_pTemplate ? m_pTemplate : FindDialogTemplate(m_nIDTemplate);
    if (!t) {
        std::fprintf(stderr, "no dialog template %u\n", m_nIDTemplate);
        return -1;
    }
    HWND owner = nullptr;
    if (m_pParentWnd)
        owner = TopLevelOf(m_pParentWnd->m_hWnd);
    else if (CWnd* main = AfxGetMainWnd(); main && main != this)
        owner = TopLevelOf(main->m_hWnd);
    bool nested = g_modalLoops.load() > 0;
    HWND h = CreateDialogWindow(*t, nullptr, owner, this, true);
    InitDialog(h);
    bool ended = true, messageBox = false;
    ChangeNode(h, kChangeState, [&](Node& n) {
        ended = n.endModal;
        messageBox = n.messageBox;
        if (!ended)
            n.visible = true;
        // a test finds the dialog only once it can take input
        n.initDone = true;
    });
    if (!ended && (owner || nested || messageBox))
        RegisterPopup(h);
    ++g_modalLoops;
    PushModal(h);
    RunModalLoop(h);
    PopModal(h);
    --g_modalLoops;
    INT_PTR result = -1;
    WithNode(h, [&](Node& n) { result = n.modalResult; });
    DestroyNodeTree(h);
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_nIDTemplate = templateId;
    m_pParentWnd = parent;
    const DialogTemplate* t = m_pTemplate ? m_pTemplate : FindDialogTemplate(templateId);
    if (!t) {
        std::fprintf(stderr, "no dialog template %u\n", templateId);
        return FALSE;
    }
    HWND p = parent ? parent->m_hWnd : nullptr;
    HWND h = CreateDialogWindow(*t, p, p ? TopLevelOf(p) : nullptr, this, false);
    InitDialog(h);
    ChangeNode(h, kChangeState, [&](Node& n) {
        if (t->style & WS_VISIBLE)
            n.visible = true;
        n.initDone = true;
    });
    return TRUE;
}

void CDialog::EndDialog(int result)
{
    std::shared_ptr<ThreadQueue> q;
    ChangeNode(m_hWnd, kChangeState, [&](Node& n) {
        n.endModal = true;
        n.modalResult = result;
        if (!n.modal)
            n.visible = false;
        q = n.queue;
    });
    if (q)
        q->Notify();
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::MapDialogRect(LPRECT rect) const
{
    int bx = 6, by = 13;
    WithNode(m_hWnd, [&](Node& n) {
        bx = n.baseX;
        by = n.baseY;
    });
    *rect = ToPixels(*rect, bx, by);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    if (GetStyle() & WS_CHILD)
        return FALSE;   // the keys belong to the dialog that holds the page
    auto clickIfEnabled = [&](int id) {
        HWND b = ::GetDlgItem(m_hWnd, id);
        if (b && !::IsWindowEnabled(b))
            return;
        SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(b));
    };
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
        clickIfEnabled(IDCANCEL);
        return TRUE;
    }
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
        // the focused push button, else the default push button, else OK
        int id = IDOK;
        HWND focus = nullptr;
        WithNode(m_hWnd, [&](Node& n) { focus = n.focus; });
        bool pushFocused = false;
        WithNode(focus, [&](Node& n) {
            DWORD type = n.style & BS_TYPEMASK;
            if (n.kind == WndKind::Button && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)) {
                pushFocused = true;
                id = n.id;
            }
        });
        if (!pushFocused)
            for (HWND c : Children(m_hWnd))
                WithNode(c, [&](Node& n) {
                    if (n.kind == WndKind::Button && (n.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && id == IDOK)
                        id = n.id;
                });
        clickIfEnabled(id);
        return TRUE;
    }
    const bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    if (msg->message == WM_KEYDOWN && ctrl &&
        (msg->wParam == VK_TAB || msg->wParam == VK_NEXT || msg->wParam == VK_PRIOR)) {
        if (HWND tab = TabControlFor(m_hWnd, msg->hwnd))
            StepTab(tab, msg->wParam == VK_PRIOR || (msg->wParam == VK_TAB && shift));
        return TRUE;
    }
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_TAB) {
        MoveTabFocus(m_hWnd, msg->hwnd, shift);
        return TRUE;
    }
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_LEFT || msg->wParam == VK_RIGHT ||
                                       msg->wParam == VK_UP || msg->wParam == VK_DOWN)) {
        const bool back = msg->wParam == VK_LEFT || msg->wParam == VK_UP;
        if (MoveInRadioGroup(msg->hwnd, back))
            return TRUE;
        bool tab = false;
        WithNode(msg->hwnd, [&](Node& n) { tab = n.kind == WndKind::TabControl; });
        if (tab && (msg->wParam == VK_LEFT || msg->wParam == VK_RIGHT)) {
            StepTab(msg->hwnd, back);
            return TRUE;
        }
    }
    if (msg->message == WM_SYSKEYDOWN && msg->wParam == VK_F4 && GetKeyState(VK_MENU) < 0) {
        SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
        return TRUE;
    }
    return FALSE;
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == IDOK) {
                OnOK();
                return 0;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                OnCancel();
                return 0;
            }
        }
        return 0;
    case WM_CLOSE:
        SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            SendMessage(WM_CLOSE, 0, 0);
        return 0;
    default: return CWnd::DefWindowProc(message, wParam, lParam);
    }
}

// ---- message box --------------------------------------------------------------
namespace {
class MessageBoxDialog : public CDialog {
public:
    MessageBoxDialog(LPCWSTR text, LPCWSTR caption, UINT type, CWnd* owner) : CDialog(0, owner), type_(type)
    {
        std::wstring body = text ? text : L"";
        bool icon = (type & 0xF0) == MB_ICONINFORMATION;
        // size from the longest line, wrapped at 300 units
        int longest = 0, lines = 0;
        size_t start = 0;
        for (;;) {
            size_t end = body.find(L'\n', start);
            std::wstring line = body.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
            int w = TextWidthPx(line, 4);
            longest = std::max(longest, w);
            lines += std::max(1, (w + 299) / 300);
            if (end == std::wstring::npos)
                break;
            start = end + 1;
        }
        short textX = icon ? 40 : 12;
        short textW = static_cast<short>(std::clamp(longest + 4, 60, 300));
        short textH = static_cast<short>(lines * 9);
        short bodyH = std::max<short>(textH, icon ? 22 : 0);
        short cx = static_cast<short>(std::max(textX + textW + 12, 120));
        short buttonY = static_cast<short>(12 + bodyH + 10);
        tpl_.id = 0;
        caption_ = caption ? caption : L"Error";
        tpl_.caption = caption_.c_str();
        tpl_.cx = cx;
        tpl_.cy = static_cast<short>(buttonY + 14 + 8);
        tpl_.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        text_ = body;
        if (icon)
            tpl_.controls.push_back({-1, ControlKind::Static, L"", 12, 12, 22, 22, WS_VISIBLE | kStyleInfoIcon});
        tpl_.controls.push_back({kMessageBoxTextId, ControlKind::Static, text_.c_str(), textX, 12, textW, textH, WS_VISIBLE});
        tpl_.controls.push_back({IDOK, ControlKind::Button, L"OK", static_cast<short>((cx - 50) / 2), buttonY, 50, 14,
                                 WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON});
        m_pTemplate = &tpl_;
    }

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        WithNode(m_hWnd, [&](Node& n) {
            n.messageBox = true;
            n.mbType = type_;
        });
        return TRUE;
    }
    void OnCancel() override { EndDialog(IDOK); }   // only OK: Esc and the close box answer OK

private:
    UINT type_;
    std::wstring caption_, text_;
    DialogTemplate tpl_;
};
}  // namespace

namespace ui {
int ShowMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    HWND top = owner ? TopLevelOf(owner) : nullptr;
    MessageBoxDialog dlg(text, caption, type, top ? CWnd::FromHandle(top) : nullptr);
    dlg.DoModal();
    return IDOK;
}
}  // namespace ui
