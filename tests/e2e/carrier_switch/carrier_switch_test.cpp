// The carrier mode switch tool against the emulator, in the headless back end.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <string>

#include "app/app_paths.h"
#include "app/prompt_dialogs.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/code_page.h"
#include "platform/win/debug_output.h"
#include "tests/support/second_copy.h"
#include "tests/support/carrier_tool_fixture.h"
#include "tools/carrierswitch/marl_switch_mode_tool_dlg.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"

using namespace ui::test;

namespace {

const std::wstring kTitle = L"MARL モデム切替ツール";
const std::wstring kSuccess = L"モード切替に成功しました。端末をPCから取り外して下さい。";
const std::wstring kFailed = L"モード切替に失敗しました。再度、操作し直して下さい。";

class CarrierSwitchTest : public carriertest::CarrierToolTest<CMarlSwitchModeToolDlg> {
protected:
    CarrierSwitchTest() : CarrierToolTest("carrier-switch-e2e", IDD_MARL_SWITCH_MODE_TOOL, kTitle, modemsim::Mode::Modem)
    {
    }

    bool ButtonsAre(bool eou, bool modem, DWORD timeoutMs = 20000)
    {
        return WaitUntil(
            [&] { return IsEnabled(Item(IDC_MARL_SET_EOU)) == eou && IsEnabled(Item(IDC_MARL_SET_MODEM)) == modem; },
            timeoutMs);
    }

    size_t CountAt(const std::string& prefix) { return emulator_->CountAtLines(prefix); }
};

}  // namespace

TEST_F(CarrierSwitchTest, ShowsTheJapaneseTexts)
{
    OpenTool();
    EXPECT_EQ(Text(hwnd_), kTitle);
    EXPECT_EQ(Text(Item(IDC_MARL_SWITCH_GROUP)), L"通信接続モードの切替えを行います。利用するモードを選択して下さい。");
    EXPECT_EQ(Text(Item(IDC_MARL_SET_EOU)), L"EoUモード");
    EXPECT_EQ(Text(Item(IDC_MARL_SET_MODEM)), L"モデムモード");
}

