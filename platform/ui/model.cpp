#include "platform/ui/model.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>

namespace ui {

namespace {

struct Registry {
    std::mutex mu;
    std::map<uintptr_t, std::shared_ptr<Node>> nodes;
    uintptr_t next = 0x10000;
};
// never destroyed: windows may still be touched from static destructors
Registry& Reg()
{
    static Registry* r = new Registry;
    return *r;
}

std::atomic<bool> g_exiting{false};

struct BackendSlot {
    std::mutex mu;
    std::unique_ptr<Backend> backend;
};
BackendSlot& Slot()
{
    static BackendSlot* s = new BackendSlot;
    return *s;
}
std::atomic<Backend*> g_backend{nullptr};

struct CurrentMsg {
    MSG msg;
    KeyState keys;
    bool set = false;
};
thread_local CurrentMsg t_current;

void FinishSlot(const std::shared_ptr<SendSlot>& slot, LRESULT result)
{
    auto sender = slot->sender;
    {
        std::lock_guard<std::mutex> lock(sender->mu);
        slot->finished = true;
        slot->result = result;
    }
    sender->Notify();
}

// the thread's queue; when the thread ends, senders waiting on it are released
struct QueueHolder {
    std::shared_ptr<ThreadQueue> q;
    ~QueueHolder()
    {
        if (!q)
            return;
        std::deque<QueuedItem> sent, posted;
        {
            std::lock_guard<std::mutex> lock(q->mu);
            q->alive = false;
            sent.swap(q->sent);
            posted.swap(q->posted);
        }
        for (auto& it : sent)
            FinishSlot(it.sent, 0);
        for (auto& it : posted)
            if (it.done)
                it.done->Signal();
    }
};
thread_local QueueHolder t_queue;

struct Popups {
    std::mutex mu;
    std::condition_variable cv;
    std::deque<PopupRecord> pending;
};
Popups& PopupList()
{
    static Popups* p = new Popups;
    return *p;
}

bool GetItem(ThreadQueue& q, QueuedItem& out)
{
    std::unique_lock<std::mutex> lock(q.mu);
    if (!q.sent.empty()) {
        out = std::move(q.sent.front());
        q.sent.pop_front();
        return true;
    }
    if (!q.posted.empty()) {
        out = std::move(q.posted.front());
        q.posted.pop_front();
        return true;
    }
    // idle inside a loop: inputs that opened this loop count as handled
    for (auto& d : q.inProgress)
        d->Signal();
    CurrentBackend().Wait(q, lock);
    return false;
}

bool IsFocusInput(UINT message)
{
    return message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == kMsgSelectItem ||
           message == kMsgInputText;
}

void PumpPosted(QueuedItem& it)
{
    MSG m = it.msg;
    if (m.message == kMsgNoop || !IsWindow(m.hwnd))
        return;
    if (IsFocusInput(m.message))
        SetFocusNode(m.hwnd);
    // key state seen by GetKeyState while this input is handled
    CurrentMsg saved = t_current;
    t_current.msg = m;
    t_current.keys = it.keys;
    t_current.set = true;
    bool swallowed = false;
    for (HWND h = m.hwnd; h;) {
        CWnd* w = WrapperOf(h);
        if (w && w->PreTranslateMessage(&m)) {
            swallowed = true;
            break;
        }
        HWND parent = nullptr;
        bool child = false;
        WithNode(h, [&](Node& n) {
            parent = n.parent;
            child = (n.style & WS_CHILD) != 0 || n.kind != WndKind::Dialog;
        });
        if (!child)
            break;
        h = parent;
    }
    if (!swallowed && m.message != WM_NULL && IsWindow(m.hwnd))
        Dispatch(m.hwnd, m.message, m.wParam, m.lParam);
    t_current = saved;
    // colours of every dialog of this thread follow whatever the handler changed
    UpdateThreadTextColors();
}

}  // namespace

HWND SetFocusNode(HWND hwnd)
{
    HWND top = TopLevelOf(hwnd);
    HWND old = nullptr;
    WithNode(top, [&](Node& n) {
        old = n.focus;
        n.focus = hwnd;
    });
    // a real window moves its keyboard focus along
    if (old != hwnd && top)
        CurrentBackend().Changed(top, kChangeState);
    return old;
}

void Backend::Wait(ThreadQueue& q, std::unique_lock<std::mutex>& lock)
{
    q.cv.wait_for(lock, std::chrono::milliseconds(50));
}

Backend& CurrentBackend()
{
    Backend* b = g_backend.load(std::memory_order_acquire);
    if (b)
        return *b;
    std::lock_guard<std::mutex> lock(Slot().mu);
    if (!Slot().backend) {
        Slot().backend = MakeHeadlessBackend();
        g_backend.store(Slot().backend.get(), std::memory_order_release);
    }
    return *Slot().backend;
}

void SetBackend(std::unique_ptr<Backend> backend)
{
    std::lock_guard<std::mutex> lock(Slot().mu);
    // the old one is kept: other threads may still be inside it
    static std::vector<std::unique_ptr<Backend>>* retired = new std::vector<std::unique_ptr<Backend>>;
    if (Slot().backend)
        retired->push_back(std::move(Slot().backend));
    Slot().backend = std::move(backend);
    g_backend.store(Slot().backend.get(), std::memory_order_release);
}

void InputDone::Signal()
{
    {
        std::lock_guard<std::mutex> lock(mu);
        done = true;
    }
    cv.notify_all();
}

bool InputDone::Wait(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(mu);
    return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done; });
}

