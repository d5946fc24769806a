// Real windows on X11. The model stays the state; every change from any
// thread marks its top-level window dirty and one Fl::awake callback on the
// FLTK thread brings the widgets in line. Widgets of a dialog and of its pages
// are all direct children of the top-level window, placed at their absolute
// positions, so pages need no nested groups.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Secret_Input.H>
#include <FL/Fl_Table_Row.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <cstdlib>
#include <map>
#include <set>
#include <string_view>

#include "platform/ui/menus.h"
#include "platform/ui/model.h"
#include "platform/ui/text_wrap.h"

namespace ui {
namespace {

constexpr int kMenuBarHeight = 24;

struct Snapshot {
    Node node;   // the fields the drawing needs (no views, no queue)
    int absX = 0, absY = 0;
    // the part its parents let show: a child window clips its controls, as
    // the tab sheet's pages clip theirs to the tab's client area
    int clipRight = 1 << 20, clipBottom = 1 << 20;
    bool shown = false;
};

Fl_Color ToFl(COLORREF c) { return fl_rgb_color(GetRValue(c), GetGValue(c), GetBValue(c)); }

// Inputs posted from a widget and not yet handled, by control: until its
// input is handled the model has not taken it in, so a refresh in between must
// leave the widget as the user set it. The token dies with the queued input.
std::map<HWND, std::weak_ptr<std::wstring>>& PendingInputs()
{
    static std::map<HWND, std::weak_ptr<std::wstring>> pending;   // FLTK thread only
    return pending;
}

bool InputPending(HWND h)
{
    auto& pending = PendingInputs();
    auto it = pending.find(h);
    if (it == pending.end())
        return false;
    if (!it->second.expired())
        return true;
    pending.erase(it);
    return false;
}

// Marks a control's window for a pass (the back end's, once it exists).
std::function<void(HWND)>& ResyncControl()
{
    static std::function<void(HWND)> resync;
    return resync;
}

void PostInputTo(HWND h, UINT message, WPARAM w, LPARAM l, std::wstring* text = nullptr)
{
    std::shared_ptr<std::wstring> payload;
    if (message == kMsgSelectItem || message == kMsgInputText) {
        // handled (or dropped) on the dialog's thread, maybe after a pass has
        // skipped the control: one more pass then shows what the model made of it
        payload = std::shared_ptr<std::wstring>(text ? text : new std::wstring(), [h](std::wstring* p) {
            delete p;
            if (ResyncControl())
                ResyncControl()(h);
        });
        PendingInputs()[h] = payload;
    }
    QueuedItem item;
    item.msg.hwnd = h;
    item.msg.message = message;
    item.msg.wParam = w;
    item.msg.lParam = payload ? reinterpret_cast<LPARAM>(payload.get()) : l;
    item.payload = payload;
    item.keys.alt = (Fl::event_state() & FL_ALT) != 0;
    item.keys.shift = (Fl::event_state() & FL_SHIFT) != 0;
    item.keys.ctrl = (Fl::event_state() & FL_CTRL) != 0;
    Post(h, item);
}

HWND HwndOf(Fl_Widget* w) { return static_cast<HWND>(w->user_data()); }

class GroupFrame : public Fl_Box {
public:
    using Fl_Box::Fl_Box;
    void draw() override
    {
        int ty = y() + labelsize() / 2;
        fl_draw_box(FL_ENGRAVED_FRAME, x(), ty, w(), h() - (ty - y()), color());
        if (!label() || !*label())
            return;   // no caption, no gap in the frame
        fl_font(labelfont(), labelsize());
        int tw = static_cast<int>(fl_width(label())) + 6;
        fl_color(parent() ? parent()->color() : FL_BACKGROUND_COLOR);
        fl_rectf(x() + 6, y(), tw, labelsize() + 2);
        fl_color(labelcolor());
        fl_draw(label(), x() + 9, y() + labelsize());
    }
};

class InfoIcon : public Fl_Box {
public:
    using Fl_Box::Fl_Box;
    void draw() override
    {
        int d = std::min(w(), h());
        fl_color(fl_rgb_color(0x1E, 0x64, 0xC8));
        fl_pie(x(), y(), d, d, 0, 360);
        fl_color(FL_WHITE);
        fl_font(FL_TIMES_BOLD, d * 2 / 3);
        fl_draw("i", x(), y(), d, d, FL_ALIGN_CENTER);
    }
};

// A static text broken into lines by BreakLines: FLTK's own wrapping breaks
// only at blanks (Japanese has none) and draws a carriage return as a glyph.
class WrapText : public Fl_Box {
public:
    using Fl_Box::Fl_Box;
    DWORD align = SS_LEFT;
    void draw() override
    {
        const char* text = label();
        if (!text || !*text)
            return;
        fl_font(labelfont(), labelsize());
        fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
        const int lineHeight = fl_height();
        int top = y();
        auto measure = [](std::string_view s) { return fl_width(s.data(), static_cast<int>(s.size())); };
        for (std::string_view line : BreakLines(text, w(), measure)) {
            if (top + lineHeight > y() + h() + lineHeight / 2)
                break;
            int n = static_cast<int>(line.size());
            int left = x();
            if (align == SS_RIGHT)
                left = x() + w() - static_cast<int>(fl_width(line.data(), n));
            else if (align == SS_CENTER)
                left = x() + (w() - static_cast<int>(fl_width(line.data(), n))) / 2;
            fl_draw(line.data(), n, left, top + fl_height() - fl_descent());
            top += lineHeight;
        }
    }
};

// Every combo box: the model takes no typed text into one, so a drop-down
// combo is a list too; its list opens as wide as the field, in the field's
// font. A text that is none of the items (a drop-down's own) is drawn as is.
class DropList : public Fl_Choice {
public:
    using Fl_Choice::Fl_Choice;
    std::string ownText;
    std::vector<std::wstring> loaded;   // the items the menu was built from
    void draw() override
    {
        Fl_Choice::draw();
        if (mvalue() || ownText.empty())
            return;
        int dx = Fl::box_dx(box()), dy = Fl::box_dy(box());
        int W = h() > 20 ? 20 : h();   // the arrow's part, as Fl_Choice draws it
        fl_font(textfont(), textsize());
        fl_color(active_r() ? textcolor() : fl_inactive(textcolor()));
        fl_push_clip(x() + dx, y() + dy, w() - W - 2 * dx, h() - 2 * dy);
        fl_draw(ownText.c_str(), x() + dx + 3, y() + dy, w() - W - 2 * dx - 6, h() - 2 * dy, FL_ALIGN_LEFT);
        fl_pop_clip();
    }
};

// An edit; a read-only one takes neither the focus nor a click, so it shows
// no caret.
template <class Base>
class Field : public Base {
public:
    using Base::Base;
    int handle(int event) override
    {
        if (this->readonly() && (event == FL_FOCUS || event == FL_PUSH))
            return 0;
        // the page keys belong to the dialog
        if (event == FL_KEYBOARD && (Fl::event_state() & FL_CTRL) &&
            (Fl::event_key() == FL_Tab || Fl::event_key() == FL_Page_Up || Fl::event_key() == FL_Page_Down))
            return 0;
        return Base::handle(event);
    }
};

// A control FLTK gives no keyboard focus (the tab strip, a list) shows the
// dialog's focus as a dotted frame.
void DrawFocusFrame(int x, int y, int w, int h)
{
    fl_color(FL_BLACK);
    fl_line_style(FL_DOT);
    fl_rect(x, y, w, h);
    fl_line_style(0);
}

class TabStrip : public Fl_Box {
public:
    using Fl_Box::Fl_Box;
    Node snap;
    bool focused = false;
    void draw() override
    {
        RECT first = TabItemRectLocked(snap, 0);
        int top = y() + first.bottom;
        fl_draw_box(FL_UP_BOX, x(), top, w(), h() - first.bottom, FL_BACKGROUND_COLOR);
        fl_font(labelfont(), labelsize());
        for (int i = 0; i < static_cast<int>(snap.tabs.size()); ++i) {
            RECT r = TabItemRectLocked(snap, i);
            bool cur = i == snap.tabCur;
            // grey on plain ground while the strip takes no click, as any disabled control
            const bool active = active_r() != 0;
            fl_draw_box(cur ? FL_UP_BOX : FL_THIN_UP_BOX, x() + r.left, y() + r.top - (cur ? 2 : 0), r.right - r.left,
                        r.bottom - r.top + (cur ? 3 : 0),
                        cur || !active ? FL_BACKGROUND_COLOR : fl_darker(FL_BACKGROUND_COLOR));
            fl_color(active ? FL_BLACK : fl_inactive(FL_BLACK));
            fl_draw(WideToUtf8(snap.tabs[i]).c_str(), x() + r.left, y() + r.top, r.right - r.left, r.bottom - r.top,
                    FL_ALIGN_CENTER);
            if (cur && focused)
                DrawFocusFrame(x() + r.left + 2, y() + r.top, r.right - r.left - 4, r.bottom - r.top - 2);
        }
    }
    int handle(int event) override
    {
        if (event == FL_PUSH) {
            PostInputTo(HwndOf(this), WM_LBUTTONDOWN, 0, MAKELPARAM(Fl::event_x() - x(), Fl::event_y() - y()));
            return 1;
        }
        return Fl_Box::handle(event);
    }
};

class ListTable : public Fl_Table_Row {
public:
    ListTable(int x, int y, int w, int h) : Fl_Table_Row(x, y, w, h) { end(); }
    Node snap;
    bool focused = false;
    void draw() override
    {
        Fl_Table_Row::draw();
        if (focused)
            DrawFocusFrame(x() + 1, y() + 1, w() - 2, h() - 2);
    }
    void Load(const Node& n)
    {
        snap.columns = n.columns;
        snap.rows = n.rows;
        snap.exStyle = n.exStyle;
        cols(static_cast<int>(snap.columns.size()));
        rows(static_cast<int>(snap.rows.size()));
        col_header(1);
        col_header_height(labelsize() + 8);
        row_height_all(labelsize() + 6);
        for (int c = 0; c < static_cast<int>(snap.columns.size()); ++c)
            col_width(c, std::max(10, snap.columns[c].width));
        for (int r = 0; r < static_cast<int>(snap.rows.size()); ++r)
            select_row(r, (snap.rows[r].state & LVIS_SELECTED) ? 1 : 0);
        redraw();
    }
    void draw_cell(TableContext context, int r, int c, int x, int y, int w, int h) override
    {
        auto align = [&](int col) {
            int f = col < static_cast<int>(snap.columns.size()) ? snap.columns[col].format : 0;
            return f == LVCFMT_CENTER ? FL_ALIGN_CENTER : f == LVCFMT_RIGHT ? FL_ALIGN_RIGHT : FL_ALIGN_LEFT;
        };
        fl_font(labelfont(), labelsize());
        if (context == CONTEXT_COL_HEADER) {
            fl_draw_box(FL_THIN_UP_BOX, x, y, w, h, FL_BACKGROUND_COLOR);
            fl_color(FL_BLACK);
            fl_draw(WideToUtf8(snap.columns[c].text).c_str(), x + 3, y, w - 6, h, align(c));
        } else if (context == CONTEXT_CELL) {
            bool sel = row_selected(r);
            fl_color(sel ? FL_SELECTION_COLOR : FL_WHITE);
            fl_rectf(x, y, w, h);
            fl_color(sel ? FL_WHITE : FL_BLACK);
            const auto& texts = snap.rows[r].texts;
            if (c < static_cast<int>(texts.size()))
                fl_draw(WideToUtf8(texts[c]).c_str(), x + 3, y, w - 6, h, align(c));
            if (snap.exStyle & LVS_EX_GRIDLINES) {
                fl_color(FL_LIGHT2);
                fl_rect(x, y, w + 1, h + 1);
            }
        }
    }
};

class TopWindow : public Fl_Double_Window {
public:
    TopWindow(int w, int h) : Fl_Double_Window(w, h) {}
    HWND hwnd = nullptr;
    // Where a key goes: the control with the keyboard focus, which the dialog
    // then counts as focused too (a click into an edit moves only that one);
    // else the dialog's focus, else the dialog.
    HWND KeyboardTarget()
    {
        if (Fl_Widget* f = Fl::focus(); f && f != this && f->window() == this && f->user_data()) {
            SetFocusNode(HwndOf(f));
            return HwndOf(f);
        }
        HWND target = hwnd;
        WithNode(hwnd, [&](Node& n) {
            if (n.focus)
                target = n.focus;
        });
        return target;
    }
    // The dialog keys (Enter, Esc, Tab and Shift+Tab, Alt+F4) go to the
    // dialog's filters and keys, not to FLTK's own handling.
    bool DialogKey()
    {
        int k = Fl::event_key();
        if (k == FL_Enter || k == FL_KP_Enter || k == FL_Escape || k == FL_Tab) {
            PostInputTo(KeyboardTarget(), WM_KEYDOWN, k == FL_Escape ? VK_ESCAPE : k == FL_Tab ? VK_TAB : VK_RETURN, 0);
            return true;
        }
        if (k == FL_F + 4 && (Fl::event_state() & FL_ALT)) {
            PostInputTo(KeyboardTarget(), WM_SYSKEYDOWN, VK_F4, 0);
            return true;
        }
        // arrows a control left unused (a radio group, the tab strip) and the
        // page keys: the dialog's, never FLTK's own focus moves
        static const std::map<int, WPARAM> kKeys = {{FL_Left, VK_LEFT},       {FL_Right, VK_RIGHT},
                                                    {FL_Up, VK_UP},           {FL_Down, VK_DOWN},
                                                    {FL_Page_Up, VK_PRIOR},   {FL_Page_Down, VK_NEXT}};
        if (auto it = kKeys.find(k); it != kKeys.end()) {
            PostInputTo(KeyboardTarget(), WM_KEYDOWN, it->second, 0);
            return true;
        }
        return false;
    }
    int handle(int event) override
    {
        if (event == FL_FOCUS) {
            // the dialog's focus, not FLTK's first child; one FLTK cannot
            // focus leaves the keys with the window
            HWND f = nullptr;
            WithNode(hwnd, [&](Node& n) { f = n.focus; });
            for (int i = 0; f && i < children(); ++i)
                if (child(i)->user_data() == f && child(i)->take_focus())
                    return 1;
            return 1;
        }
        bool key = event == FL_KEYBOARD || event == FL_SHORTCUT;
        bool mouse = event == FL_PUSH || event == FL_RELEASE || event == FL_DRAG || event == FL_MOUSEWHEEL;
        // FLTK hands a key to the window of its focus widget; it belongs to the
        // window the X server sent it to (a box that came up over this one)
        TopWindow* to = this;
        if (key && fl_xevent && fl_xevent->type == KeyPress)
            if (auto* w = dynamic_cast<TopWindow*>(fl_find(fl_xevent->xany.window)))
                to = w;
        // the owner of an open box or modal dialog takes no input, as a
        // disabled window takes none
        if ((key || mouse) && HasShownOwnedPopup(to->hwnd))
            return 1;
        if (!key)
            return Fl_Double_Window::handle(event);
        return to->DialogKey() ? 1 : Fl_Double_Window::handle(event);
    }
};

class FltkBackend : public Backend {
public:
    explicit FltkBackend(Display* display)
    {
        thread_ = std::this_thread::get_id();
        Fl::lock();
        Fl::set_font(FL_HELVETICA, " Noto Sans CJK JP");
        Fl::set_font(FL_HELVETICA_BOLD, "BNoto Sans CJK JP");
        fl_open_display(display);
        // each size is a font to load (about 5 ms): only those the dialogs
        // use, and the message box's
        std::vector<int> sizes = TemplatePointSizes();
        sizes.push_back(8);
        for (int pt : sizes)
            MeasureUnits(std::clamp(pt, 6, 14));
        Fl::visual(FL_DOUBLE | FL_INDEX);
        log_ = std::getenv("SETWELL_UI_MAPPED_LOG");
        ResyncControl() = [this](HWND h) { MarkDirty(h); };
    }
    ~FltkBackend() override { ResyncControl() = nullptr; }
    const char* Name() const override { return "fltk"; }
    static int FontSize(int pt) { return (pt > 0 ? pt : 8) * 96 / 72 + 1; }