TEST_F(CarrierSwitchTest, WatchEnablesTheButtonThatFitsTheDevice)
{
    DebugCapture capture;
    OpenTool();
    struct Case {
        const char* name;
        std::function<void()> make;
        bool eou, modem;
        const char* trace;
    } cases[] = {
        {"modem mode", [&] { emulator_->SetMode(modemsim::Mode::Modem); }, true, false,
         "KESTLE: CPlatformManager, Search NMEA Success!"},
        {"network card", [&] { emulator_->SetMode(modemsim::Mode::NetCard); }, false, true,
         "KESTLE: CPlatformManager, Search RNDIS Port SUCCESS!"},
        {"no device", [&] { emulator_->Unplug(); }, false, false, "KESTLE: CPlatformManager, Search NMEA Port Fail!"},
        {"back in modem mode", [&] { emulator_->SetMode(modemsim::Mode::Modem); emulator_->Replug(); }, true, false,
         "KESTLE: CPlatformManager, Search NMEA Success!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        EXPECT_TRUE(ButtonsAre(c.eou, c.modem));
        EXPECT_GE(capture.Count(c.trace), 1u);
    }
}

TEST_F(CarrierSwitchTest, NetworkCardWhoseWebServerReportsFailureIsNotTakenYet)
{
    SetVersionAnswer("failure");
    emulator_->SetMode(modemsim::Mode::NetCard);
    OpenTool();
    // the card is listed, but a first sighting waits for the web server
    ASSERT_TRUE(WaitUntil([&] { return CountHttp("get_current_version") >= 6; }));
    EXPECT_TRUE(ButtonsAre(false, false, 0));
    SetVersionAnswer("V1.0");
    EXPECT_TRUE(ButtonsAre(false, true));
    // once taken, the listing alone keeps it
    SetVersionAnswer("failure");
    emulator_->ClearReceived();
    ASSERT_TRUE(WaitUntil([&] { return CountHttp("get_current_version") >= 3; }));
    EXPECT_TRUE(ButtonsAre(false, true, 0));
}

TEST_F(CarrierSwitchTest, SetEouSwitchesOverAt)
{
    DebugCapture capture;
    OpenTool();
    ASSERT_TRUE(ButtonsAre(true, false));
    ASSERT_TRUE(Press(IDC_MARL_SET_EOU));
    EXPECT_EQ(AnswerMessageBox(), kSuccess);
    EXPECT_EQ(CountAt("AT+ZCPE=o"), 1u);
    EXPECT_EQ(CountAt("AT+ZRST"), 1u);
    EXPECT_TRUE(emulator_->WaitForMode(modemsim::Mode::NetCard, 60000));
    EXPECT_TRUE(ButtonsAre(false, true));
    for (const char* step : {"kestle:SwitchHilinkModeOperationThread 1  ", "kestle:SwitchHilinkModeOperationThread 3",
                             "kestle:SwitchHilinkModeOperationThread 4"})
        EXPECT_EQ(capture.Count(step), 1u) << step;
    EXPECT_EQ(capture.Count("kestle:SwitchHilinkModeOperationThread 2"), 0u);
}

TEST_F(CarrierSwitchTest, SetEouRefusedThreeTimesGivesFailedWithoutRestart)
{
    modemsim::Fault fault;
    fault.kind = modemsim::FaultKind::Garbage;
    fault.text = "\r\nERROR\r\n";
    fault.times = -1;
    emulator_->InjectAtFault("AT+ZCPE", fault);
    DebugCapture capture;
    OpenTool();
    ASSERT_TRUE(ButtonsAre(true, false));
    ASSERT_TRUE(Press(IDC_MARL_SET_EOU));
    EXPECT_EQ(AnswerMessageBox(), kFailed);
    EXPECT_EQ(CountAt("AT+ZCPE=o"), 3u);
    EXPECT_EQ(CountAt("AT+ZRST"), 0u);
    EXPECT_EQ(capture.Count("kestle:SwitchHilinkModeOperationThread 2"), 3u);
    EXPECT_EQ(emulator_->CurrentMode(), modemsim::Mode::Modem);
    EXPECT_TRUE(ButtonsAre(true, false));
}

TEST_F(CarrierSwitchTest, SetModemSwitchesOverTheWebServer)
{
    emulator_->SetMode(modemsim::Mode::NetCard);
    DebugCapture capture;
    OpenTool();
    ASSERT_TRUE(ButtonsAre(false, true));
    ASSERT_TRUE(Press(IDC_MARL_SET_MODEM));
    EXPECT_EQ(AnswerMessageBox(), kSuccess);
    EXPECT_EQ(CountHttp("goformId=SET_PRODUCT_MODE_FOR_MARL&debug_enable=1"), 1u);
    EXPECT_EQ(CountHttp("REBOOT_DEVICE"), 1u);
    EXPECT_TRUE(emulator_->WaitForMode(modemsim::Mode::Modem, 60000));
    EXPECT_TRUE(ButtonsAre(true, false));
    for (int step = 1; step <= 4; ++step)
        EXPECT_EQ(capture.Count("kestle:SwitchModemModeOperationThread " + std::to_string(step)), 1u) << step;
}

TEST_F(CarrierSwitchTest, SetModemRequestFailures)
{
    struct Case {
        const char* key;
        int failures;
        const std::wstring& result;
        size_t modeRequests, reboots;
        modemsim::Mode after;
    } cases[] = {
        {"SET_PRODUCT_MODE_FOR_MARL", 2, kSuccess, 3, 1, modemsim::Mode::Modem},
        {"SET_PRODUCT_MODE_FOR_MARL", 3, kFailed, 3, 0, modemsim::Mode::NetCard},
        {"REBOOT_DEVICE", 3, kFailed, 1, 3, modemsim::Mode::NetCard},
    };
    OpenTool();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " x" + std::to_string(c.failures));
        emulator_->SetMode(modemsim::Mode::NetCard);
        ASSERT_TRUE(ButtonsAre(false, true, 60000));
        emulator_->ClearReceived();
        emulator_->InjectHttpFault(c.key, 500, c.failures);
        ASSERT_TRUE(Press(IDC_MARL_SET_MODEM));
        EXPECT_EQ(AnswerMessageBox(), c.result);
        EXPECT_EQ(CountHttp("goformId=SET_PRODUCT_MODE_FOR_MARL"), c.modeRequests);
        EXPECT_EQ(CountHttp("REBOOT_DEVICE"), c.reboots);
        if (c.after == modemsim::Mode::Modem)
            EXPECT_TRUE(emulator_->WaitForMode(c.after, 60000));
        else
            EXPECT_EQ(emulator_->CurrentMode(), c.after);
        emulator_->ClearFaults();
    }
}