void ThreadQueue::Notify()
{
    cv.notify_all();
    if (wake)
        wake();
}

std::shared_ptr<ThreadQueue> CurrentQueue()
{
    if (!t_queue.q) {
        auto q = std::make_shared<ThreadQueue>();
        q->thread = std::this_thread::get_id();
        CurrentBackend().QueueCreated(*q);
        t_queue.q = q;
    }
    return t_queue.q;
}

std::mutex& ModelMutex() { return Reg().mu; }

Node* FindNodeLocked(HWND hwnd)
{
    auto it = Reg().nodes.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == Reg().nodes.end() ? nullptr : it->second.get();
}

std::shared_ptr<Node> FindNode(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(ModelMutex());
    auto it = Reg().nodes.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == Reg().nodes.end() ? nullptr : it->second;
}

static std::unique_ptr<CWnd> MakeView(WndKind kind)
{
    switch (kind) {
    case WndKind::Button: return std::make_unique<CButton>();
    case WndKind::Edit: return std::make_unique<CEdit>();
    case WndKind::Static: return std::make_unique<CStatic>();
    case WndKind::ComboBox: return std::make_unique<CComboBox>();
    case WndKind::ListView: return std::make_unique<CListCtrl>();
    case WndKind::TabControl: return std::make_unique<CTabCtrl>();
    case WndKind::Dialog: break;
    }
    return std::make_unique<CWnd>();
}

HWND CreateNode(WndKind kind, HWND parent, const std::function<void(Node&)>& init)
{
    auto queue = CurrentQueue();
    auto node = std::make_shared<Node>();
    node->kind = kind;
    node->parent = parent;
    node->queue = queue;
    node->ownWrapper = MakeView(kind);
    HWND h;
    {
        std::lock_guard<std::mutex> lock(ModelMutex());
        h = reinterpret_cast<HWND>(Reg().next++);
        node->hwnd = h;
        node->ownWrapper->m_hWnd = h;
        if (Node* p = FindNodeLocked(parent)) {
            p->children.push_back(h);
            node->baseX = p->baseX;
            node->baseY = p->baseY;
        }
        init(*node);
        Reg().nodes[reinterpret_cast<uintptr_t>(h)] = node;
    }
    CurrentBackend().Created(h);
    return h;
}

static void CollectTree(HWND h, std::vector<HWND>& out)
{
    out.push_back(h);
    for (HWND c : Children(h))
        CollectTree(c, out);
}

// A view that GetDlgItem handed out may still be held by another thread (a
// watch thread between two calls on a control) when its dialog goes, so the
// framework's own views live on, bound to their dead handle, where every call
// does nothing.
static void RetireViews(std::vector<std::shared_ptr<Node>>& nodes)
{
    static std::mutex lock;
    static auto* retired = new std::vector<std::unique_ptr<CWnd>>();
    std::lock_guard<std::mutex> hold(lock);
    for (auto& n : nodes)
        if (n->ownWrapper)
            retired->push_back(std::move(n->ownWrapper));
}