    void BaseUnits(const std::wstring&, int pointSize, int* x, int* y) override
    {
        const int pt = std::clamp(pointSize, 6, 14);
        std::pair<int, int> units;
        {
            std::lock_guard<std::mutex> lock(mu_);
            auto it = units_.find(pt);
            if (it != units_.end())
                units = it->second;
            else if (std::this_thread::get_id() != thread_) {
                // fonts are the FLTK thread's; a size no template named is scaled
                const auto& near = *units_.lower_bound(8);
                units = {(near.second.first * pt + near.first / 2) / near.first,
                         (near.second.second * pt + near.first / 2) / near.first};
            }
        }
        if (!units.first)
            units = MeasureUnits(pt);
        *x = units.first;
        *y = units.second;
    }
    void Created(HWND h) override { MarkDirty(h); }
    void Changed(HWND h, unsigned) override { MarkDirty(h); }
    void Destroyed(HWND h) override
    {
        {
            std::lock_guard<std::mutex> lock(mu_);
            gone_.insert(h);
        }
        Schedule();
    }
    void QueueCreated(ThreadQueue& q) override
    {
        if (q.thread == thread_)
            q.wake = [] { Fl::awake(); };
    }
    bool PumpWhileBlocked(DWORD ms) override
    {
        // a box a worker shows while this thread joins it must still be drawn and answered
        if (std::this_thread::get_id() != thread_)
            return false;
        Fl::wait(ms / 1000.0);
        return true;
    }
    void Wait(ThreadQueue& q, std::unique_lock<std::mutex>& lock) override
    {
        if (std::this_thread::get_id() != thread_) {
            Backend::Wait(q, lock);
            return;
        }
        lock.unlock();
        Fl::wait(0.05);
        lock.lock();
    }

private:
    std::pair<int, int> MeasureUnits(int pt)
    {
        fl_font(FL_HELVETICA, FontSize(pt));
        const char* sample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        std::pair<int, int> units{static_cast<int>((fl_width(sample) / 26 + 1) / 2), fl_height()};
        std::lock_guard<std::mutex> lock(mu_);
        units_[pt] = units;
        return units;
    }