TEST_F(CarrierSwitchTest, EmptySwitchCommandSendsTheBuiltInRequest)
{
    WriteConfig(3, "[MARL_SWITCH_MODE_TOOL_INFO]\r\nDOMAIN_NAME=192.168.100.1\r\n");
    emulator_->SetMode(modemsim::Mode::NetCard);
    OpenTool();
    ASSERT_TRUE(ButtonsAre(false, true));
    ASSERT_TRUE(Press(IDC_MARL_SET_MODEM));
    EXPECT_EQ(AnswerMessageBox(), kSuccess);
    EXPECT_EQ(CountHttp("goformId=SET_PRODUCT_MODE_FOR_MARL&debug_enable=1"), 1u);
    EXPECT_EQ(CountHttp("REBOOT_DEVICE"), 1u);
}

TEST_F(CarrierSwitchTest, DeviceNotComingBackLeavesBothButtonsDisabled)
{
    emulator_->SetMode(modemsim::Mode::NetCard);
    emulator_->SetRestartMs(100000000);
    OpenTool();
    ASSERT_TRUE(ButtonsAre(false, true));
    ASSERT_TRUE(Press(IDC_MARL_SET_MODEM));
    // the reboot was accepted: the tool reports the switch as done
    EXPECT_EQ(AnswerMessageBox(), kSuccess);
    EXPECT_TRUE(ButtonsAre(false, false));
    // the device goes only after its answer has left: plugged back before that,
    // it would restart afterwards and never return
    ASSERT_TRUE(emulator_->WaitForAttached(false, 20000));
    emulator_->Replug();
    EXPECT_TRUE(ButtonsAre(true, false));
}

TEST_F(CarrierSwitchTest, WithoutDomainNameTheWebServerIsNeverAsked)
{
    WriteConfig(3, "[MARL_SWITCH_MODE_TOOL_INFO]\r\n");
    emulator_->SetMode(modemsim::Mode::NetCard);
    OpenTool();
    // the card is listed, but an empty host name never reaches the web server
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(emulator_->HttpRequests().empty());
    EXPECT_TRUE(ButtonsAre(false, false, 0));
    // modem mode needs no web server
    emulator_->SetMode(modemsim::Mode::Modem);
    EXPECT_TRUE(ButtonsAre(true, false));
}

// Run only as second copies, started by the test below.
TEST(CarrierSwitchSecondCopy, Carrier) { secondcopy::RunAsSecondCopy<CMarlSwitchModeToolDlg>(); }
TEST(CarrierSwitchSecondCopy, Generic) { secondcopy::RunAsSecondCopy<CSwitchModeToolDlg>(); }

TEST_F(CarrierSwitchTest, CarrierAndGenericSwitchToolsExcludeEachOther)
{
    // the carrier tool runs: a second carrier or generic copy is refused
    OpenTool();
    ASSERT_TRUE(ButtonsAre(true, false));
    secondcopy::Refusal carrier = secondcopy::StartSecondCopy("CarrierSwitchSecondCopy.Carrier", place_.Work());
    EXPECT_EQ(carrier.exitCode, 0);
    ASSERT_TRUE(carrier.seen);
    EXPECT_TRUE(carrier.messageBox);
    EXPECT_NE(carrier.type & MB_ICONINFORMATION, 0u);
    EXPECT_EQ(carrier.caption, WideToUtf8(kTitle));
    EXPECT_EQ(carrier.text, "このプログラムは既に起動中です。");
    secondcopy::Refusal generic = secondcopy::StartSecondCopy("CarrierSwitchSecondCopy.Generic", place_.Work());
    EXPECT_EQ(generic.exitCode, 0);
    ASSERT_TRUE(generic.seen);
    EXPECT_EQ(generic.templateId, IDD_PROMPT_INFO);
    // the generic tool chose its language file before it refused
    EXPECT_EQ(generic.caption, "注意");
    EXPECT_EQ(generic.text, "モード切替ツールは既に起動中です。");
    tool_.Close();

    // the generic tool runs: the carrier tool is refused
    tooltest::ModalRun<CSwitchModeToolDlg> genericTool;
    ASSERT_NE(genericTool.Open(IDD_SWITCH_MODE_TOOL), nullptr);
    secondcopy::Refusal refused = secondcopy::StartSecondCopy("CarrierSwitchSecondCopy.Carrier", place_.Work());
    EXPECT_EQ(refused.exitCode, 0);
    ASSERT_TRUE(refused.seen);
    EXPECT_TRUE(refused.messageBox);
    EXPECT_EQ(refused.caption, WideToUtf8(kTitle));
    genericTool.Close();
}
