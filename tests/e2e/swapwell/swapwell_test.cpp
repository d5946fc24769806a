// The mode switch tool against the emulator, in the headless back end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/app_paths.h"
#include "app/notice_dialogs.h"
#include "app/prompt_dialogs.h"
#include "emulator/modem_emulator.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/ui/test_driver.h"
#include "platform/win/debug_output.h"
#include "platform/win/own_resources.h"
#include "platform/win/registry.h"
#include "tests/support/settled_click.h"
#include "tests/support/tool_test_env.h"
#include "tests/e2e/swapwell/swapwell_fixture.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"
#include "tools/genswitch/switch_port_watch.h"

namespace fs = std::filesystem;
using namespace ui::test;

namespace {

char (*Entries())[KESTLE_ENTRY_SIZE]
{
    static char entries[4][KESTLE_ENTRY_SIZE];
    return entries;
}

SwitchPortKind Classify(std::initializer_list<const char*> texts)
{
    char(*entries)[KESTLE_ENTRY_SIZE] = Entries();
    int n = 0;
    for (const char* t : texts)
        std::snprintf(entries[n++], KESTLE_ENTRY_SIZE, "%s", t);
    return ClassifySwitchListing(entries, n);
}

class SwapwellTest : public swapwelltest::SwapwellToolTest {};

}  // namespace

TEST(SwitchListing, FirstMatchingEntryDecidesAndCaseCounts)
{
    EXPECT_EQ(Classify({"Kestle ui at port (COM6)", "usb_rndisx card"}), SwitchPortKind::ModemPort);
    EXPECT_EQ(Classify({"other", "usbrndis6 card", "nmea (COM6)"}), SwitchPortKind::NetworkCard);
    EXPECT_EQ(Classify({"UI AT port", "USB_RNDISX", "NMEA"}), SwitchPortKind::None);
    EXPECT_EQ(Classify({}), SwitchPortKind::None);
}

TEST_F(SwapwellTest, StartsInJapaneseWithTheButtonThatFitsModemMode)
{
    OpenTool();
    EXPECT_TRUE(ButtonsAre(true, false));
    EXPECT_NE(Text(hwnd_).find(L"モード切替ツール"), std::wstring::npos);
    EXPECT_FALSE(IsVisible(Item(IDC_GEN_WAITING_INFO)));
    EXPECT_FALSE(IsVisible(Item(IDC_GEN_WAITING_ANIMATION)));
    EXPECT_TRUE(fs::exists(place_.Work() + "/lan_jap_cfg.ini"));
}

TEST_F(SwapwellTest, NormalModeSwitchesToTheNetworkCard)
{
    OpenTool();
    ASSERT_TRUE(ButtonsAre(true, false));
    DebugCapture capture;
    ASSERT_TRUE(Click(Item(IDC_GEN_NORMAL_MODE)));
    // the notice comes first while its key is absent; only its OK closes it
    auto notice = WaitForPopup(30000);
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->templateId, IDD_NORMAL_MODE_NOTICE);
    ASSERT_TRUE(Click(Control(notice->hwnd, IDC_NORMAL_NOTICE_OK)));
    EXPECT_TRUE(WaitUntil([&] { return IsVisible(Item(IDC_GEN_WAITING_ANIMATION)); }, 30000));
    // Japanese: the second line carries the animation, the first the message
    EXPECT_TRUE(WaitUntil([&] { return Text(Item(IDC_GEN_WAITING_ANIMATION)).rfind(L" モード", 0) == 0; }, 30000));
    EXPECT_EQ(Text(Item(IDC_GEN_WAITING_INFO)), L"モードを切り替えています。しばらくお待ち下さい");
    std::wstring result = AnswerNext(IDD_PROMPT_INFO);
    EXPECT_NE(result.find(L"成功"), std::wstring::npos);
    EXPECT_EQ(CountAt("AT+ZCPE=o"), 1u);
    EXPECT_EQ(CountAt("AT+ZRST"), 1u);
    EXPECT_EQ(emulator_->CurrentMode(), modemsim::Mode::NetCard);
    // the watch thread comes back and asks the web server before trusting the card
    EXPECT_TRUE(ButtonsAre(false, true));
    bool versionAsked = false;
    for (const auto& request : emulator_->HttpRequests())
        versionAsked |= request.body.find("command=get_current_version") != std::string::npos;
    EXPECT_TRUE(versionAsked);
    EXPECT_GE(capture.Count("kestle:SwitchNormalModeOperationThread 1  "), 1u);
    EXPECT_GE(capture.Count("KESTLE: CPlatformManager, Search RNDIS Port SUCCESS!"), 1u);
    EXPECT_FALSE(IsVisible(Item(IDC_GEN_WAITING_INFO)));
}