    void MarkDirty(HWND h)
    {
        HWND top = TopLevelOf(h);
        if (!top)
            return;
        {
            std::lock_guard<std::mutex> lock(mu_);
            dirty_.insert(top);
        }
        Schedule();
    }
    void Schedule()
    {
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (scheduled_)
                return;
            scheduled_ = true;
        }
        while (Fl::awake(&FltkBackend::SyncCallback, this) != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));   // queue full: retry
    }
    static void SyncCallback(void* self) { static_cast<FltkBackend*>(self)->Sync(); }

    void Sync()
    {
        // an open menu (a list or the menu bar) holds the grab and runs its own
        // loop over its items: nothing changes under it; the pass comes once it closes
        if (Fl::grab()) {
            Fl::add_timeout(0.05, &FltkBackend::SyncCallback, this);
            return;
        }
        std::set<HWND> dirty, gone;
        {
            std::lock_guard<std::mutex> lock(mu_);
            dirty.swap(dirty_);
            gone.swap(gone_);
            scheduled_ = false;
        }
        for (HWND h : gone) {
            auto it = widgets_.find(h);
            if (it == widgets_.end())
                continue;
            Fl_Widget* w = it->second;
            widgets_.erase(it);
            if (auto* win = dynamic_cast<TopWindow*>(w)) {
                // its controls go with it; their own removal may come in a later pass
                for (auto c = widgets_.begin(); c != widgets_.end();)
                    c = c->second->window() == win ? widgets_.erase(c) : std::next(c);
                win->hide();
                Fl::delete_widget(win);
                menus_.erase(h);
                lastFocus_.erase(h);
            } else {
                if (w->parent())
                    w->parent()->remove(w);
                Fl::delete_widget(w);
            }
        }
        for (HWND top : dirty)
            if (!gone.count(top))
                SyncTop(top);
    }

