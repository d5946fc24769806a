// The mode switch dialogs (Swapwell's and the carrier tool's), headless, on the
// real back end and a mocked modem: the user switches to network-card mode,
// the modem answers on its AT port, leaves the bus and comes back as a network
// card; then back to modem mode through its web server (the emulator's, on
// loopback). The dialog follows the device without a restart.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_paths.h"
#include "app/notice_dialogs.h"
#include "device/port_scanner.h"
#include "emulator/modem_emulator.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/ui/test_driver.h"
#include "platform/win/registry.h"
#include "tests/hardware/usb_modem/mock_usb.h"
#include "tests/support/case_name.h"
#include "tests/support/child_process.h"
#include "tests/support/tool_test_env.h"
#include "tools/carrierswitch/marl_switch_mode_tool_dlg.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"

using namespace hwtest;
using Clock = std::chrono::steady_clock;

namespace {

// The dialog waits for the switched device a fixed number of passes; at the
// suite's hundredth of program time that is about 2 s of real time, too short
// a window for the test to swap the bus on a loaded machine. The flow runs in
// a copy of this program at a tenth (about 20 s).
constexpr const char* kCopyMark = "HWTEST_SWITCH_TOOL_COPY=1";
const std::vector<std::string> kCopyEnvironment = {kCopyMark, "SETWELL_TIME_SCALE=0.1"};
constexpr const char* kCopyFilter = "*SwitchToolOnMockedModem.*";

bool InCopy()
{
    const char* mark = std::getenv("HWTEST_SWITCH_TOOL_COPY");
    return mark && std::string(mark) == "1";
}

// Real time given to a step the device or the dialog takes.
constexpr auto kStepWithin = std::chrono::seconds(60);

bool WaitFor(const std::function<bool()>& done)
{
    const auto end = Clock::now() + kStepWithin;
    while (!done()) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// One switch tool: its dialog and the buttons of the two directions.
struct SwitchTool {
    const char* name;
    UINT templateId;
    int networkCardButton;
    int modemButton;
    CToolDialogFrame* (*make)();
};

const SwitchTool kTools[] = {
    {"Swapwell", IDD_SWITCH_MODE_TOOL, IDC_GEN_NORMAL_MODE, IDC_GEN_MODEM_MODE,
     [] { return static_cast<CToolDialogFrame*>(new CSwitchModeToolDlg()); }},
    {"carrier switch tool", IDD_MARL_SWITCH_MODE_TOOL, IDC_MARL_SET_EOU, IDC_MARL_SET_MODEM,
     [] { return static_cast<CToolDialogFrame*>(new CMarlSwitchModeToolDlg()); }},
};

class SwitchToolOnMockedModem : public ::testing::TestWithParam<SwitchTool>, protected RealBackEnd {
protected:
    void SetUp() override
    {
        if (!InCopy())
            GTEST_SKIP() << "run by SwitchToolFlow in a copy of this program";
        place_.Make("switch-tool-hw");
        place_.WriteToolConfig();
        g_strLanguageFilePath.clear();
        // the device's web server: up only while the device is a network card
        modemsim::EmulatorOptions options;
        options.mode = modemsim::Mode::NetCard;
        web_ = std::make_unique<modemsim::ModemEmulator>(options);
        std::string error;
        ASSERT_TRUE(web_->Start(&error)) << error;
        const int port = web_->WebPort();
        ASSERT_GT(port, 0);
        web_->SetMode(modemsim::Mode::Modem);
        PointDomainsAt("127.0.0.1:" + std::to_string(port));
        SetNoticeKey(kNormalModeSuffix);
        SetNoticeKey(kModemModeSuffix);
    }

    void TearDown() override
    {
        tool_.Close();
        if (web_)
            web_->Stop();
        g_strLanguageFilePath.clear();
        SetATPort("");
        usb_.reset();
        while (!gone_.empty())
            gone_.pop_back();
        place_.Remove();
    }

    // Every DOMAIN_NAME of the configuration, so that no request leaves loopback.
    void PointDomainsAt(const std::string& domain)
    {
        const std::string path = place_.Work() + "/Adatper_cfg.ini";
        std::stringstream read;
        read << std::ifstream(path, std::ios::binary).rdbuf();
        std::string text = read.str();
        const std::string key = "DOMAIN_NAME=";
        int replaced = 0;
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
            at += key.size();
            text.replace(at, text.find_first_of("\r\n", at) - at, domain);
            ++replaced;
        }
        ASSERT_GT(replaced, 0);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    void SetNoticeKey(const wchar_t* suffix)
    {
        HKEY key = nullptr;
        const std::wstring path = std::wstring(kDontShowAgainKeyPrefix) + suffix;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // Everything leaves the bus; what is added next is plugged in anew.
    void Unplug()
    {
        usb_->HangUp();
        gone_.push_back(std::move(usb_));
        usb_ = std::make_unique<MockUsb>();
    }

    // The same device in network-card mode: its network interface and CD drive.
    void AddCard(int usbPort, int devnum)
    {
        const std::string card = usb_->AddDevice(usbPort, "2031", "0502", devnum);
        usb_->AddNet(usb_->AddInterface(card, {0, "rndis_host", "", "e0", "01", "03"}), "usb7");
        usb_->AddCdDrive(usb_->AddInterface(card, {2, "usb-storage", "", "08", "06", "50"}), "sr7");
    }

    bool Asked(const std::string& tty, const std::string& prefix)
    {
        for (const std::string& request : usb_->Peer(tty).Requests())
            if (request.rfind(prefix, 0) == 0)
                return true;
        return false;
    }

    bool WebAsked(const std::string& text)
    {
        for (const modemsim::HttpRequest& request : web_->HttpRequests())
            if (request.body.find(text) != std::string::npos || request.query.find(text) != std::string::npos)
                return true;
        return false;
    }

    HWND Item(int id) { return ui::test::Control(hwnd_, id); }

    bool ButtonsAre(bool networkCard, bool modem)
    {
        return ui::test::WaitUntil(
            [&] { return ui::test::IsEnabled(Item(GetParam().networkCardButton)) == networkCard &&
                         ui::test::IsEnabled(Item(GetParam().modemButton)) == modem; },
            60000);
    }

    // The text of the tool's result (a prompt or a message box), after closing it.
    std::wstring AnswerResult()
    {
        auto popup = ui::test::WaitForPopup(60000);
        if (!popup)
            return L"<no popup>";
        ui::test::ClosePopup(*popup);
        return popup->text;
    }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> web_;
    std::vector<std::unique_ptr<MockUsb>> gone_;
    std::unique_ptr<MockUsb> usb_ = std::make_unique<MockUsb>();
    tooltest::ModalRun<CToolDialogFrame> tool_;
    HWND hwnd_ = nullptr;
};

TEST_P(SwitchToolOnMockedModem, NetworkCardModeAndBackWithoutARestart)
{
    EmulatedModem modem;
    AddModemWithoutStrings(*usb_, 24, 110, 71, modem.At());
    hwnd_ = tool_.Open(GetParam().templateId, GetParam().make);
    ASSERT_NE(hwnd_, nullptr);
    ASSERT_TRUE(ButtonsAre(true, false));

    ASSERT_TRUE(ui::test::Click(Item(GetParam().networkCardButton)));
    // the modem takes the commands on its AT port, restarts and comes back as a card
    ASSERT_TRUE(WaitFor([&] { return Asked("ttyUSB73", "AT+ZRST"); }));
    EXPECT_TRUE(Asked("ttyUSB73", "AT+ZCPE=o"));
    Unplug();
    AddCard(24, 111);
    web_->SetMode(modemsim::Mode::NetCard);
    EXPECT_NE(AnswerResult().find(L"成功"), std::wstring::npos);
    EXPECT_TRUE(ButtonsAre(false, true));

    ASSERT_TRUE(ui::test::Click(Item(GetParam().modemButton)));
    // the web server takes the mode and the reboot; the modem comes back, same ttys, new device number
    ASSERT_TRUE(WaitFor([&] { return WebAsked("REBOOT_DEVICE"); }));
    EXPECT_TRUE(WebAsked("goformId=SET_PRODUCT_MODE"));
    Unplug();
    EmulatedModem back;
    AddModemWithoutStrings(*usb_, 24, 112, 71, back.At());
    EXPECT_NE(AnswerResult().find(L"成功"), std::wstring::npos);
    EXPECT_TRUE(ButtonsAre(true, false));
}

INSTANTIATE_TEST_SUITE_P(EachTool, SwitchToolOnMockedModem, ::testing::ValuesIn(kTools), tooltest::ByCaseName());

TEST(SwitchToolFlow, AtATenthOfProgramTime)
{
    if (InCopy())
        GTEST_SKIP() << "already the copy";
    const pid_t child = childproc::SpawnSelf(kCopyFilter, kCopyEnvironment);
    ASSERT_GT(child, 0);
    EXPECT_EQ(0, childproc::WaitExit(child));
}

// The suite runs as root: the same flow again as an ordinary user.
TEST(SwitchToolFlow, AsNobody)
{
    if (InCopy())
        GTEST_SKIP() << "already the copy";
    if (::geteuid() != 0)
        GTEST_SKIP() << "already an ordinary user";
    const pid_t child = childproc::Spawn(
        "/usr/bin/setpriv",
        {"--reuid=65534", "--regid=65534", "--clear-groups", std::filesystem::read_symlink("/proc/self/exe").string(),
         std::string("--gtest_filter=") + kCopyFilter},
        kCopyEnvironment);
    ASSERT_GT(child, 0);
    EXPECT_EQ(0, childproc::WaitExit(child));
}

}  // namespace
