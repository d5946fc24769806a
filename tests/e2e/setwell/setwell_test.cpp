// The VX520 modem setting tool against the emulator, in the headless back end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/app_paths.h"
#include "app/language.h"
#include "app/prompt_dialogs.h"
#include "device/device_lock.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"
#include "platform/win/own_resources.h"
#include "tests/e2e/setwell/setwell_fixture.h"
#include "tests/support/tool_test_env.h"
#include "tools/vx520/network_page.h"
#include "tools/vx520/pin_pages.h"
#include "tools/vx520/vx520_dialog.h"

namespace fs = std::filesystem;
using namespace ui::test;
using modemsim::SimState;

namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

constexpr const wchar_t* kJapaneseTitle = L"K415NQ モデム設定ツール";
constexpr const wchar_t* kEnglishTitle = L"Modem Setting Tool for K415NQ";

// Network page controls that follow the device.
constexpr int kSettingIds[] = {IDC_NET_MODE_HEADING,     IDC_NET_MODE_ALL,        IDC_NET_MODE_LTE,
                               IDC_NET_PROFILE_HEADING,  IDC_NET_APN_LABEL,       IDC_NET_APN_EDIT,
                               IDC_NET_ROAMING_HEADING,  IDC_NET_ROAMING_ENABLE,  IDC_NET_ROAMING_DISABLE,
                               IDC_NET_ROAMING_WARNING,  IDC_NET_SELECTION_HEADING, IDC_NET_SELECTION_AUTO,
                               IDC_NET_SELECTION_MANUAL, IDC_NET_LIST_HEADING};

class SetwellTest : public setwelltest::SetwellToolTest {
protected:
    void OpenTool()
    {
        hwnd_ = tool_.Open(IDD_VX520_MODEM_SETTING);
        ASSERT_NE(hwnd_, nullptr);
        dialog_ = tool_.dialog();
    }

    bool ButtonsEnabled(bool enabled)
    {
        return WaitUntil([&] {
            return IsEnabled(Item(IDC_VX520_READ)) == enabled && IsEnabled(Item(IDC_VX520_APPLY)) == enabled;
        });
    }

    // Opens the tool and waits until the watch thread's first pass, which
    // enables the buttons before it reads the network page for the new
    // connection, has ended: the second pass has begun.
    void OpenToolPastFirstPass()
    {
        DebugCapture capture;
        OpenTool();
        ASSERT_TRUE(WaitUntil([&] { return capture.Count("Search NMEA Port SUCCESS!") >= 2; }));
    }
};

}  // namespace