void DestroyNodeTree(HWND hwnd)
{
    std::vector<HWND> tree;
    CollectTree(hwnd, tree);
    auto me = CurrentQueue();
    for (HWND h : tree) {
        auto n = FindNode(h);
        if (n && n->queue == me)
            Dispatch(h, WM_DESTROY, 0, 0);
    }
    std::vector<std::shared_ptr<Node>> removed;
    {
        std::lock_guard<std::mutex> lock(ModelMutex());
        for (HWND h : tree) {
            auto it = Reg().nodes.find(reinterpret_cast<uintptr_t>(h));
            if (it == Reg().nodes.end())
                continue;
            std::shared_ptr<Node> n = it->second;
            if (Node* p = FindNodeLocked(n->parent))
                p->children.erase(std::remove(p->children.begin(), p->children.end(), h), p->children.end());
            for (auto& [k, other] : Reg().nodes)
                if (other->focus == h)
                    other->focus = nullptr;
            n->endModal = true;
            Reg().nodes.erase(it);
            removed.push_back(std::move(n));
        }
    }
    for (HWND h : tree)
        CurrentBackend().Destroyed(h);
    for (auto& n : removed)
        n->queue->Notify();   // a modal loop of a destroyed dialog ends
    RetireViews(removed);
    removed.clear();          // nodes die outside the model lock
}

std::vector<HWND> Children(HWND hwnd)
{
    std::vector<HWND> out;
    WithNode(hwnd, [&](Node& n) { out = n.children; });
    return out;
}

HWND TopLevelOf(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(ModelMutex());
    HWND h = hwnd;
    while (Node* n = FindNodeLocked(h)) {
        if (n->kind == WndKind::Dialog && !(n->style & WS_CHILD))
            return h;
        if (!n->parent)
            return h;
        h = n->parent;
    }
    return nullptr;
}

std::vector<HWND> AllWindowsLocked()
{
    std::vector<HWND> out;
    for (auto& [k, n] : Reg().nodes)
        out.push_back(n->hwnd);
    return out;
}

std::vector<HWND> AllWindows()
{
    std::lock_guard<std::mutex> lock(ModelMutex());
    return AllWindowsLocked();
}

bool HasShownOwnedPopup(HWND top)
{
    if (!top)
        return false;
    std::lock_guard<std::mutex> lock(ModelMutex());
    for (auto& [k, n] : Reg().nodes)
        if (n->owner == top && n->kind == WndKind::Dialog && n->modal && n->visible && !n->endModal)
            return true;
    return false;
}

CWnd* WrapperOf(HWND hwnd)
{
    std::lock_guard<std::mutex> lock(ModelMutex());
    Node* n = FindNodeLocked(hwnd);
    if (!n)
        return nullptr;
    return n->wrapper ? n->wrapper : n->ownWrapper.get();
}

bool BindWrapper(HWND hwnd, CWnd* wnd)
{
    return WithNode(hwnd, [&](Node& n) { n.wrapper = wnd; });
}

void UnbindWrapper(HWND hwnd, CWnd* wnd)
{
    WithNode(hwnd, [&](Node& n) {
        if (n.wrapper == wnd)
            n.wrapper = nullptr;
    });
}

LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = WrapperOf(hwnd);
    if (!wnd)
        return 0;
    CurrentMsg saved = t_current;
    t_current.msg.hwnd = hwnd;
    t_current.msg.message = message;
    t_current.msg.wParam = wParam;
    t_current.msg.lParam = lParam;
    t_current.set = true;
    LRESULT r = wnd->WindowProc(message, wParam, lParam);
    t_current = saved;
    return r;
}

const MSG* CurrentMessage() { return t_current.set ? &t_current.msg : nullptr; }

