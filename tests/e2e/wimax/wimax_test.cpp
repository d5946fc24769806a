// The WiMAX 2+ switch tool against the emulator, in the headless back end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "app/app_paths.h"
#include "app/language.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/debug_output.h"
#include "platform/win/named_mutex.h"
#include "tests/support/settled_click.h"
#include "tests/support/timeout_scale.h"
#include "tests/support/tool_test_env.h"
#include "tools/wimax/wimax_dlg.h"

namespace fs = std::filesystem;
using namespace ui::test;

namespace {

constexpr const char* kWebGetKey = "wimax2_enable";
constexpr const char* kWebSetKey = "WIMAX2_ENABLE";

class WimaxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        place_.Make("wimax-e2e");
        place_.WriteToolConfig();
        const char* tmp = std::getenv("TMPDIR");
        oldTmp_ = tmp ? tmp : "";
        hadTmp_ = tmp != nullptr;
        // the tool folder lives under the private base, here the workplace's runtime folder
        setenv("TMPDIR", place_.Root().c_str(), 1);
        fs::create_directories(ToolFolder());
        g_strLanguageFilePath.clear();
    }

    void TearDown() override
    {
        tool_.Close();
        if (emulator_)
            emulator_->Stop();
        if (hadTmp_)
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        else
            unsetenv("TMPDIR");
        place_.Remove();
        g_strLanguageFilePath.clear();
    }

    std::string ToolFolder() const { return place_.Root() + "/run/VX530WimaxTool"; }

    void WriteUserConfig(const std::string& text) { std::ofstream(ToolFolder() + "/config.ini") << text; }

    void StartDevice(modemsim::Mode mode)
    {
        modemsim::EmulatorOptions options;
        options.mode = mode;
        emulator_ = place_.StartEmulator(options);
    }

    void OpenTool()
    {
        hwnd_ = tool_.Open(IDD_MARL_WIMAX);
        ASSERT_NE(hwnd_, nullptr);
    }

    HWND Item(int id) { return Control(hwnd_, id); }

    bool ButtonsEnabled(bool enabled, DWORD timeoutMs = kDefaultTimeoutMs)
    {
        return WaitUntil([&] { return IsEnabled(Item(IDC_WIMAX_READ)) == enabled &&
                                      IsEnabled(Item(IDC_WIMAX_SET)) == enabled; },
                         timeoutMs);
    }

    // Presses a button once the watch has enabled it; the result message box's
    // text, after checking its caption and icon and closing it.
    std::wstring PressAndAnswer(int buttonId, DWORD timeoutMs = 60000)
    {
        if (!tooltest::ClickWhenSettled(tool_.dialog(), Item(buttonId)))
            return L"<not clicked>";
        return AnswerResult(timeoutMs);
    }

    std::wstring AnswerResult(DWORD timeoutMs = 60000)
    {
        auto popup = WaitForPopup(timeoutMs);
        if (!popup)
            return L"<no popup>";
        EXPECT_TRUE(popup->messageBox);
        EXPECT_NE(popup->type & MB_ICONINFORMATION, 0u);
        EXPECT_EQ(popup->caption, Lang(L"TITLE"));
        ClosePopup(*popup);
        return popup->text;
    }

    // The tool's text of a key in the carrier language file (never empty here).
    static std::wstring Lang(const wchar_t* key)
    {
        std::wstring text = static_cast<const wchar_t*>(ReadWimaxString(key));
        EXPECT_FALSE(text.empty()) << "no text for a key";
        return text;
    }

    void ChooseRadios(bool on, bool off)
    {
        tool_.dialog()->CheckDlgButton(IDC_WIMAX_ON, on ? BST_CHECKED : BST_UNCHECKED);
        tool_.dialog()->CheckDlgButton(IDC_WIMAX_OFF, off ? BST_CHECKED : BST_UNCHECKED);
    }

    bool RadiosAre(bool on, bool off)
    {
        return IsChecked(Item(IDC_WIMAX_ON)) == on && IsChecked(Item(IDC_WIMAX_OFF)) == off;
    }

    // The device's network state 1, 2 or 3 is its "+ZSNT" mode 2, 6 or 7.
    void SetNetworkState(int state) { emulator_->SetNetworkSelect(state == 1 ? 2 : state == 2 ? 6 : 7, 0); }

    size_t CountHttp(const std::string& needle)
    {
        size_t n = 0;
        for (const auto& request : emulator_->HttpRequests())
            if ((request.query + "&" + request.body).find(needle) != std::string::npos)
                ++n;
        return n;
    }

    // the command table writes some commands in lower case
    size_t CountAt(const std::string& prefix) { return emulator_->CountAtLines(prefix, true); }

    tooltest::Workplace place_;
    tooltest::ModalRun<CMarlWimaxDlg> tool_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    HWND hwnd_ = nullptr;
    std::string oldTmp_;
    bool hadTmp_ = false;
};

}  // namespace

