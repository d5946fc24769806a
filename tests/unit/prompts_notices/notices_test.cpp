#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>

#include "app/notice_dialogs.h"
#include "platform/ui/test_driver.h"
#include "platform/win/registry.h"

namespace {

// A private registry for each test.
class Notices : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/notices-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("XDG_CONFIG_HOME");
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    std::string folder_;
};

// Shows the notice modally on the calling thread; its confirmed flag.
template <class Notice>
BYTE RunNotice()
{
    Notice notice;
    notice.m_strText = L"Check the profile (APN) first.";
    notice.m_strCaption = L"Attention";
    notice.m_strCheckLabel = L"Don't show again.";
    notice.DoModal();
    return notice.m_bConfirmed;
}

struct NoticeKind {
    const char* name;
    UINT templateId;
    int textId, checkId, okId;
    const wchar_t* suffix;
    const wchar_t* otherSuffix;
    const wchar_t* keyFolder;
    BYTE (*run)();
};

const NoticeKind kKinds[] = {
    {"normal mode", IDD_NORMAL_MODE_NOTICE, IDC_NORMAL_NOTICE_TEXT, IDC_NORMAL_NOTICE_CHECK, IDC_NORMAL_NOTICE_OK,
     kNormalModeSuffix, kModemModeSuffix, L"Software/TARSEL/SwitchModeToolNormalMode", RunNotice<CChooseDialogCheckBox>},
    {"modem mode", IDD_MODEM_MODE_NOTICE, IDC_MODEM_NOTICE_TEXT, IDC_MODEM_NOTICE_CHECK, IDC_MODEM_NOTICE_OK,
     kModemModeSuffix, kNormalModeSuffix, L"Software/TARSEL/SwitchModeToolModemMode",
     RunNotice<CChooseDialogModemCheckBox>},
};

}  // namespace

TEST_F(Notices, ShowTheirTextsAndTheCheckBoxFollowsTheRegistryAtOnce)
{
    for (const NoticeKind& k : kKinds) {
        SCOPED_TRACE(k.name);
        std::filesystem::remove_all(RegistryRootFolder());
        auto confirmed = std::async(std::launch::async, k.run);
        HWND dialog = ui::test::WaitForDialog(k.templateId);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(ui::test::WaitIdle(dialog));
        EXPECT_EQ(ui::test::Text(dialog), L"Attention");
        EXPECT_EQ(ui::test::Text(ui::test::Control(dialog, k.textId)), L"Check the profile (APN) first.");
        HWND check = ui::test::Control(dialog, k.checkId);
        EXPECT_EQ(ui::test::Text(check), L"Don't show again.");
        EXPECT_EQ(ui::test::Text(ui::test::Control(dialog, k.okId)), L"OK");
        EXPECT_FALSE(ui::test::IsChecked(check));

        std::string folder = RegistryRootFolder() + "/" + std::string(k.keyFolder, k.keyFolder + wcslen(k.keyFolder));
        ASSERT_TRUE(ui::test::Click(check));
        EXPECT_TRUE(IsDontShowAgainSet(k.suffix));
        EXPECT_TRUE(std::filesystem::is_directory(folder));
        EXPECT_FALSE(IsDontShowAgainSet(k.otherSuffix));
        // checking and then clearing before OK leaves no key
        ASSERT_TRUE(ui::test::Click(check));
        EXPECT_FALSE(IsDontShowAgainSet(k.suffix));
        EXPECT_FALSE(std::filesystem::exists(folder));

        ASSERT_TRUE(ui::test::Click(check));
        ASSERT_TRUE(ui::test::Click(ui::test::Control(dialog, k.okId)));
        EXPECT_EQ(confirmed.get(), 1);
        EXPECT_TRUE(IsDontShowAgainSet(k.suffix)) << "the key stays for the next run";
    }
}

TEST_F(Notices, EscAltF4AndEnterElsewhereLeaveTheNoticeUp)
{
    for (const NoticeKind& k : kKinds) {
        SCOPED_TRACE(k.name);
        auto confirmed = std::async(std::launch::async, k.run);
        HWND dialog = ui::test::WaitForDialog(k.templateId);
        ASSERT_NE(dialog, nullptr);
        HWND check = ui::test::Control(dialog, k.checkId);
        HWND ok = ui::test::Control(dialog, k.okId);

        ui::test::PressEsc(dialog);
        ui::test::PressAltF4(dialog);
        ASSERT_TRUE(ui::test::SetFocusTo(check));
        ui::test::PressEnter(dialog);
        ASSERT_TRUE(ui::test::WaitIdle(dialog));
        EXPECT_EQ(confirmed.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
        EXPECT_TRUE(ui::test::IsVisible(dialog));
        EXPECT_FALSE(ui::test::IsChecked(check)) << "Enter on the check box does not toggle it";

        ASSERT_TRUE(ui::test::SetFocusTo(ok));
        ui::test::PressEnter(dialog);
        EXPECT_EQ(confirmed.get(), 1);
        EXPECT_FALSE(IsDontShowAgainSet(k.suffix));
    }
}

TEST_F(Notices, TheSystemClosingTheNoticeEndsItAsOkDoes)
{
    for (const NoticeKind& k : kKinds) {
        SCOPED_TRACE(k.name);
        std::filesystem::remove_all(RegistryRootFolder());
        auto confirmed = std::async(std::launch::async, k.run);
        HWND dialog = ui::test::WaitForDialog(k.templateId);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(ui::test::Click(ui::test::Control(dialog, k.checkId)));
        // the notice has no close box; the window system's close request comes as this
        ASSERT_TRUE(PostMessage(dialog, WM_SYSCOMMAND, SC_CLOSE, 0));
        if (confirmed.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << "the notice stayed up";
            ui::test::Click(ui::test::Control(dialog, k.okId));
        }
        EXPECT_EQ(confirmed.get(), 1);
        EXPECT_TRUE(IsDontShowAgainSet(k.suffix)) << "the box's key stays however the notice ends";
    }
}

TEST_F(Notices, KeysAreFoundWhateverTheirCaseAndMissingOnesReadAsUnset)
{
    EXPECT_FALSE(IsDontShowAgainSet(kNormalModeSuffix));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"software\\tarsel\\switchmodetoolnormalmode", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(IsDontShowAgainSet(kNormalModeSuffix));
    EXPECT_FALSE(IsDontShowAgainSet(kModemModeSuffix));
    EXPECT_FALSE(IsDontShowAgainSet(L""));
}