TEST(CpinAnswer, FirstNamedStateWinsInAnyCase)
{
    struct Case {
        const char* answer;
        int state;
    };
    const Case cases[] = {
        {"+CPIN: READY", SIM_STATE_READY},
        {"+cpin: sim ready", SIM_STATE_READY},
        {"+CPIN: SIM PIN", SIM_STATE_PIN},
        {"+CPIN: Sim Pin2", SIM_STATE_PIN},
        {"+CPIN: SIM PUK", SIM_STATE_PUK},
        {"+CME ERROR: SIM not inserted", SIM_STATE_NOT_INSERTED},
        {"+CME ERROR: SIM busy", SIM_STATE_BUSY},
        {"+CME ERROR: SIM failure", SIM_STATE_FAILURE},
        // an earlier row of the search wins over a later one
        {"SIM BUSY, then READY", SIM_STATE_BUSY},
        {"+CME ERROR: incorrect parameters", SIM_STATE_UNKNOWN},
        {"", SIM_STATE_UNKNOWN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SimStateFromCpinAnswer(c.answer), c.state) << c.answer;
    EXPECT_EQ(SimStateFromCpinAnswer(nullptr), SIM_STATE_UNKNOWN);
}

TEST(PinPageKind, FollowsTheSimState)
{
    const int expected[][2] = {{0, PIN_PAGE_SETTING}, {1, PIN_PAGE_SETTING}, {2, PIN_PAGE_SETTING},
                               {3, PIN_PAGE_ENTRY},   {4, PIN_PAGE_PUK},     {5, PIN_PAGE_SETTING},
                               {6, PIN_PAGE_SETTING}, {7, PIN_PAGE_SETTING}, {8, PIN_PAGE_SETTING},
                               {9, PIN_PAGE_SIM_FAIL}, {10, -1},             {-1, -1}};
    for (const auto& row : expected)
        EXPECT_EQ(PinPageKindForSimState(row[0]), row[1]) << row[0];
}

TEST_F(SetwellTest, StartsInJapaneseWithEverythingDisabledWithoutAModem)
{
    StartEmulator();
    emulator_->Unplug();
    DebugCapture capture;
    OpenTool();
    // the pass traces the failed search before it disables the controls; the
    // second trace comes after the first pass has ended
    ASSERT_TRUE(WaitUntil([&] { return capture.Count("KESTLE: CPlatformManager, Search NMEA Port Fail!") >= 2; }));
    EXPECT_EQ(Text(hwnd_), kJapaneseTitle);
    EXPECT_EQ(Items(Tab()), (std::vector<std::wstring>{L"ネットワーク設定", L"PIN管理"}));
    EXPECT_EQ(Text(Item(IDC_VX520_READ)), L"読み込み");
    EXPECT_EQ(Text(Item(IDC_VX520_APPLY)), L"適用");
    EXPECT_EQ(Selection(Tab()), 0);
    EXPECT_TRUE(ButtonsEnabled(false));
    for (int id : kSettingIds)
        EXPECT_FALSE(IsEnabled(NetItem(id))) << id;
    EXPECT_FALSE(IsEnabled(NetItem(IDC_NET_SEARCH)));
    EXPECT_FALSE(IsEnabled(NetItem(IDC_NET_OPERATOR_LIST)));
    for (int id : kNetworkAuthControls)
        EXPECT_FALSE(IsVisible(NetItem(id))) << id;
    EXPECT_TRUE(Rows(NetItem(IDC_NET_OPERATOR_LIST)).empty());
    auto menu = MenuItems(hwnd_);
    ASSERT_FALSE(menu.empty());
    EXPECT_EQ(menu[0].rfind(L"日本語", 0), 0u);
    EXPECT_TRUE(fs::exists(place_.Work() + "/lan_jap_cfg.ini"));
    EXPECT_TRUE(fs::exists(place_.Work() + "/lan_eng_cfg.ini"));
    EXPECT_EQ(g_strLanguageFilePath, Wide(place_.Work() + "/lan_jap_cfg.ini"));
}

TEST_F(SetwellTest, PluggedInReadySimEnablesTheNetworkPageAndReadsItOnce)
{
    StartEmulator();
    emulator_->Unplug();
    modemsim::PdpContext context;
    context.apn = "plugged.apn";
    emulator_->SetPdpContext(context);
    modemsim::AuthProfile auth;
    auth.type = 1;
    auth.user = "someone";
    emulator_->SetAuthProfile(auth);
    DebugCapture capture;
    OpenTool();
    ASSERT_TRUE(WaitUntil([&] { return capture.Count("Search NMEA Port Fail!") > 0; }));
    emulator_->ClearReceived();
    emulator_->Replug();

    ASSERT_TRUE(ButtonsEnabled(true));
    EXPECT_TRUE(WaitUntil([&] { return Text(NetItem(IDC_NET_APN_EDIT)) == L"plugged.apn"; }));
    for (int id : kSettingIds)
        EXPECT_TRUE(WaitUntil([&] { return IsEnabled(NetItem(id)); })) << id;
    EXPECT_TRUE(WaitUntil([&] { return IsVisible(NetItem(IDC_NET_AUTH_COMBO)); }));
    EXPECT_TRUE(IsEnabled(NetItem(IDC_NET_AUTH_LABEL)));
    EXPECT_TRUE(IsEnabled(NetItem(IDC_NET_AUTH_COMBO)));
    EXPECT_TRUE(IsEnabled(NetItem(IDC_NET_USER_EDIT)));
    EXPECT_EQ(Text(NetItem(IDC_NET_AUTH_LABEL)), L"認証方式:");
    EXPECT_EQ(Text(NetItem(IDC_NET_USER_LABEL)), L"ユーザー名:");
    EXPECT_EQ(Text(NetItem(IDC_NET_PASSWORD_LABEL)), L"パスワード:");
    // later cycles only follow the SIM: the settings were read on connecting only
    capture.Clear();
    ASSERT_TRUE(WaitUntil([&] { return capture.Count("Search NMEA Port SUCCESS!") >= 3; }));
    EXPECT_EQ(CountAt("AT+ZSNT?"), 1u);
    EXPECT_EQ(CountAt("AT+CGDCONT?"), 1u);

    // the device goes: everything off again and the operator list emptied
    emulator_->Unplug();
    EXPECT_TRUE(ButtonsEnabled(false));
    EXPECT_TRUE(WaitUntil([&] { return !IsVisible(NetItem(IDC_NET_AUTH_COMBO)); }));
    for (int id : kSettingIds)
        EXPECT_FALSE(IsEnabled(NetItem(id))) << id;
    EXPECT_TRUE(Rows(NetItem(IDC_NET_OPERATOR_LIST)).empty());
}

TEST_F(SetwellTest, AuthenticationNoneKeepsUserAndPasswordDisabledEveryCycle)
{
    StartEmulator();
    modemsim::AuthProfile none;
    none.type = 0;
    emulator_->SetAuthProfile(none);
    DebugCapture capture;
    OpenTool();
    ASSERT_TRUE(ButtonsEnabled(true));
    ASSERT_TRUE(WaitUntil([&] { return Selection(NetItem(IDC_NET_AUTH_COMBO)) == NET_AUTH_INDEX_NONE; }));
    const int credentialIds[] = {IDC_NET_USER_LABEL, IDC_NET_PASSWORD_LABEL, IDC_NET_USER_EDIT,
                                 IDC_NET_PASSWORD_EDIT};
    for (int id : credentialIds)
        EXPECT_TRUE(WaitUntil([&] { return !IsEnabled(NetItem(id)); })) << id;
    // turned on behind the tool's back, the next cycle turns them off again
    for (int id : credentialIds)
        EnableWindow(NetItem(id), TRUE);
    for (int id : credentialIds)
        EXPECT_TRUE(WaitUntil([&] { return !IsEnabled(NetItem(id)); })) << id;
    EXPECT_TRUE(IsEnabled(NetItem(IDC_NET_AUTH_COMBO)));
}

TEST_F(SetwellTest, NotReadySimKeepsTheNetworkPageDisabled)
{
    StartEmulator(SimState::Pin);
    DebugCapture capture;
    OpenTool();
    ASSERT_TRUE(WaitUntil([&] { return capture.Count("Search NMEA Port SUCCESS!") >= 3; }));
    EXPECT_FALSE(IsEnabled(Item(IDC_VX520_READ)));
    EXPECT_FALSE(IsEnabled(Item(IDC_VX520_APPLY)));
    for (int id : kSettingIds)
        EXPECT_FALSE(IsEnabled(NetItem(id))) << id;
    for (int id : kNetworkAuthControls)
        EXPECT_FALSE(IsVisible(NetItem(id))) << id;
    // on the PIN tab the buttons act on the PIN page
    ASSERT_TRUE(SelectTab(Tab(), 1));
    EXPECT_TRUE(ButtonsEnabled(true));
}

TEST_F(SetwellTest, PinTabShowsThePageOfTheSimState)
{
    struct Case {
        SimState sim;
        int pinLeft, pukLeft;
        UINT page;
    };
    const Case cases[] = {
        {SimState::Pin, 3, 10, IDD_VX520_PIN_ENTRY_PAGE},
        {SimState::Puk, 0, 10, IDD_VX520_PUK_ENTRY_PAGE},
        {SimState::Ready, 3, 10, IDD_VX520_PIN_SETTING_PAGE},
        {SimState::Fail, 0, 0, IDD_VX520_SIM_FAIL_PAGE},
        // a SIM without attempts left counts as failed whatever it answers
        {SimState::Ready, 0, 0, IDD_VX520_SIM_FAIL_PAGE},
    };
    StartEmulator();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(modemsim::SimStateName(c.sim)) + " " + std::to_string(c.pinLeft));
        emulator_->SetSim(c.sim);
        emulator_->SetPinCounters(c.pinLeft, c.pukLeft);
        OpenTool();
        ASSERT_TRUE(SelectTab(Tab(), 1));
        EXPECT_TRUE(PinPageShown(c.page));
        EXPECT_EQ(Items(Tab()).at(1), L"PIN管理");
        EXPECT_TRUE(ButtonsEnabled(true));
        tool_.Close();
    }
}

