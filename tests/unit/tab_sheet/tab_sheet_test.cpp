#include "app/tab_sheet.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "platform/ui/test_driver.h"

namespace {

constexpr UINT kHostTemplate = 9401;
constexpr UINT kPageTemplate = 9402;  // pages 9402 .. 9402 + 21
constexpr int kTab = 1404;
constexpr int kPageLabel = 1001;
constexpr UINT WM_RUN_ON_UI = WM_APP + 7;

const ui::DialogTemplate kHost = {kHostTemplate, L"tabs", 300, 220, L"MS Shell Dlg", 8,
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                  {{kTab, ui::ControlKind::TabControl, L"", 7, 7, 280, 200, WS_VISIBLE | WS_TABSTOP}}};

std::vector<ui::DialogTemplate> MakePages()
{
    std::vector<ui::DialogTemplate> pages;
    for (UINT i = 0; i < 22; ++i)
        pages.push_back({kPageTemplate + i, L"", 200, 100, L"MS Shell Dlg", 8, WS_CHILD,
                         {{kPageLabel, ui::ControlKind::Static, L"page", 7, 7, 100, 10, WS_VISIBLE}}});
    return pages;
}
const std::vector<ui::DialogTemplate> kPages = MakePages();
std::vector<const ui::DialogTemplate*> AllTemplates()
{
    std::vector<const ui::DialogTemplate*> all{&kHost};
    for (const auto& p : kPages)
        all.push_back(&p);
    return all;
}
UI_TEMPLATE_FILE(tab_sheet_test, AllTemplates(), {});

const wchar_t* const kTitles[] = {L"P0", L"P1", L"P2", L"P3", L"P4", L"P5", L"P6", L"P7", L"P8", L"P9", L"P10",
                                  L"P11", L"P12", L"P13", L"P14", L"P15", L"P16", L"P17", L"P18", L"P19", L"P20"};

// The owning dialog: pages added once in OnInitDialog, then ShowPages.
class Host : public CDialog {
public:
    explicit Host(int pageCount) : CDialog(kHostTemplate), pageCount_(pageCount) {}
    CTabSheet sheet;
    CDialog pages[22];
    int pageCount_;

