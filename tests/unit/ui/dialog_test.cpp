// Message order, dialog keys, threads, modal loops and controls of the
// framework, driven through the headless back end.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/ui/test_driver.h"
#include "tests/unit/ui/sample_dialog.h"

using namespace ui::test;
using sample::CSampleDialog;

namespace {

// The sample dialog runs modally on its own UI thread while a watch-style
// thread changes control states every few milliseconds, as the tools do.
class SampleDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DiscardPopups();
        ui_ = std::thread([this] { result_ = dlg_.DoModal(); });
        dialog_ = WaitForDialog(sample::kDialogId);
        ASSERT_NE(dialog_, nullptr);
        watch_ = std::thread([this] {
            int i = 0;
            while (!stop_) {
                CString n;
                n.Format(L"%d", ++i);
                dlg_.SetDlgItemText(1002, n);
                dlg_.GetDlgItem(1005)->SetWindowText(n);   // an edit: carried to the UI thread
                dlg_.GetDlgItem(1018)->EnableWindow(i % 2);
                dlg_.GetDlgItem(1018)->ShowWindow(i % 3 ? SW_SHOW : SW_HIDE);
                dlg_.m_list.SetItemText(0, 3, n);
                (void)dlg_.m_tab.GetCurSel();
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
        });
        dlg_.log.Take();
    }
    void TearDown() override
    {
        stop_ = true;
        watch_.join();
        if (IsWindow(dialog_))
            PressCloseBox(dialog_);
        ui_.join();
    }
    HWND Ctl(int id) { return Control(dialog_, id); }
    std::vector<std::string> Events()
    {
        WaitIdle(dialog_);
        return dlg_.log.Take();
    }

    CSampleDialog dlg_;
    std::thread ui_, watch_;
    std::atomic<bool> stop_{false};
    std::atomic<INT_PTR> result_{-2};
    HWND dialog_ = nullptr;
};

TEST_F(SampleDialogTest, PreTranslateMessageSeesTheInputBeforeTheMap)
{
    ASSERT_TRUE(Click(Ctl(1007)));
    EXPECT_EQ(Events(), (std::vector<std::string>{"pre:514:1", "BN_CLICKED:1007"}));
}

TEST_F(SampleDialogTest, SwallowedKeysDoNothing)
{
    dlg_.swallowKeys = true;
    EXPECT_TRUE(PressEsc(dialog_));
    EXPECT_TRUE(PressEnter(dialog_));
    EXPECT_TRUE(PressAltF4(dialog_));
    EXPECT_TRUE(IsWindow(dialog_));
    for (auto& e : Events())
        EXPECT_EQ(e.rfind("pre:", 0), 0u) << e;
    EXPECT_TRUE(ChooseMenuItem(dialog_, 32780));   // other messages still pass
    EXPECT_EQ(Events(), (std::vector<std::string>{"menu:32780"}));
}

TEST_F(SampleDialogTest, ModalDialogRunsOnItsThreadAndAnswersSendMessageFromWorkers)
{
    LRESULT answer = 0;
    std::thread worker([&] { answer = ::SendMessage(dlg_.m_hWnd, sample::kMsgAsk, 40, 2); });
    worker.join();
    EXPECT_EQ(answer, 42);
    ASSERT_TRUE(::PostMessage(dlg_.m_hWnd, sample::kMsgAsk, 0, 0));
    EXPECT_EQ(Events(), (std::vector<std::string>{"ask:ui", "ask:ui"}));
}