TEST_F(SetwellTest, PinStateReadAfterEveryWorkerWhileThePinTabIsCurrent)
{
    StartEmulator(SimState::Ready);
    // a press during the first pass's network read can meet disabled buttons
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_TRUE(SelectTab(Tab(), 1));
    ASSERT_TRUE(PinPageShown(IDD_VX520_PIN_SETTING_PAGE));
    ASSERT_TRUE(ButtonsEnabled(true));
    // the SIM changes; the page follows once the watch thread starts again
    emulator_->SetSim(SimState::Pin);
    emulator_->ClearReceived();
    ASSERT_TRUE(Click(Item(IDC_VX520_READ)));
    EXPECT_TRUE(PinPageShown(IDD_VX520_PIN_ENTRY_PAGE));
    EXPECT_TRUE(ButtonsEnabled(true));
    // the Read worker itself leaves a PIN-asking SIM alone and prompts nothing
    EXPECT_FALSE(WaitForPopup(300).has_value());
    EXPECT_GE(CountAt("AT+CPIN?"), 1u);
}

TEST_F(SetwellTest, ReadAndApplyOnThePinTabAskForASimWhenNoneIsInserted)
{
    DebugCapture capture;
    StartEmulator(SimState::None);
    OpenTool();
    ASSERT_TRUE(SelectTab(Tab(), 1));
    ASSERT_TRUE(PinPageShown(IDD_VX520_PIN_SETTING_PAGE));
    for (int button : {IDC_VX520_READ, IDC_VX520_APPLY}) {
        SCOPED_TRACE(button);
        // a press while the last worker is still ending is refused; the worker
        // enables the buttons just before the watch thread it restarts
        // disables them again until its pass has found the port, so only the
        // buttons enabled after that pass (and the PIN page's fill it asks
        // for, which holds them meanwhile) take a press
        ASSERT_TRUE(WaitUntil([&] {
            return !dialog_->WorkerRunning() && capture.Count("Search NMEA Port SUCCESS!") > 0 &&
                   dialog_->m_nPinRefreshFlag.load() == 0;
        }));
        ASSERT_TRUE(PageReadsOver());
        ASSERT_TRUE(ButtonsEnabled(true));
        emulator_->ClearReceived();
        ASSERT_TRUE(Click(Item(button)));
        auto popup = WaitForPopup(30000);
        ASSERT_TRUE(popup.has_value());
        EXPECT_EQ(popup->templateId, IDD_PROMPT_INFO);
        EXPECT_EQ(popup->caption, L"注意");
        EXPECT_EQ(popup->text, L"SIMカードを挿入して下さい。");
        // the watch thread stays stopped while the worker shows its prompt
        capture.Clear();
        ClosePopup(*popup);
    }
    // Apply sent nothing that changes the SIM
    EXPECT_EQ(CountAt("AT+CPIN="), 0u);
}

