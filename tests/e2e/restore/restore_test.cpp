// The factory restore tool against the emulator, in the headless back end.
#include <gtest/gtest.h>

#include <string>

#include "app/app_paths.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/code_page.h"
#include "platform/win/debug_output.h"
#include "tests/support/second_copy.h"
#include "tests/support/timeout_scale.h"
#include "tests/support/carrier_tool_fixture.h"
#include "tools/restore/restore_factory_setting_dlg.h"

using namespace ui::test;

namespace {

const std::wstring kTitle = L"MARL リセットツール";
const std::wstring kSuccess = L"オールリセットに成功しました。";
const std::wstring kFailed = L"オールリセットに失敗しました。再度、操作し直して下さい。";

class RestoreTest : public carriertest::CarrierToolTest<CMarlRestoreFactorySettingDlg> {
protected:
    RestoreTest() : CarrierToolTest("restore-e2e", IDD_MARL_RESTORE_FACTORY_SETTING, kTitle, modemsim::Mode::NetCard) {}

    HWND Button() { return Item(IDC_RESTORE_BUTTON); }

    bool ButtonBecomes(bool enabled, DWORD timeoutMs = 10000)
    {
        return WaitUntil([&] { return IsEnabled(Button()) == enabled; }, timeoutMs);
    }

    size_t RestoreRequests() { return CountHttp("goformId=RESTORE_FACTORY_SETTINGS"); }
};

}  // namespace

TEST_F(RestoreTest, ShowsTheJapaneseTextsAndEnablesTheButtonWhileTheWebServerAnswers)
{
    DebugCapture capture;
    OpenTool();
    EXPECT_TRUE(ButtonBecomes(true));
    EXPECT_EQ(Text(hwnd_), kTitle);
    EXPECT_EQ(Text(Control(hwnd_, IDC_RESTORE_GROUP)),
              L"オールリセットを実行すると、端末の設定情報が初期設定値に戻ります。");
    EXPECT_EQ(Text(Button()), L"オールリセット");
    EXPECT_GE(capture.Count("KESTLE: CPlatformManager, Search RNDIS Port SUCCESS!"), 1u);
}

TEST_F(RestoreTest, ButtonFollowsTheWebServer)
{
    DebugCapture capture;
    OpenTool();
    ASSERT_TRUE(ButtonBecomes(true));
    // modem mode: no web server
    emulator_->SetMode(modemsim::Mode::Modem);
    EXPECT_TRUE(ButtonBecomes(false));
    EXPECT_GE(capture.Count("KESTLE: CPlatformManager, Search RNDIS Port Fail!"), 1u);
    emulator_->SetMode(modemsim::Mode::NetCard);
    EXPECT_TRUE(ButtonBecomes(true));
    // a version answer holding "failure" counts as no web server
    SetVersionAnswer("failure");
    EXPECT_TRUE(ButtonBecomes(false));
    SetVersionAnswer("V1.0");
    EXPECT_TRUE(ButtonBecomes(true));
    emulator_->Unplug();
    EXPECT_TRUE(ButtonBecomes(false));
}

TEST_F(RestoreTest, ConfigurationWithoutDomainNameNeverEnablesTheButton)
{
    WriteConfig(2, "[MARL_RESTORE_FACTORY_SETTING_TOOL_INFO]\r\nRESTORE_COMMAND=goformId=RESTORE_FACTORY_SETTINGS\r\n");
    DebugCapture capture;
    OpenTool();
    ASSERT_TRUE(WaitUntil([&] { return capture.Count("KESTLE: CPlatformManager, Search RNDIS Port Fail!") >= 3; }));
    EXPECT_FALSE(IsEnabled(Button()));
}

TEST_F(RestoreTest, RestoreSucceedsAndTheButtonComesBack)
{
    OpenTool();
    ASSERT_TRUE(ButtonBecomes(true));
    ASSERT_TRUE(Press(IDC_RESTORE_BUTTON));
    EXPECT_EQ(AnswerMessageBox(), kSuccess);
    EXPECT_EQ(RestoreRequests(), 1u);
    EXPECT_TRUE(emulator_->WaitForRestarts(1, 60000));
    EXPECT_TRUE(ButtonBecomes(true));
}