TEST_F(SwapwellTest, ModemModeSwitchesBackThroughTheWebServer)
{
    emulator_->SetMode(modemsim::Mode::NetCard);
    SetNoticeKey(kModemModeSuffix);
    OpenTool();
    ASSERT_TRUE(ButtonsAre(false, true));
    ASSERT_TRUE(Click(Item(IDC_GEN_MODEM_MODE)));
    std::wstring result = AnswerNext(IDD_PROMPT_INFO);
    EXPECT_NE(result.find(L"成功"), std::wstring::npos);
    EXPECT_EQ(emulator_->CurrentMode(), modemsim::Mode::Modem);
    bool sawMode = false, sawReboot = false;
    for (const auto& request : emulator_->HttpRequests()) {
        sawMode |= request.body.find("goformId=SET_PRODUCT_MODE&debug_enable=1") != std::string::npos;
        sawReboot |= request.body.find("REBOOT_DEVICE") != std::string::npos;
    }
    EXPECT_TRUE(sawMode);
    EXPECT_TRUE(sawReboot);
    EXPECT_TRUE(ButtonsAre(true, false));
}

TEST_F(SwapwellTest, NoticeKeyPresentGoesStraightToTheCommands)
{
    SetNoticeKey(kNormalModeSuffix);
    OpenTool();
    ASSERT_TRUE(ButtonsAre(true, false));
    ASSERT_TRUE(Click(Item(IDC_GEN_NORMAL_MODE)));
    EXPECT_EQ(AnswerNext(IDD_PROMPT_INFO).find(L"成功") != std::wstring::npos, true);
}

TEST_F(SwapwellTest, AtCommandFailingThreeTimesGivesFailed)
{
    SetNoticeKey(kNormalModeSuffix);
    modemsim::Fault fault;
    fault.kind = modemsim::FaultKind::Garbage;
    fault.text = "\r\nERROR\r\n";
    fault.times = -1;
    emulator_->InjectAtFault("AT+ZCPE", fault);
    OpenTool();
    ASSERT_TRUE(ButtonsAre(true, false));
    ASSERT_TRUE(Click(Item(IDC_GEN_NORMAL_MODE)));
    EXPECT_NE(AnswerNext(IDD_PROMPT_INFO).find(L"失敗"), std::wstring::npos);
    EXPECT_EQ(CountAt("AT+ZCPE=o"), 3u);
    EXPECT_EQ(CountAt("AT+ZRST"), 0u);
    EXPECT_EQ(emulator_->CurrentMode(), modemsim::Mode::Modem);
}

TEST_F(SwapwellTest, RefusedModeRequestsAreTriedThreeTimes)
{
    emulator_->SetMode(modemsim::Mode::NetCard);
    SetNoticeKey(kModemModeSuffix);
    OpenTool();
    const struct {
        int failures;
        const wchar_t* result;
        size_t reboots;
        modemsim::Mode after;
    } cases[] = {
        {3, L"失敗", 0, modemsim::Mode::NetCard},  // every try refused: no reboot
        {2, L"成功", 1, modemsim::Mode::Modem},    // the third try is taken
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failures);
        ASSERT_TRUE(ButtonsAre(false, true));
        emulator_->ClearReceived();
        emulator_->InjectHttpFault("SET_PRODUCT_MODE", 500, c.failures);
        ASSERT_TRUE(tooltest::ClickWhenSettled(tool_.dialog(), Item(IDC_GEN_MODEM_MODE)));
        EXPECT_NE(AnswerNext(IDD_PROMPT_INFO).find(c.result), std::wstring::npos);
        size_t modeRequests = 0, reboots = 0;
        for (const auto& request : emulator_->HttpRequests()) {
            modeRequests += request.body.find("goformId=SET_PRODUCT_MODE&") != std::string::npos;
            reboots += request.body.find("REBOOT_DEVICE") != std::string::npos;
        }
        EXPECT_EQ(modeRequests, 3u);
        EXPECT_EQ(reboots, c.reboots);
        EXPECT_EQ(emulator_->CurrentMode(), c.after);
    }
}