TEST_F(SetwellTest, ReadOnTheNetworkTabReadsTheSettingsAgain)
{
    StartEmulator();
    // a press during the first pass's network read can meet disabled buttons
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_TRUE(ButtonsEnabled(true));
    modemsim::PdpContext context;
    context.apn = "second.read";
    emulator_->SetPdpContext(context);
    ASSERT_TRUE(Click(Item(IDC_VX520_READ)));
    EXPECT_TRUE(WaitUntil([&] { return Text(NetItem(IDC_NET_APN_EDIT)) == L"second.read"; }, 30000));
    EXPECT_TRUE(ButtonsEnabled(true));
}

TEST_F(SetwellTest, ApplyOnTheNetworkTabWritesTheApn)
{
    StartEmulator();
    // a press during the first pass's network read can meet disabled buttons
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_TRUE(ButtonsEnabled(true));
    // the read made on connecting fills the edit first
    ASSERT_TRUE(WaitUntil([&] { return Text(NetItem(IDC_NET_APN_EDIT)) == L"internet"; }));
    ASSERT_TRUE(IsEnabled(NetItem(IDC_NET_APN_EDIT)));
    ASSERT_TRUE(TypeText(NetItem(IDC_NET_APN_EDIT), L"applied.apn"));
    ASSERT_TRUE(Click(Item(IDC_VX520_APPLY)));
    EXPECT_TRUE(AnswerUntil(L"設定に成功しました。", 60000));
    // the notices that follow the outcome belong to the page
    while (AnswerPopup(1000)) {
    }
    EXPECT_TRUE(WaitUntil([&] {
        auto contexts = emulator_->PdpContexts();
        return !contexts.empty() && contexts[0].apn == "applied.apn";
    }));
    EXPECT_TRUE(ButtonsEnabled(true));
}