TEST_F(SampleDialogTest, MessageBoxFromWorkerBlocksOnlyThatWorker)
{
    std::atomic<bool> done{false};
    std::atomic<int> answer{0};
    std::thread worker([&] {
        answer = dlg_.MessageBox(L"書き込みました。", L"Modem Setting Tool", MB_OK | MB_ICONINFORMATION);
        done = true;
    });
    auto box = WaitForPopup();
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->messageBox);
    EXPECT_EQ(box->caption, L"Modem Setting Tool");
    EXPECT_EQ(box->text, L"書き込みました。");
    EXPECT_EQ(box->type & MB_ICONINFORMATION, MB_ICONINFORMATION);
    // the UI thread still serves the dialog while the worker waits
    ASSERT_TRUE(Click(Ctl(1007)));
    EXPECT_EQ(Events(), (std::vector<std::string>{"pre:514:1", "BN_CLICKED:1007"}));
    EXPECT_FALSE(done);
    ASSERT_TRUE(ClosePopup(*box));
    worker.join();
    EXPECT_EQ(answer, IDOK);
    EXPECT_TRUE(IsWindow(dialog_));
}

TEST_F(SampleDialogTest, DataExchangeBothWays)
{
    dlg_.SendMessage(sample::kMsgSave);
    EXPECT_EQ(dlg_.m_mode, 0);
    EXPECT_EQ(dlg_.m_selection, 0);
    EXPECT_EQ(dlg_.m_comboIndex, 0);

    ASSERT_TRUE(TypeText(Ctl(1004), L"山田"));
    ASSERT_TRUE(Click(Ctl(1008)));
    ASSERT_TRUE(Click(Ctl(1011)));
    ASSERT_TRUE(Click(Ctl(1013)));
    ASSERT_TRUE(SelectComboItem(Ctl(1014), 2));
    dlg_.SendMessage(sample::kMsgSave);
    EXPECT_EQ(dlg_.m_name, L"山田");
    EXPECT_EQ(dlg_.m_check, 1);
    EXPECT_EQ(dlg_.m_mode, 1);
    EXPECT_EQ(dlg_.m_selection, 1);
    EXPECT_EQ(dlg_.m_comboIndex, 2);

    dlg_.m_name = L"abc";
    dlg_.m_check = 0;
    dlg_.m_mode = 0;
    dlg_.m_selection = -1;
    dlg_.m_comboIndex = 1;
    dlg_.SendMessage(sample::kMsgLoad);
    EXPECT_EQ(Text(Ctl(1004)), L"abc");
    EXPECT_FALSE(IsChecked(Ctl(1008)));
    EXPECT_TRUE(IsChecked(Ctl(1010)));
    EXPECT_FALSE(IsChecked(Ctl(1011)));
    EXPECT_FALSE(IsChecked(Ctl(1012)));
    EXPECT_FALSE(IsChecked(Ctl(1013)));
    EXPECT_EQ(Selection(Ctl(1014)), 1);
}

TEST_F(SampleDialogTest, AutoRadiosKeepToTheirGroupAndClicksNotify)
{
    struct Step {
        int click;
        std::vector<int> checked;
    };
    const Step steps[] = {{1011, {1011, 1012}}, {1013, {1011, 1013}}, {1010, {1010, 1013}}, {1009, {1010, 1013}}};
    for (const Step& s : steps) {
        ASSERT_TRUE(Click(Ctl(s.click)));
        std::vector<int> now;
        for (int id : {1010, 1011, 1012, 1013})
            if (IsChecked(Ctl(id)))
                now.push_back(id);
        EXPECT_EQ(now, s.checked) << "after a click on " << s.click;
    }
    EXPECT_EQ(dlg_.GetCheckedRadioButton(1012, 1013), 1013);
    ASSERT_TRUE(Click(Ctl(1008)));
    ASSERT_TRUE(Click(Ctl(1008)));
    auto events = Events();
    // a group box reports no click; the check box toggles before its handler runs
    EXPECT_EQ(std::count(events.begin(), events.end(), "BN_CLICKED:1008:1"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "BN_CLICKED:1008:0"), 1);
}