TEST_F(WimaxTest, OpensOnOffWithItsTextsAndTheToolFolder)
{
    OpenTool();
    EXPECT_EQ(Text(hwnd_), L"4G LTE ONLY 設定ツール");
    EXPECT_TRUE(RadiosAre(false, true));
    EXPECT_EQ(Text(Item(IDC_WIMAX_READ)), Lang(L"BUTTON_READ_INFO"));
    EXPECT_EQ(Text(Item(IDC_WIMAX_SET)), Lang(L"BUTTON_WRITE_INFO"));
    EXPECT_EQ(Text(Item(IDC_WIMAX_ON)), Lang(L"RADIO_WIMAX_ON"));
    EXPECT_EQ(Text(Item(IDC_WIMAX_OFF)), Lang(L"RADIO_WIMAX_OFF"));
    EXPECT_EQ(tool_.dialog()->ToolFolderPath(), Utf8ToWide(ToolFolder()));
    // no device: the watch keeps both buttons disabled
    EXPECT_TRUE(ButtonsEnabled(false));
}

TEST_F(WimaxTest, UserIdFieldShowsTheIdOfTheToolFolderConfig)
{
    const std::string longId(300, '7');
    struct Case {
        const char* name;
        bool writeFile;
        std::string config;
        std::wstring shown;
    } cases[] = {
        {"five digits", true, "[USR_INFO]\r\nUSR_ID=12345\r\n", L"ID=12345"},
        {"no file", false, "", L""},
        {"empty id", true, "[USR_INFO]\r\nUSR_ID=\r\n", L""},
        {"other section", true, "[OTHER]\r\nUSR_ID=12345\r\n", L""},
        {"cut to its room", true, "[USR_INFO]\r\nUSR_ID=" + longId + "\r\n", L"ID=" + std::wstring(255, L'7')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(ToolFolder() + "/config.ini");
        if (c.writeFile)
            WriteUserConfig(c.config);
        OpenTool();
        EXPECT_EQ(Text(Item(IDC_WIMAX_USER_ID)), c.shown);
        EXPECT_EQ(tool_.dialog()->ShowUserId(), c.shown.empty() ? 1 : 0);
        tool_.Close();
    }
}

TEST_F(WimaxTest, WithoutAPrivateBaseThereIsNoToolFolderAndNoId)
{
    WriteUserConfig("[USR_INFO]\r\nUSR_ID=12345\r\n");
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", (place_.Root() + "/missing").c_str(), 1);
    OpenTool();
    EXPECT_TRUE(tool_.dialog()->ToolFolderPath().empty());
    EXPECT_EQ(Text(Item(IDC_WIMAX_USER_ID)), L"");
    EXPECT_EQ(tool_.dialog()->ShowUserId(), 1);
}

TEST_F(WimaxTest, WatchEnablesTheButtonsForEitherPath)
{
    struct Case {
        modemsim::Mode mode;
        const char* line;
    } cases[] = {
        {modemsim::Mode::NetCard, "KESTLE: CPlatformManager, Search RNDIS Port SUCCESS!"},
        {modemsim::Mode::Modem, "KESTLE: CPlatformManager, Search NMEA Port SUCCESS!"},
    };
    StartDevice(modemsim::Mode::Modem);
    DebugCapture capture;
    OpenTool();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        emulator_->SetMode(c.mode);
        EXPECT_TRUE(WaitUntil([&] { return capture.Count(c.line) > 0; }, 30000));
        EXPECT_TRUE(ButtonsEnabled(true));
    }
    emulator_->Unplug();
    EXPECT_TRUE(WaitUntil([&] { return capture.Count("KESTLE: CPlatformManager, Search Port Fail!") > 0; }, 30000));
    EXPECT_TRUE(ButtonsEnabled(false));
}

