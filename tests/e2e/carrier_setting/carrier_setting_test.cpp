// The carrier modem setting dialogs (tool types 4 and 6) against the emulator:
// texts, the watch, the communication mode read and written, tab changes.
#include <gtest/gtest.h>


#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_paths.h"
#include "app/language.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"
#include "tests/support/settled_click.h"
#include "tests/support/tool_test_env.h"
#include "tools/carriersetting/carrier_setting_dlg.h"

using namespace ui::test;

namespace {

// Network state 1, 2, 3 as the first field of "+ZSNT:".
int ZsntModeFor(int networkState) { return networkState == 1 ? 2 : networkState == 2 ? 6 : 7; }

template <class Dialog>
class CarrierSettingTest : public ::testing::Test {
public:
    void SetUp() override
    {
        place_.Make("carrier-setting-e2e");
        place_.WriteToolConfig();
        g_strLanguageFilePath.clear();
    }

    void TearDown() override
    {
        tool_.Close();
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
        g_strLanguageFilePath.clear();
    }

    void StartEmulator() { emulator_ = place_.StartEmulator(); }

    void OpenTool(UINT templateId)
    {
        hwnd_ = tool_.Open(templateId);
        ASSERT_NE(hwnd_, nullptr);
    }

    HWND Item(int id) { return Control(hwnd_, id); }
    HWND ModeItem(int id) { return FindControl(IDD_MARL_COMMUNICATION_MODE_PAGE, id); }
    HWND Tab() { return Item(IDC_MARL_SETTING_TAB); }

    bool ButtonsEnabled(bool enabled)
    {
        return WaitUntil([&] {
            return IsEnabled(Item(IDC_MARL_SETTING_READ)) == enabled &&
                   IsEnabled(Item(IDC_MARL_SETTING_WRITE)) == enabled;
        });
    }

    // the command table writes some commands in lower case
    size_t CountAt(const std::string& prefix) { return emulator_->CountAtLines(prefix, true); }

    // Presses the button and answers the message box the worker shows.
    std::optional<Popup> PressAndAnswer(int buttonId)
    {
        EXPECT_TRUE(ButtonsEnabled(true));
        EXPECT_TRUE(tooltest::ClickWhenSettled(tool_.dialog(), Item(buttonId)));
        auto popup = WaitForPopup(30000);
        if (popup)
            ClosePopup(*popup);
        return popup;
    }

    void ExpectMessage(const std::optional<Popup>& popup, const wchar_t* key)
    {
        ASSERT_TRUE(popup.has_value());
        EXPECT_TRUE(popup->messageBox);
        EXPECT_NE(popup->type & MB_ICONINFORMATION, 0u);
        EXPECT_EQ(popup->caption, std::wstring(ReadModemSettingString(L"TITLE")));
        EXPECT_FALSE(std::wstring(ReadModemSettingString(key)).empty()) << key;
        EXPECT_EQ(popup->text, std::wstring(ReadModemSettingString(key)));
    }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    tooltest::ModalRun<Dialog> tool_;
    HWND hwnd_ = nullptr;
};

using ModemSettingTest = CarrierSettingTest<CMarlModemSettingDlg>;
using ModemSettingNewTest = CarrierSettingTest<MarlModemSettingDlgNew>;

TEST_F(ModemSettingTest, OpensWithItsTextsAndHighSpeedChecked)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING);
    std::wstring title = ReadModemSettingString(L"TITLE").GetString();
    EXPECT_FALSE(title.empty());
    EXPECT_EQ(Text(hwnd_), title);
    EXPECT_EQ(Text(Item(IDC_MARL_SETTING_READ)), std::wstring(ReadModemSettingString(L"BUTTON_READ_INFO")));
    EXPECT_EQ(Text(Item(IDC_MARL_SETTING_WRITE)), std::wstring(ReadModemSettingString(L"BUTTON_WRITE_INFO")));
    std::vector<std::wstring> tabs = {ReadModemSettingString(L"APN_TITLE").GetString(),
                                      ReadModemSettingString(L"COMMUNICATION_MODE_TITLE").GetString()};
    EXPECT_EQ(Items(Tab()), tabs);
    EXPECT_EQ(Selection(Tab()), 0);
    EXPECT_EQ(Text(ModeItem(IDC_COMMODE_HIGH_SPEED)), std::wstring(ReadModemSettingString(L"HIGH_SPEED_INFO")));
    EXPECT_EQ(Text(ModeItem(IDC_COMMODE_HIGH_SPEED_PLUS)),
              std::wstring(ReadModemSettingString(L"HIGH_SPEED_PLUS_INFO")));
    EXPECT_TRUE(IsChecked(ModeItem(IDC_COMMODE_HIGH_SPEED)));
    EXPECT_FALSE(IsChecked(ModeItem(IDC_COMMODE_HIGH_SPEED_PLUS)));
    EXPECT_TRUE(IsEnabled(ModeItem(IDC_COMMODE_HIGH_SPEED)));
    EXPECT_TRUE(ButtonsEnabled(true));
}