TEST_F(SampleDialogTest, ComboEditAndListNotifications)
{
    EXPECT_EQ(Items(Ctl(1014)), (std::vector<std::wstring>{L"CHAP", L"PAP", L"NONE"}));
    EXPECT_EQ(Items(Ctl(1015)), (std::vector<std::wstring>{L"mobile", L"internet"}));
    ASSERT_TRUE(SelectComboItem(Ctl(1014), 2));
    EXPECT_FALSE(SelectComboItem(Ctl(1014), 3));
    ASSERT_TRUE(TypeText(Ctl(1004), L"ab"));
    ASSERT_TRUE(SelectListRow(Ctl(1016), 1));
    ASSERT_TRUE(SelectListRow(Ctl(1016), 2));
    EXPECT_FALSE(SelectListRow(Ctl(1016), 3));
    EXPECT_EQ(Events(), (std::vector<std::string>{"CBN_SELCHANGE:2", "EN_CHANGE:ab", "LVN_ITEMCHANGED:1:1:1:00102",
                                                  "LVN_ITEMCHANGED:1:0:-1:", "LVN_ITEMCHANGED:2:1:2:00103"}));
    EXPECT_EQ(Selection(Ctl(1016)), 2);
    EXPECT_EQ(Columns(Ctl(1016)), (std::vector<std::wstring>{L"Operation Name", L"Network", L"MCC MNC", L"Status"}));
    auto rows = Rows(Ctl(1016));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2][0], L"みなみ通信");
    EXPECT_EQ(rows[2][1], L"GSM");
    LVCOLUMN col;
    col.mask = LVCF_FMT | LVCF_WIDTH;
    ASSERT_TRUE(dlg_.m_list.GetColumn(0, &col));
    EXPECT_EQ(col.fmt, LVCFMT_CENTER);
    CRect rc;
    dlg_.m_list.GetClientRect(&rc);
    EXPECT_EQ(col.cx, rc.Width() / 4);
    EXPECT_EQ(dlg_.m_list.GetExtendedStyle(), static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES));
}

TEST_F(SampleDialogTest, TabSelectionSwitchesChildPages)
{
    HWND tab = Ctl(1017);
    HWND one = FindDialog(sample::kPageOneId), two = FindDialog(sample::kPageTwoId);
    ASSERT_TRUE(one && two);
    EXPECT_TRUE(IsVisible(one));
    EXPECT_FALSE(IsVisible(two));
    EXPECT_EQ(Items(tab), (std::vector<std::wstring>{L"ネットワーク", L"PIN"}));
    ASSERT_TRUE(SelectTab(tab, 1));
    ASSERT_TRUE(SelectTab(tab, 1));   // the current tab again: no change
    EXPECT_EQ(Events(), (std::vector<std::string>{"TCN_SELCHANGE:1"}));
    EXPECT_EQ(Selection(tab), 1);
    EXPECT_EQ(dlg_.m_tab.GetCurFocus(), 1);
    EXPECT_FALSE(IsVisible(one));
    EXPECT_TRUE(IsVisible(two));
    // a hidden page takes no input
    EXPECT_FALSE(TypeText(Control(one, 2002), L"x"));
    // pages sit in the tab control below the row of tabs
    CRect item, page;
    dlg_.m_tab.GetItemRect(0, &item);
    CWnd::FromHandle(two)->GetWindowRect(&page);
    dlg_.m_tab.ScreenToClient(&page);
    EXPECT_EQ(page.left, item.left);
    EXPECT_EQ(page.top, item.bottom + 1);
    EXPECT_EQ(CWnd::FromHandle(two)->GetParent(), &dlg_.m_tab);
}

TEST_F(SampleDialogTest, ChildPageGetsItsOwnNotificationsAndFiltersKeysFirst)
{
    HWND one = FindDialog(sample::kPageOneId);
    ASSERT_TRUE(TypeText(Control(one, 2002), L"internet"));
    EXPECT_EQ(Events(), (std::vector<std::string>{"page60002:EN_CHANGE"}));
    dlg_.PageOne().swallowEsc = true;
    ASSERT_TRUE(PressKey(Control(one, 2002), VK_ESCAPE));
    EXPECT_TRUE(IsWindow(dialog_));
    EXPECT_TRUE(Events().empty());   // the page swallowed it before the dialog saw it
    dlg_.PageOne().swallowEsc = false;
    ASSERT_TRUE(PressKey(Control(one, 2002), VK_ESCAPE));
    ui_.join();
    ui_ = std::thread([] {});
    EXPECT_EQ(result_, IDCANCEL);
}