// The tab change to the network tab returns without waiting for the device:
// the page is shown with the tab sheet, Read, Apply and its inputs off while
// its read runs beside the UI thread, and all of them come back after it.
TEST_F(SetwellTest, TabChangeToTheNetworkTabReadsOffTheUiThread)
{
    StartEmulator();
    // the network read of that pass would add to the exchanges counted here
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_TRUE(ButtonsEnabled(true));
    ASSERT_TRUE(SelectTab(Tab(), 1));
    ASSERT_TRUE(PinPageShown(IDD_VX520_PIN_SETTING_PAGE));
    ASSERT_TRUE(WaitUntil([&] { return dialog_->m_nPinPageReady.load() == 1; }));
    // the watch's PIN page switch and its fill are over
    ASSERT_TRUE(WaitUntil([&] { return dialog_->m_nPinRefreshFlag.load() == 0; }));
    ASSERT_TRUE(PageReadsOver());
    emulator_->ClearReceived();
    {
        // the device is busy elsewhere: a read on the UI thread would not return
        std::unique_lock<std::recursive_mutex> device(DeviceOperationLock());
        ASSERT_TRUE(SelectTab(Tab(), 0));
        ASSERT_TRUE(WaitIdle(hwnd_));
        EXPECT_TRUE(IsVisible(FindDialog(IDD_VX520_NETWORK_PAGE)));
        EXPECT_EQ(Selection(Tab()), 0);
        EXPECT_EQ(CountAt("AT+ZSNT?"), 0u);
        EXPECT_FALSE(IsEnabled(Tab()));
        EXPECT_FALSE(IsEnabled(Item(IDC_VX520_READ)));
        EXPECT_FALSE(IsEnabled(Item(IDC_VX520_APPLY)));
        EXPECT_FALSE(IsEnabled(NetItem(IDC_NET_APN_EDIT)));
        EXPECT_FALSE(IsEnabled(NetItem(IDC_NET_MODE_ALL)));
        // a click meanwhile is refused where the user sees it
        EXPECT_FALSE(Click(Item(IDC_VX520_APPLY)));
    }
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Tab()); }));
    EXPECT_EQ(CountAt("AT+ZSNT?"), 1u);
    EXPECT_GE(CountAt("AT+CPIN?"), 1u);
    // in the order of the read
    const std::vector<std::string> lines = emulator_->AtLines();
    auto at = [&](const std::string& prefix) {
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind(prefix, 0) == 0)
                return static_cast<long>(i);
        return -1L;
    };
    EXPECT_LT(at("AT+CPIN?"), at("AT+ZSNT?"));
    EXPECT_LT(at("AT+ZSNT?"), at("AT+CGDCONT?"));
    EXPECT_LT(at("AT+CGDCONT?"), at("AT+ZDATAROAM?"));
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(NetItem(IDC_NET_APN_EDIT)) && ButtonsEnabled(true); }));
}

