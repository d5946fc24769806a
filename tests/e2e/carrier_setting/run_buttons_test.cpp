// Read and Write of both carrier modem setting dialogs, on each tab with
// device access: the result box has the tool's title, both buttons are off
// while it is up and come back once it is closed.
#include <gtest/gtest.h>

#include <string>

#include "app/language.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "tests/support/settled_click.h"
#include "tests/support/tool_test_env.h"
#include "tools/carriersetting/carrier_setting_dlg.h"

using namespace ui::test;

namespace {

template <class Dialog>
class RunButtonsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        place_.Make("carrier-setting-buttons");
        place_.WriteToolConfig();
        g_strLanguageFilePath.clear();
        emulator_ = place_.StartEmulator();
    }
    void TearDown() override
    {
        tool_.Close();
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
        g_strLanguageFilePath.clear();
    }

    HWND Item(int id) { return Control(hwnd_, id); }
    bool ButtonsAre(bool enabled)
    {
        return WaitUntil([&] {
            return IsEnabled(Item(IDC_MARL_SETTING_READ)) == enabled && IsEnabled(Item(IDC_MARL_SETTING_WRITE)) == enabled;
        }, 30000);
    }

    void RunEach(UINT templateId, std::initializer_list<int> tabs)
    {
        hwnd_ = tool_.Open(templateId);
        ASSERT_NE(hwnd_, nullptr);
        for (int tab : tabs) {
            for (int button : {IDC_MARL_SETTING_READ, IDC_MARL_SETTING_WRITE}) {
                SCOPED_TRACE("tab " + std::to_string(tab) + ", button " + std::to_string(button));
                ASSERT_TRUE(SelectTab(Item(IDC_MARL_SETTING_TAB), tab));
                ASSERT_TRUE(ButtonsAre(true));
                ASSERT_TRUE(tooltest::ClickWhenSettled(tool_.dialog(), Item(button)));
                auto box = WaitForPopup(60000);
                ASSERT_TRUE(box) << "no result box";
                EXPECT_TRUE(box->messageBox);
                EXPECT_EQ(box->caption, std::wstring(ReadModemSettingString(L"TITLE")));
                EXPECT_FALSE(box->text.empty());
                EXPECT_FALSE(IsEnabled(Item(IDC_MARL_SETTING_READ)));
                EXPECT_FALSE(IsEnabled(Item(IDC_MARL_SETTING_WRITE)));
                ClosePopup(*box);
                EXPECT_TRUE(ButtonsAre(true));
            }
        }
    }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    tooltest::ModalRun<Dialog> tool_;
    HWND hwnd_ = nullptr;
};

using FirstDialogButtons = RunButtonsTest<CMarlModemSettingDlg>;
using SecondDialogButtons = RunButtonsTest<MarlModemSettingDlgNew>;

TEST_F(FirstDialogButtons, OffWhileTheResultIsShownOnBothTabs) { RunEach(IDD_MARL_MODEM_SETTING, {0, 1}); }

// the second dialog's communication tab has no device access
TEST_F(SecondDialogButtons, OffWhileTheResultIsShownOnTheApnTab) { RunEach(IDD_MARL_MODEM_SETTING_NEW, {0}); }

}  // namespace
