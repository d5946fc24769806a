#pragma once
// The window model behind CWnd: nodes, per-thread message queues and the
// narrow interface to the back ends. Internal to platform/ui.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/afx.h"

namespace ui {

enum class WndKind { Dialog, Button, Edit, Static, ComboBox, ListView, TabControl };

// framework input messages (between WM_APP and 0xBFFF, away from the tools' ids)
constexpr UINT kMsgSelectItem = 0xBF01;   // combo item or list row (wParam)
constexpr UINT kMsgInputText = 0xBF02;    // lParam: const std::wstring*
constexpr UINT kMsgNoop = 0xBF03;         // marks a point in the queue
// the information icon of a message box is a static with this style
constexpr DWORD kStyleInfoIcon = 0x0003;
constexpr int kMessageBoxTextId = 0xFFFF;

struct ListColumn {
    std::wstring text;
    int format = LVCFMT_LEFT;
    int width = 0;
};
struct ListRow {
    std::vector<std::wstring> texts;
    UINT state = 0;
};

struct ThreadQueue;

struct Node {
    HWND hwnd = nullptr;
    WndKind kind = WndKind::Static;
    int id = 0;
    DWORD style = 0;
    std::wstring text;
    bool enabled = true;
    bool visible = false;
    int checked = 0;
    RECT rect;      // pixels, relative to the parent's client area (top level: screen)
    RECT duRect;    // dialog units as in the template
    HWND parent = nullptr;
    HWND owner = nullptr;
    std::vector<HWND> children;
    std::shared_ptr<ThreadQueue> queue;
    CWnd* wrapper = nullptr;                 // bound object (DDX_Control, the dialog)
    std::unique_ptr<CWnd> ownWrapper;        // framework view when none is bound
    COLORREF textColor = 0;
    bool hasTextColor = false;
    // dialog
    UINT templateId = 0;
    HMENU menu = nullptr;
    int baseX = 6, baseY = 13;
    std::wstring font;
    int pointSize = 8;
    HWND focus = nullptr;
    bool modal = false;
    bool initDone = false;
    bool endModal = false;
    INT_PTR modalResult = 0;
    bool messageBox = false;
    UINT mbType = 0;
    // edit
    int selStart = 0, selEnd = 0;
    wchar_t passwordChar = 0;
    UINT limitText = 0;
    // combo
    std::vector<std::wstring> items;
    int curSel = -1;
    // list view
    DWORD exStyle = 0;
    std::vector<ListColumn> columns;
    std::vector<ListRow> rows;
    int selectionMark = -1;
    // tab control
    std::vector<std::wstring> tabs;
    int tabCur = -1, tabFocus = -1;
};

// What changed, for the back end.
enum Change : unsigned {
    kChangeText = 1, kChangeState = 2, kChangeGeometry = 4, kChangeItems = 8, kChangeMenu = 16, kChangeAll = 31
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* Name() const = 0;
    // dialog base units of a font (pixels per 4 horizontal / 8 vertical units)
    virtual void BaseUnits(const std::wstring& font, int pointSize, int* x, int* y) = 0;
    virtual int TextWidth(const std::wstring& text, int baseX) { return static_cast<int>(text.size()) * baseX; }
    virtual void Created(HWND) {}
    virtual void Changed(HWND, unsigned) {}
    virtual void Destroyed(HWND) {}
    // the calling thread waits for its queue; lock holds the queue's mutex
    virtual void Wait(ThreadQueue& q, std::unique_lock<std::mutex>& lock);
    // the queue of the calling thread was created
    virtual void QueueCreated(ThreadQueue&) {}
    // A thread blocked outside a message loop (joining another) keeps the
    // windows of the back end going for up to ms; false when this thread runs
    // none, and then nothing was done.
    virtual bool PumpWhileBlocked(DWORD) { return false; }
};
Backend& CurrentBackend();
void SetBackend(std::unique_ptr<Backend> backend);
std::unique_ptr<Backend> MakeHeadlessBackend();
std::unique_ptr<Backend> MakeFltkBackend();   // null when no display can be opened

// Signalled when a queued input has been handled or its thread went idle in
// a nested modal loop.
struct InputDone {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    void Signal();
    bool Wait(DWORD timeoutMs);
};

struct SendSlot {
    bool finished = false;
    LRESULT result = 0;
    std::shared_ptr<ThreadQueue> sender;
};

struct KeyState {
    bool alt = false;
    bool shift = false;
    bool ctrl = false;
};

struct QueuedItem {
    MSG msg;
    KeyState keys;
    std::shared_ptr<SendSlot> sent;        // SendMessage from another thread
    std::shared_ptr<InputDone> done;
    std::shared_ptr<std::wstring> payload;
};

struct ThreadQueue {
    std::mutex mu;
    std::condition_variable cv;
    std::deque<QueuedItem> posted;
    std::deque<QueuedItem> sent;
    std::vector<std::shared_ptr<InputDone>> inProgress;
    std::thread::id thread;
    bool alive = true;
    int loops = 0;                         // modal loops running on the thread
    std::function<void()> wake;            // back end wake-up of a waiting thread
    void Notify();
};

// queue of the calling thread (made on first use)
std::shared_ptr<ThreadQueue> CurrentQueue();

// ---- model access --------------------------------------------------------
std::mutex& ModelMutex();
Node* FindNodeLocked(HWND hwnd);   // ModelMutex held
std::shared_ptr<Node> FindNode(HWND hwnd);

// runs f on the node under the model lock; false when the window is gone
template <class F> bool WithNode(HWND hwnd, F&& f)
{
    std::lock_guard<std::mutex> lock(ModelMutex());
    Node* n = FindNodeLocked(hwnd);
    if (!n)
        return false;
    f(*n);
    return true;
}
// like WithNode, then tells the back end about the change
template <class F> bool ChangeNode(HWND hwnd, unsigned what, F&& f)
{
    if (!WithNode(hwnd, std::forward<F>(f)))
        return false;
    CurrentBackend().Changed(hwnd, what);
    return true;
}

HWND CreateNode(WndKind kind, HWND parent, const std::function<void(Node&)>& init);
void DestroyNodeTree(HWND hwnd);   // WM_DESTROY to each, then removes them
std::vector<HWND> Children(HWND hwnd);
HWND TopLevelOf(HWND hwnd);
std::vector<HWND> AllWindows();
std::vector<HWND> AllWindowsLocked();   // ModelMutex held
// A modal dialog or message box owned by top is up: top takes no input then.
bool HasShownOwnedPopup(HWND top);
CWnd* WrapperOf(HWND hwnd);
bool BindWrapper(HWND hwnd, CWnd* wnd);
void UnbindWrapper(HWND hwnd, CWnd* wnd);

// ---- messages ------------------------------------------------------------
LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool Post(HWND hwnd, const QueuedItem& item);
// direct call on the window's own thread, with the current message set
LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
SHORT KeyStateOf(int vk);
LRESULT DefaultProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// the message loop of a modal dialog on the calling thread
void RunModalLoop(HWND dialog);
// handles the messages sent to the calling thread's windows
void HandleSentMessages();
const MSG* CurrentMessage();
void NotifyParent(HWND control, UINT code);
void NotifyParentNmhdr(HWND control, NMHDR* hdr);
void UpdateTextColors(HWND dialog);
void UpdateThreadTextColors();   // every dialog of the calling thread
HWND SetFocusNode(HWND hwnd);     // previous focus of its dialog
std::vector<HWND> RadioGroupOf(HWND h);   // its auto radio group, in creation order
int ShowMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
struct MenuPopup;

bool Exiting();
void SetExiting();
// The innermost modal loop running now, on any thread (nullptr when none):
// the one a close signal closes first.
HWND InnermostModalWindow();

// ---- popups the test driver waits for ------------------------------------
void RegisterPopup(HWND hwnd);
struct PopupRecord {
    HWND hwnd = nullptr;
    UINT templateId = 0;
    bool messageBox = false;
    UINT type = 0;
    std::wstring caption;
    std::wstring text;   // the visible static texts, joined with "\n"
};
bool NextPopup(PopupRecord* out, DWORD timeoutMs);
void DiscardPopupRecords();

// tab item rectangles of a tab control node (ModelMutex held)
RECT TabItemRectLocked(const Node& tab, int index);
int TextWidthPx(const std::wstring& text, int baseX);
int MulDivRound(int value, int num, int den);

}  // namespace ui