TEST_F(ModemSettingTest, KeysDoNotCloseTheTool)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING);
    ASSERT_TRUE(SelectTab(Tab(), 1));
    PressEsc(hwnd_);
    PressEnter(hwnd_);
    PressAltF4(hwnd_);
    PressKey(ModeItem(IDC_COMMODE_HIGH_SPEED), VK_ESCAPE);
    EXPECT_TRUE(WaitIdle(hwnd_));
    EXPECT_NE(FindDialog(IDD_MARL_MODEM_SETTING), nullptr);
}

TEST_F(ModemSettingTest, TabChangesShowThePagesAndSendNothing)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING);
    ASSERT_TRUE(ButtonsEnabled(true));
    emulator_->ClearReceived();
    HWND modePage = FindDialog(IDD_MARL_COMMUNICATION_MODE_PAGE);
    HWND apnPage = FindDialog(IDD_MARL_APN_PAGE);
    for (int tab : {1, 0, 1}) {
        ASSERT_TRUE(SelectTab(Tab(), tab));
        EXPECT_EQ(Selection(Tab()), tab);
        EXPECT_EQ(IsVisible(modePage), tab == 1);
        EXPECT_EQ(IsVisible(apnPage), tab == 0);
    }
    // a watch pass or two on tab 1 keeps both buttons (type 4)
    Sleep(2500);
    EXPECT_TRUE(IsEnabled(Item(IDC_MARL_SETTING_READ)));
    EXPECT_TRUE(emulator_->AtLines().empty());
}

struct ReadRow {
    std::array<int, 4> flags;
    bool plusArea;
};

TEST_F(ModemSettingTest, ReadShowsTheDeviceMode)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING);
    ASSERT_TRUE(SelectTab(Tab(), 1));
    const ReadRow rows[] = {{{1, 0, 0, 0}, true}, {{0, 1, 1, 0}, false}, {{1, 1, 1, 0}, true}};
    for (const ReadRow& row : rows) {
        emulator_->SetDeviceFlags(row.flags);
        auto popup = PressAndAnswer(IDC_MARL_SETTING_READ);
        ExpectMessage(popup, L"READ_MODE_SUCCESS");
        EXPECT_EQ(IsChecked(ModeItem(IDC_COMMODE_HIGH_SPEED_PLUS)), row.plusArea);
        EXPECT_EQ(IsChecked(ModeItem(IDC_COMMODE_HIGH_SPEED)), !row.plusArea);
        // the watch comes back and enables both again
        EXPECT_TRUE(ButtonsEnabled(true));
    }
    EXPECT_EQ(CountAt("AT+ZEFSGET?"), 3u);
}

TEST_F(ModemSettingTest, ReadThatFailsThreeTimesKeepsTheChecks)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING);
    ASSERT_TRUE(SelectTab(Tab(), 1));
    emulator_->SetDeviceFlags({1, 0, 0, 0});
    modemsim::Fault fault;
    fault.kind = modemsim::FaultKind::Garbage;
    fault.text = "\r\nERROR\r\n";
    fault.times = 3;
    emulator_->InjectAtFault("AT+ZEFSGET?", fault);
    auto popup = PressAndAnswer(IDC_MARL_SETTING_READ);
    ExpectMessage(popup, L"READ_MODE_FAILED");
    EXPECT_EQ(CountAt("AT+ZEFSGET?"), 3u);
    EXPECT_TRUE(IsChecked(ModeItem(IDC_COMMODE_HIGH_SPEED)));
    EXPECT_FALSE(IsChecked(ModeItem(IDC_COMMODE_HIGH_SPEED_PLUS)));
}

struct WriteRow {
    const char* what;
    std::array<int, 4> flags;
    int networkState;
    bool choosePlusArea;
    const char* band;                 // nullptr: no band text sent
    bool flagsWritten;
    std::array<int, 4> flagsAfter;
    const wchar_t* message;
};