TEST_F(WimaxTest, ReadShowsTheDeviceStateOverEitherPath)
{
    using modemsim::Mode;
    StartDevice(Mode::NetCard);
    OpenTool();
    // each row's other path holds the opposite state, so the path taken shows
    struct Case {
        Mode mode;
        const char* webReply;
        std::array<int, 4> flags;
        bool on;
    } cases[] = {
        {Mode::NetCard, "on", {0, 0, 0, 0}, true},
        {Mode::NetCard, "off", {1, 0, 1, 0}, false},
        {Mode::Modem, "off", {1, 0, 1, 0}, true},
        {Mode::Modem, "on", {0, 1, 0, 0}, false},
        {Mode::Modem, "off", {0, 0, 1, 0}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(ModeName(c.mode)) + " " + c.webReply);
        emulator_->SetMode(c.mode);
        emulator_->SetWebSetting(kWebGetKey, c.webReply);
        emulator_->SetDeviceFlags(c.flags);
        emulator_->ClearReceived();
        EXPECT_EQ(PressAndAnswer(IDC_WIMAX_READ), Lang(L"READ_STATE_SUCCESS"));
        EXPECT_TRUE(RadiosAre(c.on, !c.on));
        bool web = c.mode == Mode::NetCard;
        EXPECT_EQ(CountHttp("cmd=wimax2_enable"), web ? 1u : 0u);
        EXPECT_EQ(CountAt("AT+ZEFSGET?"), web ? 0u : 1u);
        EXPECT_TRUE(ButtonsEnabled(true));
    }
}

TEST_F(WimaxTest, SetOverTheWebServerSendsTheRadioChoice)
{
    StartDevice(modemsim::Mode::NetCard);
    OpenTool();
    struct Case {
        const char* name;
        bool on, off;
        const char* sent;
    } cases[] = {
        {"on chosen", true, false, "on"},
        {"off chosen", false, true, "off"},
        {"neither checked", false, false, "off"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        emulator_->SetWebSetting(kWebGetKey, c.sent[1] == 'n' ? "off" : "on");
        emulator_->ClearReceived();
        ASSERT_TRUE(ButtonsEnabled(true));
        ChooseRadios(c.on, c.off);
        EXPECT_EQ(PressAndAnswer(IDC_WIMAX_SET), Lang(L"WRITE_STATE_SUCCESS"));
        EXPECT_EQ(emulator_->WebSetting(kWebGetKey), c.sent);
        EXPECT_EQ(CountHttp(std::string("goformId=WIMAX2_ENABLE&wimax2_enable=") + c.sent), 1u);
        // nothing is read back after a set
        EXPECT_TRUE(RadiosAre(c.on, c.off));
    }
}

TEST_F(WimaxTest, WebRequestsFailAfterTenTries)
{
    StartDevice(modemsim::Mode::NetCard);
    OpenTool();

    // a reply that holds neither on nor off
    emulator_->SetWebSetting(kWebGetKey, "unknown");
    emulator_->ClearReceived();
    const DWORD start = GetTickCount();
    EXPECT_EQ(PressAndAnswer(IDC_WIMAX_READ), Lang(L"READ_STATE_FAILED"));
    EXPECT_EQ(CountHttp("cmd=wimax2_enable"), 10u);
    // a second of program time after each failed try
    EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(9u * 1000u));
    EXPECT_TRUE(RadiosAre(false, true));

    // the server answers an error status to every get
    emulator_->SetWebSetting(kWebGetKey, "on");
    emulator_->InjectHttpFault(kWebGetKey, 500, -1);
    EXPECT_EQ(PressAndAnswer(IDC_WIMAX_READ), Lang(L"READ_STATE_FAILED"));
    EXPECT_TRUE(RadiosAre(false, true));
    emulator_->ClearFaults();

    emulator_->InjectHttpFault(kWebSetKey, 500, -1);
    emulator_->ClearReceived();
    ASSERT_TRUE(ButtonsEnabled(true));
    ChooseRadios(true, false);
    EXPECT_EQ(PressAndAnswer(IDC_WIMAX_SET), Lang(L"WRITE_STATE_FAILED"));
    EXPECT_EQ(CountHttp("goformId=WIMAX2_ENABLE&wimax2_enable=on"), 10u);
    EXPECT_EQ(emulator_->WebSetting(kWebGetKey), "on");
    emulator_->ClearFaults();

    // a try that fails once is followed by one that works
    emulator_->InjectHttpFault(kWebSetKey, 500, 1);
    ChooseRadios(false, true);
    EXPECT_EQ(PressAndAnswer(IDC_WIMAX_SET), Lang(L"WRITE_STATE_SUCCESS"));
    EXPECT_EQ(emulator_->WebSetting(kWebGetKey), "off");
}