TEST_F(SetwellTest, TabChangeIsIgnoredWhileThePinPageUpdates)
{
    StartEmulator();
    // the network read of that pass would add to the exchanges counted here
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_TRUE(ButtonsEnabled(true));
    ASSERT_TRUE(SelectTab(Tab(), 1));
    ASSERT_TRUE(WaitUntil([&] { return dialog_->m_nPinPageReady.load() == 1; }));
    // as while UpdatePINInterfaceThread runs
    dialog_->m_nPinPageReady = 0;
    emulator_->ClearReceived();
    ASSERT_TRUE(SelectTab(Tab(), 0));
    EXPECT_EQ(CountAt("AT+ZSNT?"), 0u);
    EXPECT_EQ(CountAt("AT+CGDCONT?"), 0u);
    dialog_->m_nPinPageReady = 1;
}

TEST_F(SetwellTest, SwitchPinPageMessageChoosesThePage)
{
    struct Step {
        WPARAM wParam;
        LPARAM lParam;
        UINT shown;  // 0: the page on display stays
    };
    const Step steps[] = {
        {1, 1, IDD_VX520_MODIFY_PIN_PAGE},
        {1, 2, IDD_VX520_PIN_SETTING_PAGE},
        {0, 1, 0},                           // kind set, nothing shown yet
        {1, 7, IDD_VX520_MODIFY_PIN_PAGE},   // an unknown lParam keeps the kind
        {1, 2, IDD_VX520_PIN_SETTING_PAGE},
        {0, 3, 0},                           // remembered for the next showing
        {1, 0, IDD_VX520_MODIFY_PIN_PAGE},
    };
    StartEmulator();
    // the watch thread's PIN refresh, due since its start, sets the kind from
    // the SIM and posts its own switch on its first pass over the PIN tab; it
    // has to be handled before the steps' messages
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_TRUE(SelectTab(Tab(), 1));
    ASSERT_TRUE(PinPageShown(IDD_VX520_PIN_SETTING_PAGE));
    ASSERT_TRUE(ButtonsEnabled(true));
    ASSERT_TRUE(WaitUntil([&] { return dialog_->m_nPinRefreshFlag.load() == 0; }));
    ASSERT_TRUE(WaitIdle(hwnd_));
    UINT onDisplay = IDD_VX520_PIN_SETTING_PAGE;
    for (const Step& s : steps) {
        SCOPED_TRACE(std::to_string(s.wParam) + "," + std::to_string(s.lParam));
        ASSERT_TRUE(PostMessage(hwnd_, WM_SWITCH_PIN_PAGE, s.wParam, s.lParam));
        ASSERT_TRUE(WaitIdle(hwnd_));
        if (s.shown)
            onDisplay = s.shown;
        EXPECT_TRUE(PinPageShown(onDisplay));
    }
}

TEST_F(SetwellTest, SwitchPinPageWhileTheNetworkTabIsCurrentShowsNothing)
{
    StartEmulator();
    OpenTool();
    ASSERT_TRUE(ButtonsEnabled(true));
    ASSERT_TRUE(PostMessage(hwnd_, WM_SWITCH_PIN_PAGE, 1, 1));
    ASSERT_TRUE(WaitIdle(hwnd_));
    EXPECT_EQ(FindDialog(IDD_VX520_MODIFY_PIN_PAGE), nullptr);
    EXPECT_TRUE(IsVisible(FindDialog(IDD_VX520_NETWORK_PAGE)));
    EXPECT_EQ(Selection(Tab()), 0);
}