TEST_F(ModemSettingTest, WriteSendsWhatTheCaseAsks)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING);
    ASSERT_TRUE(SelectTab(Tab(), 1));
    const WriteRow rows[] = {
        {"case 2", {0, 1, 1, 0}, 1, true, nullptr, true, {1, 0, 1, 0}, L"WRITE_MODE_SUCCESS"},
        {"case 9", {1, 0, 1, 0}, 3, false, "1,0,10000000000,4C00000", true, {0, 0, 1, 0}, L"WRITE_MODE_SUCCESS"},
        {"case 4", {0, 0, 0, 0}, 3, true, "1,1,30015,4C00000", true, {1, 0, 0, 0}, L"WRITE_MODE_SUCCESS"},
        {"case 7", {1, 1, 1, 0}, 3, false, "1,1,10000010014,4C00000", true, {0, 0, 1, 0}, L"WRITE_MODE_SUCCESS"},
        {"already High Speed", {0, 0, 1, 0}, 2, false, nullptr, false, {0, 0, 1, 0}, L"WRITE_MODE_SUCCESS"},
        {"already Plus Area", {1, 0, 0, 0}, 1, true, nullptr, false, {1, 0, 0, 0}, L"WRITE_MODE_SUCCESS"},
        {"no case", {1, 0, 1, 0}, 2, false, nullptr, false, {1, 0, 1, 0}, L"WRITE_MODE_FAILED"},
    };
    for (const WriteRow& row : rows) {
        SCOPED_TRACE(row.what);
        emulator_->SetDeviceFlags(row.flags);
        emulator_->SetNetworkSelect(ZsntModeFor(row.networkState), 0);
        ASSERT_TRUE(ButtonsEnabled(true));
        ASSERT_TRUE(Click(ModeItem(row.choosePlusArea ? IDC_COMMODE_HIGH_SPEED_PLUS : IDC_COMMODE_HIGH_SPEED)));
        emulator_->ClearReceived();
        std::string bandBefore = emulator_->BandLock();
        auto popup = PressAndAnswer(IDC_MARL_SETTING_WRITE);
        ExpectMessage(popup, row.message);
        EXPECT_EQ(CountAt("AT+ZEFSGET?"), 1u);
        EXPECT_EQ(CountAt("AT+ZSNT?"), 1u);
        EXPECT_EQ(CountAt("AT+ZNLOCKBAND="), row.band ? 1u : 0u);
        EXPECT_EQ(emulator_->BandLock(), row.band ? std::string(row.band) : bandBefore);
        EXPECT_EQ(CountAt("AT+ZEFSGET="), row.flagsWritten ? 1u : 0u);
        EXPECT_EQ(emulator_->DeviceFlags(), row.flagsAfter);
    }
}

// A fresh emulator is a device as shipped: both communication modes can be
// written and written back without any setup of its state.
TEST_F(ModemSettingTest, FreshDeviceTakesBothModesBackAndForth)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING);
    ASSERT_TRUE(SelectTab(Tab(), 1));
    const struct {
        bool choosePlusArea;
        int flag0After;
    } steps[] = {{true, 1}, {false, 0}, {true, 1}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.choosePlusArea ? "Plus Area" : "High Speed");
        ASSERT_TRUE(ButtonsEnabled(true));
        ASSERT_TRUE(Click(ModeItem(step.choosePlusArea ? IDC_COMMODE_HIGH_SPEED_PLUS : IDC_COMMODE_HIGH_SPEED)));
        emulator_->ClearReceived();
        ExpectMessage(PressAndAnswer(IDC_MARL_SETTING_WRITE), L"WRITE_MODE_SUCCESS");
        EXPECT_EQ(CountAt("AT+ZEFSGET="), 1u);
        EXPECT_EQ(emulator_->DeviceFlags()[0], step.flag0After);
        EXPECT_EQ(emulator_->DeviceFlags()[2], 1) << "WiMAX 2+ stays as it was";
    }
}

TEST_F(ModemSettingTest, FailedBandWriteLeavesTheFlags)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING);
    ASSERT_TRUE(SelectTab(Tab(), 1));
    emulator_->SetDeviceFlags({1, 0, 1, 0});
    emulator_->SetNetworkSelect(ZsntModeFor(3), 0);
    modemsim::Fault fault;
    fault.kind = modemsim::FaultKind::Garbage;
    fault.text = "\r\nERROR\r\n";
    fault.times = -1;
    emulator_->InjectAtFault("AT+ZNLOCKBAND", fault);
    ASSERT_TRUE(ButtonsEnabled(true));
    ASSERT_TRUE(Click(ModeItem(IDC_COMMODE_HIGH_SPEED)));
    emulator_->ClearReceived();
    auto popup = PressAndAnswer(IDC_MARL_SETTING_WRITE);
    ExpectMessage(popup, L"WRITE_MODE_FAILED");
    EXPECT_EQ(CountAt("AT+ZNLOCKBAND="), 3u);
    EXPECT_EQ(CountAt("AT+ZEFSGET="), 0u);
    EXPECT_EQ((emulator_->DeviceFlags()), (std::array<int, 4>{1, 0, 1, 0}));
}