TEST_F(SampleDialogTest, MenuItemsReachTheMapAndDestroyedMenusLeave)
{
    EXPECT_EQ(MenuItems(dialog_), (std::vector<std::wstring>{L"日本語 ▼/日本語", L"日本語 ▼/English"}));
    EXPECT_TRUE(ChooseMenuItem(dialog_, 32781));
    EXPECT_FALSE(ChooseMenuItem(dialog_, 32775));
    EXPECT_EQ(Events(), (std::vector<std::string>{"menu:32781"}));
    dlg_.m_menu.DestroyMenu();
    EXPECT_TRUE(MenuItems(dialog_).empty());
    EXPECT_FALSE(ChooseMenuItem(dialog_, 32781));
}

TEST_F(SampleDialogTest, EditStylesAndCaret)
{
    EXPECT_FALSE(TypeText(Ctl(1005), L"x"));   // read-only
    auto* pw = static_cast<CEdit*>(dlg_.GetDlgItem(1006));
    EXPECT_NE(pw->GetPasswordChar(), 0);
    ASSERT_TRUE(TypeText(Ctl(1006), L"secret"));
    EXPECT_EQ(Text(Ctl(1006)), L"secret");
    auto* name = static_cast<CEdit*>(dlg_.GetDlgItem(1004));
    name->SetWindowText(L"0123456789");   // from this thread: carried to the UI thread
    name->SetSel(65535, 65535);
    int s, e;
    name->GetSel(s, e);
    EXPECT_EQ(s, 10);
    EXPECT_EQ(e, 10);
    EXPECT_EQ(name->SendMessage(EM_SCROLLCARET), TRUE);
    EXPECT_EQ(Events(), (std::vector<std::string>{"EN_CHANGE:0123456789"}));
    dlg_.GetDlgItem(1007)->EnableWindow(FALSE);
    EXPECT_FALSE(Click(Ctl(1007)));
    dlg_.GetDlgItem(1007)->EnableWindow(TRUE);
    dlg_.GetDlgItem(1007)->ShowWindow(SW_HIDE);
    EXPECT_FALSE(Click(Ctl(1007)));
}

TEST_F(SampleDialogTest, RedLabelAndDialogUnits)
{
    EXPECT_EQ(TextColor(Ctl(1003)), RGB(255, 0, 0));
    EXPECT_EQ(TextColor(Ctl(1001)), 0u);
    EXPECT_EQ(Text(dialog_), L"サンプル ダイアログ");
    RECT du = RectInDialogUnits(Ctl(1004));
    EXPECT_EQ(du.left, 72);
    EXPECT_EQ(du.right - du.left, 100);
    CRect px(72, 8, 172, 22);
    dlg_.MapDialogRect(&px);
    CRect win;
    dlg_.GetDlgItem(1004)->GetWindowRect(&win);
    dlg_.ScreenToClient(&win);
    EXPECT_EQ(win.left, px.left);
    EXPECT_EQ(win.Width(), px.Width());
    EXPECT_EQ(win.Height(), px.Height());
}