TEST_F(SetwellTest, LanguageMenuSwitchesEveryText)
{
    StartEmulator();
    OpenTool();
    ASSERT_TRUE(ButtonsEnabled(true));
    ASSERT_TRUE(ChooseMenuItem(hwnd_, ID_LANGUAGE_ENGLISH_138));
    EXPECT_EQ(Text(hwnd_), kEnglishTitle);
    EXPECT_EQ(Text(Item(IDC_VX520_READ)), L"Read");
    EXPECT_EQ(Text(Item(IDC_VX520_APPLY)), L"Apply");
    EXPECT_EQ(Items(Tab()), (std::vector<std::wstring>{L"Network Setting", L"PIN Management"}));
    EXPECT_EQ(Text(NetItem(IDC_NET_MODE_HEADING)), L"Mobile Network Setting");
    EXPECT_TRUE(WaitUntil([&] { return Text(NetItem(IDC_NET_AUTH_LABEL)) == L"Authentication:"; }));
    EXPECT_EQ(g_strLanguageFilePath, Wide(place_.Work() + "/lan_eng_cfg.ini"));
    auto menu = MenuItems(hwnd_);
    ASSERT_FALSE(menu.empty());
    EXPECT_EQ(menu[0].rfind(L"English", 0), 0u);

    // the PIN page follows the language too (the tabs are back once the
    // authentication texts, which ask the SIM, are in)
    ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Tab()); }));
    ASSERT_TRUE(SelectTab(Tab(), 1));
    ASSERT_TRUE(PinPageShown(IDD_VX520_PIN_SETTING_PAGE));
    EXPECT_TRUE(WaitUntil([&] {
        return Text(FindControl(IDD_VX520_PIN_SETTING_PAGE, IDC_PIN_NOTICE)).rfind(L"If Verification", 0) == 0;
    }));
    ASSERT_TRUE(ChooseMenuItem(hwnd_, ID_LANGUAGE_JAPANESE_136));
    EXPECT_EQ(Text(hwnd_), kJapaneseTitle);
    EXPECT_EQ(Items(Tab()), (std::vector<std::wstring>{L"ネットワーク設定", L"PIN管理"}));
    EXPECT_TRUE(WaitUntil([&] {
        return Text(FindControl(IDD_VX520_PIN_SETTING_PAGE, IDC_PIN_NOTICE)).rfind(L"PIN認証", 0) == 0;
    }));
    EXPECT_EQ(Selection(Tab()), 1);
    EXPECT_TRUE(IsVisible(FindDialog(IDD_VX520_PIN_SETTING_PAGE)));
    menu = MenuItems(hwnd_);
    ASSERT_FALSE(menu.empty());
    EXPECT_EQ(menu[0].rfind(L"日本語", 0), 0u);
}

// Read and Apply are both off while either runs on the network tab: during a
// slow read, and while the outcome prompt of an apply is up.
TEST_F(SetwellTest, ReadAndApplyAreOffWhileEitherRuns)
{
    StartEmulator();
    ASSERT_NO_FATAL_FAILURE(OpenToolPastFirstPass());
    ASSERT_TRUE(ButtonsEnabled(true));
    DebugCapture capture;
    const size_t reads = CountAt("AT+CGDCONT?");
    modemsim::Fault slow;
    slow.kind = modemsim::FaultKind::Slow;
    slow.delayMs = static_cast<uint32_t>(1000 / TimeScale());  // a real second to look at the buttons
    emulator_->InjectAtFault("AT+CGDCONT?", slow);
    ASSERT_TRUE(Click(Item(IDC_VX520_READ)));
    ASSERT_TRUE(WaitUntil([&] { return CountAt("AT+CGDCONT?") > reads; }, 30000));
    EXPECT_FALSE(IsEnabled(Item(IDC_VX520_READ)));
    EXPECT_FALSE(IsEnabled(Item(IDC_VX520_APPLY)));
    // the watch thread started again disables both for its first pass; a press
    // then is dropped: wait until its second pass has begun
    ASSERT_TRUE(WaitUntil([&] { return !tool_.dialog()->WorkerRunning(); }, 30000));
    const size_t passes = capture.Count("Search NMEA Port SUCCESS!");
    ASSERT_TRUE(WaitUntil([&] { return capture.Count("Search NMEA Port SUCCESS!") >= passes + 2; }, 30000));
    ASSERT_TRUE(ButtonsEnabled(true));

    ASSERT_TRUE(Click(Item(IDC_VX520_APPLY)));
    auto prompt = WaitForPopup(60000);
    ASSERT_TRUE(prompt) << "no outcome prompt";
    EXPECT_FALSE(IsEnabled(Item(IDC_VX520_READ)));
    EXPECT_FALSE(IsEnabled(Item(IDC_VX520_APPLY)));
    ClosePopup(*prompt);
    while (AnswerPopup(1000)) {
    }
    EXPECT_TRUE(ButtonsEnabled(true));
}