    std::vector<Snapshot> TakeSnapshot(HWND top)
    {
        std::vector<Snapshot> out;
        std::lock_guard<std::mutex> lock(ModelMutex());
        std::function<void(HWND, int, int, bool, int, int)> walk = [&](HWND h, int ox, int oy, bool shown, int clipR,
                                                                       int clipB) {
            Node* n = FindNodeLocked(h);
            if (!n)
                return;
            Snapshot s;
            s.node.kind = n->kind;
            s.node.hwnd = n->hwnd;
            s.node.id = n->id;
            s.node.style = n->style;
            s.node.text = n->text;
            s.node.enabled = n->enabled;
            s.node.visible = n->visible;
            s.node.checked = n->checked;
            s.node.rect = n->rect;
            s.node.menu = n->menu;
            s.node.pointSize = n->pointSize;
            s.node.baseX = n->baseX;
            s.node.baseY = n->baseY;
            s.node.passwordChar = n->passwordChar;
            s.node.items = n->items;
            s.node.curSel = n->curSel;
            s.node.exStyle = n->exStyle;
            s.node.columns = n->columns;
            s.node.rows = n->rows;
            s.node.tabs = n->tabs;
            s.node.tabCur = n->tabCur;
            s.node.textColor = n->textColor;
            s.node.focus = n->focus;
            s.node.owner = n->owner;
            s.node.messageBox = n->messageBox;
            s.node.hasTextColor = n->hasTextColor;
            bool isTop = h == top;
            s.absX = isTop ? 0 : ox + n->rect.left;
            s.absY = isTop ? 0 : oy + n->rect.top;
            s.shown = shown && n->visible;
            s.clipRight = clipR;
            s.clipBottom = clipB;
            int ax = s.absX, ay = s.absY;
            bool childShown = isTop ? true : s.shown;
            if (!isTop && n->kind == WndKind::Dialog) {
                clipR = std::min(clipR, ax + n->rect.right - n->rect.left);
                clipB = std::min(clipB, ay + n->rect.bottom - n->rect.top);
            }
            out.push_back(std::move(s));
            for (HWND c : n->children)
                walk(c, ax, ay, childShown, clipR, clipB);
        };
        walk(top, 0, 0, true, 1 << 20, 1 << 20);
        return out;
    }