    void DoDataExchange(CDataExchange* dx) override
    {
        CDialog::DoDataExchange(dx);
        DDX_Control(dx, kTab, sheet);
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        for (int i = 0; i < pageCount_; ++i)
            sheet.AddPage(kTitles[i], &pages[i], kPageTemplate + i);
        sheet.ShowPages();
        return TRUE;
    }
    LRESULT OnRun(WPARAM, LPARAM l)
    {
        (*reinterpret_cast<std::function<void()>*>(l))();
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Host, CDialog)
    ON_MESSAGE(WM_RUN_ON_UI, &Host::OnRun)
END_MESSAGE_MAP()

class TabSheet : public ::testing::Test {
protected:
    void Open(int pageCount)
    {
        host_ = std::make_unique<Host>(pageCount);
        ui_ = std::thread([this] { host_->DoModal(); });
        hwnd_ = ui::test::WaitForDialog(kHostTemplate);
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_TRUE(ui::test::WaitIdle(hwnd_));
        tab_ = ui::test::Control(hwnd_, kTab);
    }
    void TearDown() override
    {
        if (ui_.joinable()) {
            ui::test::PressCloseBox(hwnd_);
            ui_.join();
        }
    }
    // The sheet is used on the UI thread only.
    void OnUi(std::function<void()> fn) { SendMessage(hwnd_, WM_RUN_ON_UI, 0, reinterpret_cast<LPARAM>(&fn)); }
    std::vector<bool> Visible()
    {
        std::vector<bool> v;
        for (int i = 0; i < host_->sheet.GetPageCount(); ++i)
            v.push_back(ui::test::IsVisible(host_->pages[i].GetSafeHwnd()));
        return v;
    }
    std::vector<bool> Only(int shown, int count)
    {
        std::vector<bool> v(count, false);
        v[shown] = true;
        return v;
    }
    std::unique_ptr<Host> host_;
    std::thread ui_;
    HWND hwnd_ = nullptr, tab_ = nullptr;
};

}  // namespace

TEST(TabSheetRect, PageRectangleBelowTheTabs)
{
    CRect page = CTabSheet::PageRect(CRect(0, 0, 400, 300), CRect(2, 2, 60, 20));
    EXPECT_EQ(page.left, 2);
    EXPECT_EQ(page.top, 21);
    EXPECT_EQ(page.Width(), 395);
    EXPECT_EQ(page.Height(), 277);
}

TEST_F(TabSheet, KeepsTwentyPagesAndShowsTheFirst)
{
    Open(21);
    EXPECT_EQ(host_->sheet.GetPageCount(), 20);
    std::vector<std::wstring> titles(kTitles, kTitles + 20);
    EXPECT_EQ(ui::test::Items(tab_), titles);
    EXPECT_EQ(Visible(), Only(0, 20));
    EXPECT_EQ(host_->pages[20].GetSafeHwnd(), nullptr) << "the 21st page is never made";
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(host_->pages[i].GetParent()->GetSafeHwnd(), tab_);
}

TEST_F(TabSheet, SetCurSelOutsideThePagesChangesNothing)
{
    Open(3);
    int results[4] = {};
    OnUi([&] {
        results[0] = host_->sheet.SetCurSel(-1);
        results[1] = host_->sheet.SetCurSel(3);
    });
    EXPECT_EQ(results[0], -1);
    EXPECT_EQ(results[1], -1);
    EXPECT_EQ(Visible(), Only(0, 3));
    OnUi([&] { results[2] = host_->sheet.SetCurSel(2); });
    EXPECT_EQ(results[2], 0);
    EXPECT_EQ(Visible(), Only(2, 3));
    EXPECT_EQ(ui::test::Selection(tab_), 2);
    OnUi([&] { results[3] = host_->sheet.SetCurSel(1); });
    EXPECT_EQ(results[3], 2);
}

TEST_F(TabSheet, ClicksShowTheChosenPageAndTheCurrentTabChangesNothing)
{
    Open(3);
    ASSERT_TRUE(ui::test::SelectTab(tab_, 0));
    EXPECT_EQ(Visible(), Only(0, 3));
    EXPECT_EQ(host_->sheet.GetCurrentPage(), 0);
    ASSERT_TRUE(ui::test::SelectTab(tab_, 2));
    EXPECT_EQ(Visible(), Only(2, 3));
    EXPECT_EQ(host_->sheet.GetCurrentPage(), 2);
    ASSERT_TRUE(ui::test::SelectTab(tab_, 2));
    EXPECT_EQ(Visible(), Only(2, 3));
}

TEST_F(TabSheet, PageTitlesAndTheSecondPageAreReplaced)
{
    Open(2);
    CDialog replacement;
    BOOL refused = TRUE, replaced = FALSE;
    HWND oldPage = host_->pages[1].GetSafeHwnd();
    OnUi([&] {
        host_->sheet.SetPageTitle(L"Renamed", kPageTemplate + 1);
        host_->sheet.SetPageTitle(L"Nobody", 1);  // no such page: nothing changes
        host_->sheet.SetCurSel(1);
        refused = host_->sheet.ReplaceSecondPage(nullptr, L"X", kPageTemplate + 5);
        replaced = host_->sheet.ReplaceSecondPage(&replacement, L"PIN", kPageTemplate + 5);
    });
    EXPECT_EQ(refused, FALSE);
    EXPECT_EQ(replaced, TRUE);
    EXPECT_EQ(ui::test::Items(tab_), (std::vector<std::wstring>{L"P0", L"PIN"}));
    EXPECT_FALSE(IsWindow(oldPage));
    ASSERT_NE(replacement.GetSafeHwnd(), nullptr);
    EXPECT_TRUE(ui::test::IsVisible(replacement.GetSafeHwnd()));
    EXPECT_EQ(host_->sheet.GetCurrentPage(), 1);
    EXPECT_EQ(host_->sheet.GetPage(1), &replacement);
    OnUi([&] { replacement.DestroyWindow(); });
}

TEST_F(TabSheet, ASheetWithoutASecondPageRefusesTheReplacement)
{
    Open(1);
    CDialog replacement;
    BOOL replaced = TRUE;
    OnUi([&] { replaced = host_->sheet.ReplaceSecondPage(&replacement, L"PIN", kPageTemplate + 5); });
    EXPECT_EQ(replaced, FALSE);
    EXPECT_EQ(ui::test::Items(tab_).size(), 1u);
}