SHORT KeyStateOf(int vk)
{
    if (vk == VK_MENU && t_current.set && t_current.keys.alt)
        return static_cast<SHORT>(0xFF80);
    if (vk == VK_SHIFT && t_current.set && t_current.keys.shift)
        return static_cast<SHORT>(0xFF80);
    if (vk == VK_CONTROL && t_current.set && t_current.keys.ctrl)
        return static_cast<SHORT>(0xFF80);
    return 0;
}

void HandleSentMessages()
{
    auto q = CurrentQueue();
    for (;;) {
        QueuedItem it;
        {
            std::lock_guard<std::mutex> lock(q->mu);
            if (q->sent.empty())
                return;
            it = std::move(q->sent.front());
            q->sent.pop_front();
        }
        FinishSlot(it.sent, Dispatch(it.msg.hwnd, it.msg.message, it.msg.wParam, it.msg.lParam));
    }
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto node = FindNode(hwnd);
    if (!node)
        return 0;
    auto target = node->queue;
    node.reset();
    if (target->thread == std::this_thread::get_id())
        return Dispatch(hwnd, message, wParam, lParam);
    auto me = CurrentQueue();
    auto slot = std::make_shared<SendSlot>();
    slot->sender = me;
    QueuedItem item;
    item.msg.hwnd = hwnd;
    item.msg.message = message;
    item.msg.wParam = wParam;
    item.msg.lParam = lParam;
    item.sent = slot;
    {
        std::lock_guard<std::mutex> lock(target->mu);
        if (!target->alive)
            return 0;
        target->sent.push_back(std::move(item));
    }
    target->Notify();
    std::unique_lock<std::mutex> lock(me->mu);
    while (!slot->finished && !Exiting()) {
        if (!me->sent.empty()) {
            // a window of ours is asked meanwhile: answer it, as Windows does
            QueuedItem in = std::move(me->sent.front());
            me->sent.pop_front();
            lock.unlock();
            FinishSlot(in.sent, Dispatch(in.msg.hwnd, in.msg.message, in.msg.wParam, in.msg.lParam));
            lock.lock();
            continue;
        }
        me->cv.wait_for(lock, std::chrono::milliseconds(50));
    }
    return slot->result;
}

bool Post(HWND hwnd, const QueuedItem& item)
{
    auto node = FindNode(hwnd);
    if (!node)
        return false;
    auto target = node->queue;
    node.reset();
    {
        std::lock_guard<std::mutex> lock(target->mu);
        if (!target->alive)
            return false;
        target->posted.push_back(item);
    }
    target->Notify();
    return true;
}

void RunModalLoop(HWND dialog)
{
    auto q = CurrentQueue();
    {
        std::lock_guard<std::mutex> lock(q->mu);
        ++q->loops;
    }
    for (;;) {
        bool end = true;
        WithNode(dialog, [&](Node& n) { end = n.endModal; });
        if (end || Exiting())
            break;
        QueuedItem it;
        if (!GetItem(*q, it))
            continue;
        if (it.sent) {
            FinishSlot(it.sent, Dispatch(it.msg.hwnd, it.msg.message, it.msg.wParam, it.msg.lParam));
            continue;
        }
        if (it.done) {
            std::lock_guard<std::mutex> lock(q->mu);
            q->inProgress.push_back(it.done);
        }
        PumpPosted(it);
        if (it.done) {
            {
                std::lock_guard<std::mutex> lock(q->mu);
                q->inProgress.erase(std::find(q->inProgress.begin(), q->inProgress.end(), it.done));
            }
            it.done->Signal();
        }
    }
    std::lock_guard<std::mutex> lock(q->mu);
    --q->loops;
}