TEST_F(SwapwellTest, DeviceNeverComingBackGivesFailedAfterTheWait)
{
    SetNoticeKey(kNormalModeSuffix);
    emulator_->SetRestartMs(100000000);
    OpenTool();
    ASSERT_TRUE(ButtonsAre(true, false));
    ASSERT_TRUE(Click(Item(IDC_GEN_NORMAL_MODE)));
    EXPECT_NE(AnswerNext(IDD_PROMPT_INFO, 120000).find(L"失敗"), std::wstring::npos);
    EXPECT_EQ(CountAt("AT+ZRST"), 1u);
    EXPECT_FALSE(IsVisible(Item(IDC_GEN_WAITING_INFO)));
    EXPECT_TRUE(ButtonsAre(false, false));
}

TEST_F(SwapwellTest, NoAtPortGivesFailedAfterThreeTries)
{
    OpenTool();
    ASSERT_TRUE(ButtonsAre(true, false));
    DebugCapture capture;
    ASSERT_TRUE(Click(Item(IDC_GEN_NORMAL_MODE)));
    // the notice holds the worker before its first AT step: the device goes then
    auto notice = WaitForPopup(30000);
    ASSERT_TRUE(notice.has_value());
    ASSERT_EQ(notice->templateId, IDD_NORMAL_MODE_NOTICE);
    emulator_->Unplug();
    ASSERT_TRUE(Click(Control(notice->hwnd, IDC_NORMAL_NOTICE_OK)));
    EXPECT_NE(AnswerNext(IDD_PROMPT_INFO, 120000).find(L"失敗"), std::wstring::npos);
    EXPECT_EQ(capture.Count("kestle:SwitchNormalModeOperationThread 2"), 3u);
    EXPECT_EQ(capture.Count("kestle:SwitchNormalModeOperationThread 4"), 1u);
    EXPECT_EQ(CountAt("AT+ZRST"), 0u);
}

TEST_F(SwapwellTest, NetworkCardWithoutWebServerLeavesTheButtons)
{
    emulator_->SetMode(modemsim::Mode::NetCard);
    emulator_->InjectHttpFault("/goform/goform_get_cmd_process", 500, -1);
    emulator_->InjectHttpFault("ONLINE_UPGRADE_TOOL", 500, -1);
    OpenTool();
    // the watch keeps asking and never enables a button
    EXPECT_FALSE(WaitUntil([&] { return IsEnabled(Item(IDC_GEN_MODEM_MODE)); }, 300));
    EXPECT_FALSE(IsEnabled(Item(IDC_GEN_NORMAL_MODE)));
    emulator_->ClearFaults();
    EXPECT_TRUE(ButtonsAre(false, true));
}

TEST_F(SwapwellTest, EnglishFromTheMenuChangesEveryText)
{
    SetNoticeKey(kNormalModeSuffix);
    OpenTool();
    ASSERT_TRUE(ChooseMenuItem(hwnd_, ID_LANGUAGE_ENGLISH_138));
    EXPECT_TRUE(WaitUntil([&] { return Text(hwnd_) == L"Modem Switch Tool for K415NQ"; }));
    EXPECT_EQ(Text(Item(IDC_GEN_NORMAL_MODE)), L"NORMAL MODE");
    EXPECT_EQ(Text(Item(IDC_GEN_MODEM_MODE)), L"MODEM MODE");
    EXPECT_EQ(Text(Item(IDC_GEN_SWITCH_GROUP)), L"Select the mode for your device.");
    EXPECT_TRUE(fs::exists(place_.Work() + "/lan_eng_cfg.ini"));
    ASSERT_TRUE(ButtonsAre(true, false));
    ASSERT_TRUE(Click(Item(IDC_GEN_NORMAL_MODE)));
    // English animates the message line itself; the second line stays hidden
    EXPECT_TRUE(WaitUntil([&] { return Text(Item(IDC_GEN_WAITING_INFO)).find(L" Switching mode, please wait") == 0; },
                          30000));
    EXPECT_FALSE(IsVisible(Item(IDC_GEN_WAITING_ANIMATION)));
    EXPECT_EQ(AnswerNext(IDD_PROMPT_INFO), L"Set successfully!");
}