    void SyncTop(HWND top)
    {
        std::vector<Snapshot> snaps = TakeSnapshot(top);
        if (snaps.empty())
            return;
        const Node& t = snaps[0].node;
        int size = FontSize(t.pointSize);
        MenuTemplate menu;
        bool hasMenu = t.menu && MenuOf(t.menu, &menu);
        int menuH = hasMenu ? kMenuBarHeight : 0;
        auto* win = static_cast<TopWindow*>(widgets_.count(top) ? widgets_[top] : nullptr);
        int cw = t.rect.right - t.rect.left, ch = t.rect.bottom - t.rect.top;
        if (!win) {
            win = new TopWindow(cw, ch + menuH);
            win->end();
            win->hwnd = top;
            win->user_data(top);
            win->callback([](Fl_Widget* w, void*) {
                // the close box (Esc reaches the window's handle first)
                HWND h = static_cast<TopWindow*>(w)->hwnd;
                if (!HasShownOwnedPopup(h))
                    PostInputTo(h, WM_SYSCOMMAND, SC_CLOSE, 0);
            });
            widgets_[top] = win;
        }
        captions_[top] = WideToUtf8(t.text);
        win->label(captions_[top].c_str());
        if (win->w() != cw || win->h() != ch + menuH)
            win->size(cw, ch + menuH);
        SyncMenu(win, top, hasMenu ? &menu : nullptr, size);
        focus_ = snaps[0].node.focus;
        for (size_t i = 1; i < snaps.size(); ++i)
            SyncWidget(win, snaps[i], menuH, size);
        if (snaps[0].node.visible && !win->shown()) {
            PlaceOverOwner(win, t);
            win->show();
            ReportMapped(win, top, snaps);
        } else if (!snaps[0].node.visible && win->shown()) {
            win->hide();
        }
        // only a focus the dialog moved; a click inside FLTK has moved it already
        HWND focus = snaps[0].node.focus;
        if (focus != lastFocus_[top]) {
            lastFocus_[top] = focus;
            auto it = widgets_.find(focus);
            // one that takes no keyboard focus (a read-only field) leaves
            // the keys to the dialog, which sends them to its focus
            if (it != widgets_.end() && win->shown() && !it->second->take_focus())
                Fl::focus(win);
        }
        win->redraw();
    }