TEST_F(SampleDialogTest, TabWalksTheTabStopsThroughTheShownPage)
{
    HWND one = FindDialog(sample::kPageOneId), two = FindDialog(sample::kPageTwoId);
    ASSERT_TRUE(one && two);
    auto walk = [&](size_t steps, bool back) {
        std::vector<HWND> seen;
        for (size_t i = 0; i < steps; ++i) {
            EXPECT_TRUE(PressTab(dialog_, back));
            seen.push_back(FocusOf(dialog_));
        }
        return seen;
    };
    // statics, the group box, unchecked radios and the hidden page are passed over
    const std::vector<HWND> order = {Ctl(1005), Ctl(1006), Ctl(1008), Ctl(1010), Ctl(1012),
                                     Ctl(1014), Ctl(1015), Ctl(1007), Ctl(1016), Ctl(1017),
                                     Control(one, 2002), Control(one, 2003), Ctl(IDOK), Ctl(IDCANCEL),
                                     Ctl(1004)};
    ASSERT_EQ(FocusOf(dialog_), Ctl(1004));
    EXPECT_EQ(walk(order.size(), false), order);
    // Shift+Tab goes back, wrapping from the first to the last
    EXPECT_EQ(walk(2, true), (std::vector<HWND>{Ctl(IDCANCEL), Ctl(IDOK)}));
    for (const std::string& e : Events())
        EXPECT_EQ(e.rfind("pre:", 0), 0u) << "Tab clicks nothing: " << e;

    // a disabled control is passed over; a radio group is entered at its checked button
    dlg_.GetDlgItem(1006)->EnableWindow(FALSE);
    dlg_.CheckRadioButton(1010, 1011, 1011);
    SetFocusTo(Ctl(1005));
    EXPECT_EQ(walk(3, false), (std::vector<HWND>{Ctl(1008), Ctl(1011), Ctl(1012)}));

    // the key starts from the control it went to; the other page once it is shown
    ASSERT_TRUE(SelectTab(Ctl(1017), 1));
    ASSERT_TRUE(PressKey(Ctl(1017), VK_TAB));
    EXPECT_EQ(FocusOf(dialog_), Control(two, 2002));
    ASSERT_TRUE(PressTab(dialog_));
    EXPECT_EQ(FocusOf(dialog_), Ctl(IDOK));
}

TEST_F(SampleDialogTest, TabIntoAnEditSelectsItsText)
{
    ASSERT_TRUE(TypeText(Ctl(1006), L"secret"));
    SetFocusTo(Ctl(1005));
    ASSERT_TRUE(PressTab(dialog_));
    ASSERT_EQ(FocusOf(dialog_), Ctl(1006));
    int start = -1, end = -1;
    static_cast<CEdit*>(dlg_.GetDlgItem(1006))->GetSel(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 6);
}

// ---- a plain dialog closed by its keys ----------------------------------------
struct KeyCase {
    const char* name;
    int focusId;   // 0: the dialog's first control
    std::function<bool(HWND)> press;
    INT_PTR result;
};

TEST(PlainDialog, DefaultKeysCloseIt)
{
    const KeyCase cases[] = {
        {"Enter in the edit", 0, PressEnter, IDOK},
        {"Enter on Cancel", IDCANCEL, PressEnter, IDCANCEL},
        {"Esc", 0, PressEsc, IDCANCEL},
        {"Alt+F4", 0, PressAltF4, IDCANCEL},
        {"close box", 0, PressCloseBox, IDCANCEL},
        {"OK button", 0, [](HWND d) { return Click(Control(d, IDOK)); }, IDOK},
    };
    for (const KeyCase& c : cases) {
        CDialog dlg(sample::kPlainId);
        INT_PTR result = -2;
        std::thread ui([&] { result = dlg.DoModal(); });
        HWND d = WaitForDialog(sample::kPlainId);
        ASSERT_NE(d, nullptr) << c.name;
        EXPECT_EQ(FocusOf(d), Control(d, 3001)) << c.name;
        if (c.focusId)
            SetFocusTo(Control(d, c.focusId));
        EXPECT_TRUE(c.press(d)) << c.name;
        ui.join();
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_FALSE(IsWindow(d)) << c.name;
    }
}

TEST(PlainDialog, MissingTemplateFailsTheModalRun)
{
    CDialog dlg(59999);
    EXPECT_EQ(dlg.DoModal(), -1);
}

TEST(PlainDialog, AltWithoutF4AndF4WithoutAltDoNotClose)
{
    CDialog dlg(sample::kPlainId);
    std::thread ui([&] { dlg.DoModal(); });
    HWND d = WaitForDialog(sample::kPlainId);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(PressKey(d, VK_F4, false));
    EXPECT_TRUE(PressKey(d, VK_RETURN + 1, true));
    EXPECT_TRUE(IsWindow(d));
    PressCloseBox(d);
    ui.join();
}

}  // namespace