TEST_F(RestoreTest, RefusedRequestsAreTriedThreeTimes)
{
    struct Case {
        int failures;
        const std::wstring& result;
        size_t requests;
    } cases[] = {
        {1, kSuccess, 2},
        {2, kSuccess, 3},
        {3, kFailed, 3},
    };
    OpenTool();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failures);
        ASSERT_TRUE(ButtonBecomes(true, 60000));
        emulator_->ClearReceived();
        emulator_->InjectHttpFault("RESTORE_FACTORY_SETTINGS", 500, c.failures);
        ASSERT_TRUE(Press(IDC_RESTORE_BUTTON));
        EXPECT_EQ(AnswerMessageBox(), c.result);
        EXPECT_EQ(RestoreRequests(), c.requests);
        emulator_->ClearFaults();
        emulator_->Replug();
    }
}

TEST_F(RestoreTest, WebServerNotAnsweringTheRestoreGivesFailed)
{
    OpenTool();
    ASSERT_TRUE(ButtonBecomes(true));
    modemsim::Fault silent;
    silent.kind = modemsim::FaultKind::NoAnswer;
    silent.times = -1;
    tooltest::ScopedTimeoutScale shortTimeouts;
    emulator_->InjectHttpFault("RESTORE_FACTORY_SETTINGS", silent);
    ASSERT_TRUE(Press(IDC_RESTORE_BUTTON));
    EXPECT_EQ(AnswerMessageBox(), kFailed);
    EXPECT_EQ(RestoreRequests(), 3u);
    EXPECT_EQ(emulator_->RestartCount(), 0);
    // the watch thread runs again
    EXPECT_TRUE(ButtonBecomes(true));
}

TEST_F(RestoreTest, EmptyRestoreCommandSendsTheBuiltInRequest)
{
    WriteConfig(2, "[MARL_RESTORE_FACTORY_SETTING_TOOL_INFO]\r\nDOMAIN_NAME=192.168.100.1\r\n");
    OpenTool();
    ASSERT_TRUE(ButtonBecomes(true));
    ASSERT_TRUE(Press(IDC_RESTORE_BUTTON));
    EXPECT_EQ(AnswerMessageBox(), kSuccess);
    EXPECT_EQ(RestoreRequests(), 1u);
}

TEST_F(RestoreTest, KeysNeverCloseTheTool)
{
    OpenTool();
    ASSERT_TRUE(ButtonBecomes(true));
    PressEsc(hwnd_);
    PressEnter(hwnd_);
    PressAltF4(hwnd_);
    WaitIdle(hwnd_);
    EXPECT_EQ(FindDialog(IDD_MARL_RESTORE_FACTORY_SETTING), hwnd_);
    EXPECT_EQ(RestoreRequests(), 0u);
}

// Runs only as the second copy, started by the test below.
TEST(RestoreSecondCopy, Run) { secondcopy::RunAsSecondCopy<CMarlRestoreFactorySettingDlg>(); }

TEST_F(RestoreTest, SecondCopyIsRefusedWithAMessageBoxAndTheFirstRunsOn)
{
    OpenTool();
    ASSERT_TRUE(ButtonBecomes(true));
    secondcopy::Refusal refusal = secondcopy::StartSecondCopy("RestoreSecondCopy.Run", place_.Work());
    EXPECT_EQ(refusal.exitCode, 0);
    ASSERT_TRUE(refusal.seen);
    EXPECT_TRUE(refusal.messageBox);
    EXPECT_NE(refusal.type & MB_ICONINFORMATION, 0u);
    EXPECT_EQ(refusal.caption, WideToUtf8(kTitle));
    EXPECT_EQ(refusal.text, "このプログラムは既に起動中です。");
    // the first copy still follows the device
    emulator_->SetMode(modemsim::Mode::Modem);
    EXPECT_TRUE(ButtonBecomes(false));
}