    // A message box or prompt opens centred over the window it belongs to
    // (with no window manager X would put it at the screen's top left).
    void PlaceOverOwner(TopWindow* win, const Node& t)
    {
        if (!t.owner)
            return;
        auto it = widgets_.find(TopLevelOf(t.owner));
        auto* owner = it == widgets_.end() ? nullptr : dynamic_cast<TopWindow*>(it->second);
        if (!owner || !owner->shown())
            return;
        int x = owner->x() + (owner->w() - win->w()) / 2, y = owner->y() + (owner->h() - win->h()) / 2;
        win->position(std::max(0, x), std::max(0, y));
    }

    void SyncMenu(TopWindow* win, HWND top, const MenuTemplate* menu, int size)
    {
        Fl_Menu_Bar*& bar = menus_[top];
        if (!menu) {
            if (bar) {
                win->remove(bar);
                Fl::delete_widget(bar);
                bar = nullptr;
            }
            return;
        }
        if (!bar) {
            bar = new Fl_Menu_Bar(0, 0, win->w(), kMenuBarHeight);
            bar->textfont(FL_HELVETICA);
            bar->textsize(size);
            bar->user_data(top);
            win->add(bar);
        }
        bar->clear();
        for (const auto& p : menu->popups) {
            std::string title = WideToUtf8(p.text);
            for (const auto& item : p.items) {
                std::string path = title + "/" + WideToUtf8(item.text);
                // the item's argument and its callback data are one field: the id
                bar->add(path.c_str(), 0,
                         [](Fl_Widget* w, void* id) {
                             PostInputTo(static_cast<HWND>(w->user_data()), WM_COMMAND,
                                         MAKEWPARAM(static_cast<UINT>(reinterpret_cast<uintptr_t>(id)), 0), 0);
                         },
                         reinterpret_cast<void*>(static_cast<uintptr_t>(item.id)));
            }
        }
    }