void NotifyParent(HWND control, UINT code)
{
    HWND parent = nullptr;
    int id = 0;
    WithNode(control, [&](Node& n) {
        parent = n.parent;
        id = n.id;
    });
    if (parent)
        Send(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

void NotifyParentNmhdr(HWND control, NMHDR* hdr)
{
    HWND parent = nullptr;
    int id = 0;
    WithNode(control, [&](Node& n) {
        parent = n.parent;
        id = n.id;
    });
    hdr->hwndFrom = control;
    hdr->idFrom = static_cast<UINT_PTR>(id);
    if (parent)
        Send(parent, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(hdr));
}

void UpdateTextColors(HWND dialog)
{
    for (HWND c : Children(dialog)) {
        WndKind kind = WndKind::Dialog;
        WithNode(c, [&](Node& n) { kind = n.kind; });
        if (kind == WndKind::Dialog || kind == WndKind::TabControl)
            continue;
        CDC dc;
        CtlColorArgs args{CWnd::FromHandle(c), kind == WndKind::Edit     ? static_cast<UINT>(CTLCOLOR_EDIT)
                                               : kind == WndKind::Button ? static_cast<UINT>(CTLCOLOR_BTN)
                                                                         : static_cast<UINT>(CTLCOLOR_STATIC)};
        if (!args.control)
            continue;
        Dispatch(dialog, kCtlColorMessage, reinterpret_cast<WPARAM>(&dc), reinterpret_cast<LPARAM>(&args));
        bool changed = false;
        WithNode(c, [&](Node& n) {
            bool has = dc.TextColorSet();
            COLORREF color = has ? dc.GetTextColor() : 0;
            changed = has != n.hasTextColor || color != n.textColor;
            n.hasTextColor = has;
            n.textColor = color;
        });
        if (changed)
            CurrentBackend().Changed(c, kChangeState);
    }
}

void UpdateThreadTextColors()
{
    auto me = CurrentQueue();
    std::vector<HWND> dialogs;
    {
        std::lock_guard<std::mutex> lock(ModelMutex());
        for (auto& [k, n] : Reg().nodes)
            if (n->kind == WndKind::Dialog && n->queue == me)
                dialogs.push_back(n->hwnd);
    }
    for (HWND d : dialogs)
        UpdateTextColors(d);
}

bool Exiting() { return g_exiting.load(); }
void SetExiting() { g_exiting.store(true); }

void RegisterPopup(HWND hwnd)
{
    // texts as they are when the popup shows (it may be gone when a test reads it)
    PopupRecord rec;
    rec.hwnd = hwnd;
    {
        std::lock_guard<std::mutex> lock(ModelMutex());
        Node* d = FindNodeLocked(hwnd);
        if (!d)
            return;
        rec.templateId = d->templateId;
        rec.messageBox = d->messageBox;
        rec.type = d->mbType;
        rec.caption = d->text;
        for (HWND c : d->children) {
            Node* n = FindNodeLocked(c);
            if (!n || n->kind != WndKind::Static || !n->visible || (n->style & 0xF) == kStyleInfoIcon)
                continue;
            if (!rec.text.empty())
                rec.text += L"\n";
            rec.text += n->text;
        }
    }
    {
        std::lock_guard<std::mutex> lock(PopupList().mu);
        PopupList().pending.push_back(rec);
    }
    PopupList().cv.notify_all();
}

bool NextPopup(PopupRecord* out, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(PopupList().mu);
    if (!PopupList().cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [] { return !PopupList().pending.empty(); }))
        return false;
    *out = PopupList().pending.front();
    PopupList().pending.pop_front();
    return true;
}

void DiscardPopupRecords()
{
    std::lock_guard<std::mutex> lock(PopupList().mu);
    PopupList().pending.clear();
}

int MulDivRound(int value, int num, int den)
{
    long long v = static_cast<long long>(value) * num;
    return static_cast<int>(v >= 0 ? (v + den / 2) / den : -((-v + den / 2) / den));
}

int TextWidthPx(const std::wstring& text, int baseX)
{
    int w = 0;
    for (wchar_t c : text)
        w += c >= 0x1100 ? 2 * baseX : baseX;   // CJK glyphs are full width
    return w;
}

RECT TabItemRectLocked(const Node& tab, int index)
{
    RECT r;
    int x = 2;
    for (int i = 0; i < index && i < static_cast<int>(tab.tabs.size()); ++i)
        x += TextWidthPx(tab.tabs[i], tab.baseX) + 12;
    r.left = x;
    r.top = 2;
    r.right = x + (index < static_cast<int>(tab.tabs.size()) ? TextWidthPx(tab.tabs[index], tab.baseX) + 12 : 0);
    r.bottom = 2 + tab.baseY + 5;
    return r;
}

}  // namespace ui
