#include "platform/ui/test_driver.h"

#include <chrono>
#include <thread>

#include "platform/ui/menus.h"
#include "platform/ui/model.h"

namespace ui::test {

namespace {

// alive, shown (with every parent) and enabled (with every parent)
bool Usable(HWND h)
{
    std::lock_guard<std::mutex> lock(ModelMutex());
    Node* n = FindNodeLocked(h);
    if (!n)
        return false;
    for (; n; n = FindNodeLocked(n->parent))
        if (!n->visible || !n->enabled)
            return false;
    return true;
}

WndKind KindOf(HWND h)
{
    WndKind k = WndKind::Dialog;
    WithNode(h, [&](Node& n) { k = n.kind; });
    return k;
}

bool PostInput(HWND target, UINT message, WPARAM w, LPARAM l, KeyState keys = {},
               std::shared_ptr<std::wstring> payload = nullptr)
{
    QueuedItem item;
    item.msg.hwnd = target;
    item.msg.message = message;
    item.msg.wParam = w;
    item.msg.lParam = payload ? reinterpret_cast<LPARAM>(payload.get()) : l;
    item.keys = keys;
    item.payload = payload;
    item.done = std::make_shared<InputDone>();
    auto done = item.done;
    if (!Post(target, item))
        return false;
    return done->Wait(kDefaultTimeoutMs);
}

HWND FocusOrSelf(HWND dialog)
{
    HWND f = nullptr;
    WithNode(dialog, [&](Node& n) { f = n.focus; });
    return f && IsWindow(f) ? f : dialog;
}

}  // namespace

HWND FindDialog(UINT templateId)
{
    HWND best = nullptr;
    std::lock_guard<std::mutex> lock(ModelMutex());
    for (HWND h : AllWindowsLocked()) {
        Node* n = FindNodeLocked(h);
        if (n->kind == WndKind::Dialog && n->templateId == templateId && n->initDone &&
            reinterpret_cast<uintptr_t>(h) > reinterpret_cast<uintptr_t>(best))
            best = h;
    }
    return best;
}

HWND WaitForDialog(UINT templateId, DWORD timeoutMs)
{
    HWND h = nullptr;
    WaitUntil([&] { return (h = FindDialog(templateId)) != nullptr; }, timeoutMs);
    return h;
}

HWND FindControl(UINT templateId, int controlId) { return Control(FindDialog(templateId), controlId); }

HWND Control(HWND dialog, int controlId) { return ::GetDlgItem(dialog, controlId); }

bool Click(HWND control)
{
    if (!Usable(control) || KindOf(control) != WndKind::Button)
        return false;
    return PostInput(control, WM_LBUTTONUP, 0, 0);
}

bool TypeText(HWND edit, const std::wstring& text)
{
    bool readOnly = true;
    WithNode(edit, [&](Node& n) { readOnly = n.kind != WndKind::Edit || (n.style & ES_READONLY); });
    if (!Usable(edit) || readOnly)
        return false;
    return PostInput(edit, kMsgInputText, 0, 0, {}, std::make_shared<std::wstring>(text));
}

bool SelectComboItem(HWND combo, int index)
{
    if (!Usable(combo) || KindOf(combo) != WndKind::ComboBox || index < 0 ||
        index >= static_cast<int>(Items(combo).size()))
        return false;
    return PostInput(combo, kMsgSelectItem, static_cast<WPARAM>(index), 0);
}

bool SelectTab(HWND tab, int index)
{
    RECT r;
    bool ok = false;
    WithNode(tab, [&](Node& n) {
        if (n.kind != WndKind::TabControl || index < 0 || index >= static_cast<int>(n.tabs.size()))
            return;
        r = TabItemRectLocked(n, index);
        ok = true;
    });
    if (!ok || !Usable(tab))
        return false;
    return PostInput(tab, WM_LBUTTONDOWN, 0, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
}

bool SelectListRow(HWND list, int row)
{
    if (!Usable(list) || KindOf(list) != WndKind::ListView || row < 0 || row >= static_cast<int>(Rows(list).size()))
        return false;
    return PostInput(list, kMsgSelectItem, static_cast<WPARAM>(row), 0);
}

bool PressKey(HWND target, UINT vk, bool altDown, bool shiftDown, bool ctrlDown)
{
    if (!IsWindow(target))
        return false;
    if (KindOf(target) == WndKind::Dialog)
        target = FocusOrSelf(target);
    KeyState keys;
    keys.alt = altDown;
    keys.shift = shiftDown;
    keys.ctrl = ctrlDown;
    return PostInput(target, altDown ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, 0, keys);
}

bool PressEsc(HWND dialog) { return PressKey(dialog, VK_ESCAPE); }
bool PressEnter(HWND dialog) { return PressKey(dialog, VK_RETURN); }
bool PressAltF4(HWND dialog) { return PressKey(dialog, VK_F4, true); }
bool PressTab(HWND dialog, bool back) { return PressKey(dialog, VK_TAB, false, back); }

bool ChooseMenuItem(HWND dialog, UINT itemId)
{
    HMENU menu = nullptr;
    WithNode(dialog, [&](Node& n) { menu = n.menu; });
    MenuTemplate m;
    if (!menu || !MenuOf(menu, &m) || !Usable(dialog))
        return false;
    for (auto& p : m.popups)
        for (auto& i : p.items)
            if (i.id == itemId)
                return PostInput(dialog, WM_COMMAND, MAKEWPARAM(itemId, 0), 0);
    return false;
}

bool PressCloseBox(HWND dialog)
{
    bool box = false;
    WithNode(dialog, [&](Node& n) { box = n.kind == WndKind::Dialog && (n.style & WS_SYSMENU); });
    if (!box)
        return false;
    return PostInput(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool SetFocusTo(HWND control)
{
    if (!IsWindow(control))
        return false;
    SetFocusNode(control);
    return true;
}

std::optional<Popup> WaitForPopup(DWORD timeoutMs)
{
    PopupRecord rec;
    if (!NextPopup(&rec, timeoutMs))
        return std::nullopt;
    Popup p;
    p.hwnd = rec.hwnd;
    p.templateId = rec.templateId;
    p.messageBox = rec.messageBox;
    p.type = rec.type;
    p.caption = rec.caption;
    p.text = rec.text;
    return p;
}

bool ClosePopup(const Popup& popup)
{
    HWND ok = Control(popup.hwnd, IDOK);
    bool sent = ok && Usable(ok) ? Click(ok) : PressCloseBox(popup.hwnd);
    return sent && WaitUntil([&] { return !IsWindow(popup.hwnd); });
}

std::optional<Popup> AnswerPopup(DWORD timeoutMs)
{
    auto p = WaitForPopup(timeoutMs);
    if (p && !ClosePopup(*p))
        return std::nullopt;
    return p;
}

void DiscardPopups() { DiscardPopupRecords(); }

std::wstring Text(HWND hwnd)
{
    std::wstring t;
    WithNode(hwnd, [&](Node& n) { t = n.text; });
    return t;
}

bool IsEnabled(HWND hwnd)
{
    bool e = false;
    WithNode(hwnd, [&](Node& n) { e = n.enabled; });
    return e;
}

bool IsVisible(HWND hwnd) { return ::IsWindowVisible(hwnd) != FALSE; }

bool IsChecked(HWND button)
{
    bool c = false;
    WithNode(button, [&](Node& n) { c = n.checked != 0; });
    return c;
}

int Selection(HWND hwnd)
{
    int s = -1;
    WithNode(hwnd, [&](Node& n) {
        switch (n.kind) {
        case WndKind::ComboBox: s = n.curSel; break;
        case WndKind::TabControl: s = n.tabCur < static_cast<int>(n.tabs.size()) ? n.tabCur : -1; break;
        case WndKind::Edit: s = n.selEnd; break;
        case WndKind::ListView:
            for (int i = 0; i < static_cast<int>(n.rows.size()) && s < 0; ++i)
                if (n.rows[i].state & LVIS_SELECTED)
                    s = i;
            break;
        default: break;
        }
    });
    return s;
}

std::vector<std::wstring> Items(HWND hwnd)
{
    std::vector<std::wstring> out;
    WithNode(hwnd, [&](Node& n) { out = n.kind == WndKind::TabControl ? n.tabs : n.items; });
    return out;
}

std::vector<std::wstring> Columns(HWND list)
{
    std::vector<std::wstring> out;
    WithNode(list, [&](Node& n) {
        for (auto& c : n.columns)
            out.push_back(c.text);
    });
    return out;
}

std::vector<std::vector<std::wstring>> Rows(HWND list)
{
    std::vector<std::vector<std::wstring>> out;
    WithNode(list, [&](Node& n) {
        for (auto& r : n.rows)
            out.push_back(r.texts);
    });
    return out;
}

COLORREF TextColor(HWND control)
{
    COLORREF c = 0;
    WithNode(control, [&](Node& n) { c = n.hasTextColor ? n.textColor : 0; });
    return c;
}

std::vector<std::wstring> MenuItems(HWND dialog)
{
    HMENU menu = nullptr;
    WithNode(dialog, [&](Node& n) { menu = n.menu; });
    MenuTemplate m;
    std::vector<std::wstring> out;
    if (menu && MenuOf(menu, &m))
        for (auto& p : m.popups)
            for (auto& i : p.items)
                out.push_back(std::wstring(p.text) + L"/" + i.text);
    return out;
}

HWND FocusOf(HWND dialog)
{
    HWND f = nullptr;
    WithNode(TopLevelOf(dialog), [&](Node& n) { f = n.focus; });
    return f;
}

DWORD Style(HWND hwnd)
{
    DWORD s = 0;
    WithNode(hwnd, [&](Node& n) { s = n.style; });
    return s;
}

RECT RectInDialogUnits(HWND hwnd)
{
    RECT r;
    WithNode(hwnd, [&](Node& n) { r = n.duRect; });
    return r;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool WaitIdle(HWND hwnd, DWORD timeoutMs)
{
    QueuedItem item;
    item.msg.hwnd = hwnd;
    item.msg.message = kMsgNoop;
    item.done = std::make_shared<InputDone>();
    auto done = item.done;
    return Post(hwnd, item) && done->Wait(timeoutMs);
}

}  // namespace ui::test