TEST_F(WimaxTest, SetOverTheAtPortFollowsTheCaseTable)
{
    StartDevice(modemsim::Mode::Modem);
    OpenTool();
    struct Case {
        const char* name;
        std::array<int, 4> flags;
        int networkState;
        bool on, off;
        std::string band;  // "" when none is sent
        std::array<int, 4> written;
    } cases[] = {
        {"plus area, on chosen", {1, 1, 0, 0}, 3, true, false, "1,1,30000030015,4C00000", {1, 0, 1, 0}},
        {"plus area, flag1 0, on chosen", {1, 0, 0, 0}, 3, true, false, "1,1,30000030015,4C00000", {1, 0, 1, 0}},
        {"plus area, off chosen", {1, 1, 1, 0}, 3, false, true, "1,1,30015,4C00000", {1, 0, 0, 0}},
        {"high speed, neither checked counts as on", {0, 0, 0, 0}, 3, false, false, "", {0, 0, 1, 0}},
        {"high speed, off chosen", {0, 0, 1, 0}, 1, false, true, "", {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        emulator_->SetDeviceFlags(c.flags);
        SetNetworkState(c.networkState);
        emulator_->ClearReceived();
        ASSERT_TRUE(ButtonsEnabled(true));
        ChooseRadios(c.on, c.off);
        EXPECT_EQ(PressAndAnswer(IDC_WIMAX_SET), Lang(L"WRITE_STATE_SUCCESS"));
        EXPECT_EQ(CountAt("AT+ZNLOCKBAND="), c.band.empty() ? 0u : 1u);
        if (!c.band.empty()) {
            EXPECT_EQ(emulator_->BandLock(), c.band);
        }
        EXPECT_EQ(emulator_->DeviceFlags(), c.written);
    }

    // the device already has what was chosen: nothing is sent, still a success
    emulator_->SetDeviceFlags({0, 0, 1, 0});
    SetNetworkState(3);
    emulator_->ClearReceived();
    ASSERT_TRUE(ButtonsEnabled(true));
    ChooseRadios(true, false);
    EXPECT_EQ(PressAndAnswer(IDC_WIMAX_SET), Lang(L"WRITE_STATE_SUCCESS"));
    EXPECT_EQ(CountAt("AT+ZEFSGET="), 0u);
}

TEST_F(WimaxTest, AtStepFailuresShowTheFailureAndUndoNothing)
{
    StartDevice(modemsim::Mode::Modem);
    OpenTool();
    modemsim::Fault silent;
    silent.kind = modemsim::FaultKind::NoAnswer;
    silent.times = -1;
    struct Case {
        const char* name;
        const char* faultPrefix;  // "" for no fault
        std::array<int, 4> flags;
        int networkState;
        int button;
        const wchar_t* message;
        size_t flagWrites;  // tries of the flag write that were sent
    } cases[] = {
        {"flag read on read", "AT+ZEFSGET?", {1, 0, 1, 0}, 3, IDC_WIMAX_READ, L"READ_STATE_FAILED", 0},
        {"flag read on set", "AT+ZEFSGET?", {1, 0, 0, 0}, 3, IDC_WIMAX_SET, L"WRITE_STATE_FAILED", 0},
        {"network state", "AT+ZSNT?", {1, 0, 0, 0}, 3, IDC_WIMAX_SET, L"WRITE_STATE_FAILED", 0},
        {"no case", "", {1, 0, 0, 0}, 2, IDC_WIMAX_SET, L"WRITE_STATE_FAILED", 0},
        // a failed band lock stops before the flags
        {"band lock", "AT+ZNLOCKBAND", {1, 0, 0, 0}, 3, IDC_WIMAX_SET, L"WRITE_STATE_FAILED", 0},
        {"flag write", "AT+ZEFSGET=", {1, 0, 0, 0}, 3, IDC_WIMAX_SET, L"WRITE_STATE_FAILED", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        emulator_->ClearFaults();
        emulator_->SetDeviceFlags(c.flags);
        SetNetworkState(c.networkState);
        ASSERT_TRUE(ButtonsEnabled(true));
        ChooseRadios(true, false);
        emulator_->ClearReceived();
        // a silent step fails at its timeout, which is what the case waits for
        tooltest::ScopedTimeoutScale t(*c.faultPrefix ? tooltest::ShortTimeoutScale() : TimeoutScale());
        if (*c.faultPrefix)
            emulator_->InjectAtFault(c.faultPrefix, silent);
        EXPECT_EQ(PressAndAnswer(c.button), Lang(c.message));
        EXPECT_EQ(emulator_->DeviceFlags(), c.flags);
        EXPECT_EQ(CountAt("AT+ZEFSGET="), c.flagWrites);
        // radios keep the choice after a failed read
        EXPECT_TRUE(RadiosAre(true, false));
    }
    emulator_->ClearFaults();
}

TEST_F(WimaxTest, NoDeviceForFiftyAttemptsFailsThenTheWatchRunsAgain)
{
    StartDevice(modemsim::Mode::Modem);
    OpenTool();
    ASSERT_TRUE(ButtonsEnabled(true));
    emulator_->Unplug();
    DebugCapture capture;
    // the button may already be disabled by the watch; the click message still reaches the dialog
    PostMessage(hwnd_, WM_COMMAND, MAKEWPARAM(IDC_WIMAX_READ, BN_CLICKED), 0);
    EXPECT_EQ(AnswerResult(), Lang(L"READ_STATE_FAILED"));
    EXPECT_GE(capture.Count("KESTLE: CPlatformManager, Search Port Fail!"), 50u);

    ASSERT_TRUE(WaitUntil([&] { return !tool_.dialog()->WorkerRunning(); }));
    PostMessage(hwnd_, WM_COMMAND, MAKEWPARAM(IDC_WIMAX_SET, BN_CLICKED), 0);
    EXPECT_EQ(AnswerResult(), Lang(L"WRITE_STATE_FAILED"));
    EXPECT_TRUE(RadiosAre(false, true));

    // the watch started again: it sees the device come back
    emulator_->Replug();
    EXPECT_TRUE(ButtonsEnabled(true, 30000));
    EXPECT_NE(tool_.dialog()->CurrentWatchThread(), nullptr);
}

// The child of the death test runs this body again from the start: it takes the
// parent's folders (named in the environment) so that both meet the same name.
TEST(WimaxSecondCopyDeathTest, RefusalMessageThenExitZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    constexpr const char* kCopyRootVariable = "WIMAX_COPY_ROOT";
    const char* inherited = std::getenv(kCopyRootVariable);
    tooltest::Workplace place;
    if (inherited) {
        g_strWorkFolder = Utf8ToWide(std::string(inherited) + "/work");
        g_strCfgFilePath = g_strWorkFolder + L"/Adatper_cfg.ini";
    } else {
        place.Make("wimax-copy");
        place.WriteToolConfig();
        setenv(kCopyRootVariable, place.Root().c_str(), 1);
        setenv("KESTLE_DEVICE_DIR", (place.Root() + "/no-device").c_str(), 1);
    }
    g_strLanguageFilePath.clear();
    HANDLE held = inherited ? nullptr : CreateMutexW(nullptr, FALSE, single_instance::kMarlWimax);
    if (!inherited) {
        ASSERT_NE(held, nullptr);
        ASSERT_EQ(GetLastError(), 0u);
    }

    EXPECT_EXIT(
        {
            std::thread([] {
                auto popup = WaitForPopup(30000);
                bool match = popup && popup->messageBox && (popup->type & MB_ICONINFORMATION) &&
                             popup->caption == static_cast<const wchar_t*>(ReadWimaxString(L"TITLE")) &&
                             popup->text == static_cast<const wchar_t*>(ReadWimaxString(L"SINGLE_TOOL")) &&
                             !popup->text.empty();
                std::cerr << (match ? "REFUSAL SHOWN" : "REFUSAL WRONG") << std::endl;
                if (popup)
                    ClosePopup(*popup);
            }).detach();
            CWinApp app;
            CMarlWimaxDlg dialog;
            app.m_pMainWnd = &dialog;
            dialog.DoModal();
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "REFUSAL SHOWN");

    CloseHandle(held);
    unsetenv(kCopyRootVariable);
    unsetenv("KESTLE_DEVICE_DIR");
    place.Remove();
    g_strLanguageFilePath.clear();
}

namespace {

// Each run, one row per device behaviour: its requests, the least program time
// its pauses take, its result box, and both buttons off while the box is up.
struct WimaxRunCase {
    const char* name;
    modemsim::Mode mode;
    bool unplugged;
    const char* refusedKey;  // goform key the web server refuses at every try
    int button;
    const char* counted;     // request fragment counted (empty: none)
    size_t requests;
    const wchar_t* resultKey;
    uint32_t leastMs;
};

const WimaxRunCase kRunCases[] = {
    {"read refused", modemsim::Mode::NetCard, false, kWebGetKey, IDC_WIMAX_READ, "cmd=wimax2_enable", 10,
     L"READ_STATE_FAILED", 10 * 1000},
    {"set refused", modemsim::Mode::NetCard, false, kWebSetKey, IDC_WIMAX_SET, "goformId=WIMAX2_ENABLE&", 10,
     L"WRITE_STATE_FAILED", 10 * 1000},
    {"read answered", modemsim::Mode::NetCard, false, nullptr, IDC_WIMAX_READ, "cmd=wimax2_enable", 1,
     L"READ_STATE_SUCCESS", 0},
    {"read without a device", modemsim::Mode::Modem, true, nullptr, IDC_WIMAX_READ, "", 0, L"READ_STATE_FAILED",
     WIMAX_PATH_ATTEMPTS * 1000},
    {"set without a device", modemsim::Mode::Modem, true, nullptr, IDC_WIMAX_SET, "", 0, L"WRITE_STATE_FAILED",
     WIMAX_PATH_ATTEMPTS * 1000},
};

TEST_F(WimaxTest, EachRunTriesPausesAndShowsItsResult)
{
    for (const WimaxRunCase& c : kRunCases) {
        SCOPED_TRACE(c.name);
        StartDevice(c.mode);
        OpenTool();
        ASSERT_TRUE(ButtonsEnabled(true, 30000));
        if (c.refusedKey)
            emulator_->InjectHttpFault(c.refusedKey, 500, -1);
        emulator_->ClearReceived();
        if (c.unplugged) {
            emulator_->Unplug();
            ASSERT_TRUE(ButtonsEnabled(false, 30000));
        }
        const DWORD start = GetTickCount();
        // the button may be off by the watch already; the click still reaches the dialog
        PostMessage(hwnd_, WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED), 0);
        auto box = WaitForPopup(120000);
        ASSERT_TRUE(box) << "no result box";
        EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(c.leastMs));
        EXPECT_EQ(box->text, Lang(c.resultKey));
        EXPECT_EQ(box->caption, Lang(L"TITLE"));
        EXPECT_FALSE(IsEnabled(Item(IDC_WIMAX_READ)));
        EXPECT_FALSE(IsEnabled(Item(IDC_WIMAX_SET)));
        ClosePopup(*box);
        if (*c.counted) {
            EXPECT_EQ(CountHttp(c.counted), c.requests);
        }
        // after: the watch runs again and shows the device as it is
        EXPECT_TRUE(ButtonsEnabled(!c.unplugged, 30000));
        tool_.Close();
        emulator_->Stop();
        emulator_.reset();
    }
}

}  // namespace