    Fl_Widget* MakeWidget(const Node& n, int x, int y, int w, int h)
    {
        DWORD type = n.style & BS_TYPEMASK;
        switch (n.kind) {
        case WndKind::Dialog: {
            auto* b = new Fl_Box(FL_FLAT_BOX, x, y, w, h, nullptr);
            return b;
        }
        case WndKind::Static:
            if ((n.style & 0xF) == kStyleInfoIcon)
                return new InfoIcon(x, y, w, h);
            return new WrapText(x, y, w, h);
        case WndKind::Button: {
            Fl_Widget* b;
            if (type == BS_GROUPBOX)
                return new GroupFrame(x, y, w, h);
            if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX)
                b = new Fl_Check_Button(x, y, w, h);
            else if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON)
                b = new Fl_Round_Button(x, y, w, h);
            else
                b = new Fl_Button(x, y, w, h);
            b->callback([](Fl_Widget* wd, void*) { PostInputTo(HwndOf(wd), WM_LBUTTONUP, 0, 0); });
            return b;
        }
        case WndKind::Edit: {
            Fl_Input* in = n.passwordChar ? static_cast<Fl_Input*>(new Field<Fl_Secret_Input>(x, y, w, h))
                                          : new Field<Fl_Input>(x, y, w, h);
            in->when(FL_WHEN_CHANGED);
            in->callback([](Fl_Widget* wd, void*) {
                PostInputTo(HwndOf(wd), kMsgInputText, 0, 0,
                            new std::wstring(Utf8ToWide(static_cast<Fl_Input*>(wd)->value())));
            });
            return in;
        }
        case WndKind::ComboBox: {
            int ch = std::min(h, n.baseY + 9);
            auto* c = new DropList(x, y, w, ch);
            c->callback([](Fl_Widget* wd, void*) {
                PostInputTo(HwndOf(wd), kMsgSelectItem, static_cast<Fl_Choice*>(wd)->value(), 0);
            });
            return c;
        }
        case WndKind::ListView: {
            auto* t = new ListTable(x, y, w, h);
            t->type(Fl_Table_Row::SELECT_SINGLE);
            t->when(FL_WHEN_RELEASE);
            t->callback([](Fl_Widget* wd, void*) {
                auto* tb = static_cast<ListTable*>(wd);
                if (tb->callback_context() == Fl_Table::CONTEXT_CELL)
                    PostInputTo(HwndOf(wd), kMsgSelectItem, tb->callback_row(), 0);
            });
            return t;
        }
        case WndKind::TabControl: return new TabStrip(x, y, w, h);
        }
        return new Fl_Box(x, y, w, h);
    }

    void SyncWidget(TopWindow* win, const Snapshot& s, int menuH, int size)
    {
        const Node& n = s.node;
        int x = s.absX, y = s.absY + menuH;
        int w = std::max(0, std::min(n.rect.right - n.rect.left, s.clipRight - s.absX));
        int h = std::max(0, std::min(n.rect.bottom - n.rect.top, s.clipBottom - s.absY));
        Fl_Widget*& wd = widgets_[n.hwnd];
        if (!wd) {
            wd = MakeWidget(n, x, y, w, h);
            wd->user_data(n.hwnd);
            wd->labelfont(FL_HELVETICA);
            wd->labelsize(size);
            win->add(wd);
        }
        if (n.kind == WndKind::ComboBox)
            h = wd->h();
        if (wd->x() != x || wd->y() != y || wd->w() != w || wd->h() != h)
            wd->resize(x, y, w, h);
        std::string text = WideToUtf8(n.text);
        labels_[n.hwnd] = text;
        DWORD type = n.style & BS_TYPEMASK;
        switch (n.kind) {
        case WndKind::Static:
        case WndKind::Button:
            if (n.kind == WndKind::Static) {
                wd->copy_label(text.c_str());
                wd->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP | FL_ALIGN_TOP);
                if (auto* t = dynamic_cast<WrapText*>(wd))
                    t->align = n.style & (SS_CENTER | SS_RIGHT);
            } else {
                wd->copy_label(type == BS_GROUPBOX ? text.c_str() : ButtonLabel(text).c_str());
            }
            if (n.kind == WndKind::Button && type == BS_DEFPUSHBUTTON)
                wd->labelfont(FL_HELVETICA_BOLD);
            if (n.kind == WndKind::Button && (type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON ||
                                              type == BS_CHECKBOX || type == BS_RADIOBUTTON))
                static_cast<Fl_Button*>(wd)->value(n.checked ? 1 : 0);
            wd->labelcolor(n.hasTextColor ? ToFl(n.textColor) : FL_BLACK);
            break;
        case WndKind::Edit: {
            auto* in = static_cast<Fl_Input*>(wd);
            in->textfont(FL_HELVETICA);
            in->textsize(size);
            const bool readOnly = (n.style & ES_READONLY) != 0;
            in->readonly(readOnly ? 1 : 0);
            if (readOnly) {
                in->color(FL_BACKGROUND_COLOR);
                in->clear_visible_focus();
                if (Fl::focus() == in)
                    Fl::focus(win);
            } else {
                in->set_visible_focus();
            }
            // what is being typed stays until the model has it
            if (text != in->value() && !InputPending(n.hwnd))
                in->value(text.c_str());
            in->textcolor(n.hasTextColor ? ToFl(n.textColor) : FL_BLACK);
            break;
        }
        case WndKind::ComboBox: {
            // the menu is rebuilt only when its items changed (never while
            // open: Sync waits for it), and a pick the model has not taken
            // in yet stays shown
            auto* c = static_cast<DropList*>(wd);
            c->textfont(FL_HELVETICA);
            c->textsize(size);
            if (c->loaded != n.items) {
                c->clear();
                for (auto& item : n.items)
                    c->add(EscapeMenu(WideToUtf8(item)).c_str());
                c->loaded = n.items;
                c->value(-1);
            }
            if (!InputPending(n.hwnd) && c->value() != n.curSel)
                c->value(n.curSel);
            c->ownText = n.curSel < 0 ? text : std::string();
            break;
        }
        case WndKind::ListView: {
            auto* t = static_cast<ListTable*>(wd);
            t->labelsize(size);
            // a row the user chose stays chosen until the model has it
            if (!InputPending(n.hwnd))
                t->Load(n);
            t->focused = n.hwnd == focus_;
            break;
        }
        case WndKind::TabControl: {
            auto* t = static_cast<TabStrip*>(wd);
            t->snap.tabs = n.tabs;
            t->snap.tabCur = n.tabCur;
            t->snap.baseX = n.baseX;
            t->snap.baseY = n.baseY;
            t->focused = n.hwnd == focus_;
            break;
        }
        case WndKind::Dialog: break;
        }
        if (n.enabled)
            wd->activate();
        else
            wd->deactivate();
        if (s.shown)
            wd->show();
        else
            wd->hide();
        wd->redraw();
    }

    // FLTK breaks a label only at "\n", draws a carriage return as a glyph and
    // takes "@" for a symbol
    static std::string ButtonLabel(const std::string& s)
    {
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\r') {
                out += '\n';
                if (i + 1 < s.size() && s[i + 1] == '\n')
                    ++i;
            } else {
                if (s[i] == '@')
                    out += '@';
                out += s[i];
            }
        }
        return out;
    }

    static std::string EscapeMenu(const std::string& s)
    {
        std::string out;
        for (char c : s) {
            if (c == '/' || c == '\\' || c == '&' || c == '_')
                out += '\\';
            out += c;
        }
        return out;
    }

    // One line per mapped window, "0xID WxH CAPTION"; a box (an owned
    // window) adds its texts after tabs, so that a script can say what it said.
    void ReportMapped(TopWindow* win, HWND top, const std::vector<Snapshot>& snaps)
    {
        if (!log_)
            return;
        std::string texts;
        if (snaps[0].node.owner)
            for (size_t i = 1; i < snaps.size(); ++i) {
                const Node& n = snaps[i].node;
                if (n.kind != WndKind::Static || !snaps[i].shown || n.text.empty())
                    continue;
                std::string text = WideToUtf8(n.text);
                std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
                texts += '\t' + text;
            }
        Fl::flush();
        if (FILE* f = std::fopen(log_, "a")) {
            std::fprintf(f, "0x%lx %dx%d %s%s\n", static_cast<unsigned long>(fl_xid(win)), win->w(), win->h(),
                         captions_[top].c_str(), texts.c_str());
            std::fclose(f);
        }
    }

    std::thread::id thread_;
    std::map<int, std::pair<int, int>> units_;
    const char* log_ = nullptr;
    std::mutex mu_;
    std::set<HWND> dirty_, gone_;
    bool scheduled_ = false;
    // FLTK thread only
    std::map<HWND, Fl_Widget*> widgets_;
    std::map<HWND, Fl_Menu_Bar*> menus_;
    std::map<HWND, std::string> captions_, labels_;
    std::map<HWND, HWND> lastFocus_;
    HWND focus_ = nullptr;   // the dialog's focus during a pass over it
};

}  // namespace

std::unique_ptr<Backend> MakeFltkBackend()
{
    // the one connection FLTK then uses
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return nullptr;
    return std::make_unique<FltkBackend>(d);
}

}  // namespace ui