TEST_F(ModemSettingTest, NoModemKeepsTheButtonsOffAndTracesEachSecond)
{
    DebugCapture capture;
    setenv("KESTLE_DEVICE_DIR", (place_.Root() + "/no-device").c_str(), 1);
    OpenTool(IDD_MARL_MODEM_SETTING);
    EXPECT_TRUE(WaitUntil([&] { return capture.Count("Search NMEA Port Fail!") >= 3; }, 30000));
    EXPECT_FALSE(IsEnabled(Item(IDC_MARL_SETTING_READ)));
    EXPECT_FALSE(IsEnabled(Item(IDC_MARL_SETTING_WRITE)));
    EXPECT_EQ(capture.Count("Search NMEA Port SUCCESS!"), 0u);
}

TEST_F(ModemSettingNewTest, CommunicationTabIsPresetAndWithoutDeviceAccess)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING_NEW);
    // before any read
    EXPECT_TRUE(IsChecked(ModeItem(IDC_COMMODE_HIGH_SPEED_PLUS)));
    EXPECT_FALSE(IsChecked(ModeItem(IDC_COMMODE_HIGH_SPEED)));
    EXPECT_FALSE(IsEnabled(ModeItem(IDC_COMMODE_HIGH_SPEED)));
    EXPECT_EQ(Text(hwnd_), std::wstring(ReadModemSettingString(L"TITLE")));

    ASSERT_TRUE(ButtonsEnabled(true));
    emulator_->ClearReceived();
    ASSERT_TRUE(SelectTab(Tab(), 1));
    EXPECT_TRUE(ButtonsEnabled(false));

    // a press that still arrives on this tab sends nothing and leaves both off
    MarlModemSettingDlgNew* dialog = tool_.dialog();
    dialog->StopWatchThread();
    MarlModemSettingDlgNew::ReadAndDisplayParametersThread(dialog);
    EXPECT_FALSE(IsEnabled(Item(IDC_MARL_SETTING_READ)));
    dialog->StopWatchThread();
    MarlModemSettingDlgNew::WriteParametersThread(dialog);
    EXPECT_FALSE(IsEnabled(Item(IDC_MARL_SETTING_WRITE)));
    Sleep(2500);
    EXPECT_TRUE(ButtonsEnabled(false));
    EXPECT_TRUE(emulator_->AtLines().empty());

    ASSERT_TRUE(SelectTab(Tab(), 0));
    EXPECT_TRUE(ButtonsEnabled(true));
}

// Read and Write on each tab with device access: the result box has the
// tool's title, both buttons are off while it is up and back once it closes.
template <class Dialog>
void ExpectButtonsOffWhileTheResultIsShown(CarrierSettingTest<Dialog>& t, std::initializer_list<int> tabs)
{
    for (int tab : tabs) {
        for (int button : {IDC_MARL_SETTING_READ, IDC_MARL_SETTING_WRITE}) {
            SCOPED_TRACE("tab " + std::to_string(tab) + ", button " + std::to_string(button));
            ASSERT_TRUE(SelectTab(t.Tab(), tab));
            ASSERT_TRUE(t.ButtonsEnabled(true));
            ASSERT_TRUE(tooltest::ClickWhenSettled(t.tool_.dialog(), t.Item(button)));
            auto box = WaitForPopup(60000);
            ASSERT_TRUE(box) << "no result box";
            EXPECT_TRUE(box->messageBox);
            EXPECT_EQ(box->caption, std::wstring(ReadModemSettingString(L"TITLE")));
            EXPECT_FALSE(box->text.empty());
            EXPECT_FALSE(IsEnabled(t.Item(IDC_MARL_SETTING_READ)));
            EXPECT_FALSE(IsEnabled(t.Item(IDC_MARL_SETTING_WRITE)));
            ClosePopup(*box);
            EXPECT_TRUE(t.ButtonsEnabled(true));
        }
    }
}

TEST_F(ModemSettingTest, ButtonsAreOffWhileTheResultIsShownOnBothTabs)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING);
    ExpectButtonsOffWhileTheResultIsShown(*this, {0, 1});
}

// the second dialog's communication tab has no device access
TEST_F(ModemSettingNewTest, ButtonsAreOffWhileTheResultIsShownOnTheApnTab)
{
    StartEmulator();
    OpenTool(IDD_MARL_MODEM_SETTING_NEW);
    ExpectButtonsOffWhileTheResultIsShown(*this, {0});
}

}  // namespace
