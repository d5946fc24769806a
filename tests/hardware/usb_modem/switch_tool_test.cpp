// Swapwell's mode switch dialog, headless, on the real back end and a mocked
// modem: the user switches to network-card mode, the modem answers on its AT
// port, leaves the bus and comes back as a network card; then back to modem
// mode through its web server (the emulator's, on loopback). The dialog
// follows the device without a restart.
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

#include "app/notice_dialogs.h"
#include "app/prompt_dialogs.h"
#include "device/port_scanner.h"
#include "emulator/modem_emulator.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/ui/test_driver.h"
#include "platform/win/registry.h"
#include "tests/hardware/usb_modem/mock_usb.h"
#include "tests/support/child_process.h"
#include "tests/support/tool_test_env.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"

using namespace hwtest;
using portlib_test::PtyPeer;
using Clock = std::chrono::steady_clock;

namespace {

// The dialog waits for the switched device a fixed number of passes; at the
// suite's hundredth of program time that is about 2 s of real time, too short
// a window for the test to swap the bus on a loaded machine. The flow runs in
// a copy of this program at a tenth (about 20 s).
constexpr const char* kCopyMark = "HWTEST_SWITCH_TOOL_COPY=1";
const std::vector<std::string> kCopyEnvironment = {kCopyMark, "SETWELL_TIME_SCALE=0.1"};

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

class SwitchToolOnMockedModem : public ::testing::Test, protected RealBackEnd {
protected:
    void SetUp() override
    {
        if (!InCopy())
            GTEST_SKIP() << "run by SwitchToolFlow in a copy of this program";
        place_.Make("switch-tool-hw");
        place_.WriteToolConfig();
        // the device's web server: up only while the device is a network card
        modemsim::EmulatorOptions options;
        options.mode = modemsim::Mode::NetCard;
        web_ = std::make_unique<modemsim::ModemEmulator>(options);
        std::string error;
        ASSERT_TRUE(web_->Start(&error)) << error;
        const int port = web_->WebPort();
        ASSERT_GT(port, 0);
        web_->SetMode(modemsim::Mode::Modem);
        PointDomainAt("127.0.0.1:" + std::to_string(port));
        SetNoticeKey(kNormalModeSuffix);
        SetNoticeKey(kModemModeSuffix);
    }

    void TearDown() override
    {
        tool_.Close();
        if (web_)
            web_->Stop();
        SetATPort("");
        usb_.reset();
        while (!gone_.empty())
            gone_.pop_back();
        place_.Remove();
    }

    // The tool's DOMAIN_NAME in its section of the configuration.
    void PointDomainAt(const std::string& domain)
    {
        const std::string path = place_.Work() + "/Adatper_cfg.ini";
        std::stringstream read;
        read << std::ifstream(path, std::ios::binary).rdbuf();
        std::string text = read.str();
        const size_t section = text.find("[GEN_SWITCH_MODE_TOOL_INFO]");
        ASSERT_NE(section, std::string::npos);
        const std::string key = "DOMAIN_NAME=";
        const size_t value = text.find(key, section);
        ASSERT_NE(value, std::string::npos);
        const size_t start = value + key.size();
        text.replace(start, text.find('\r', start) - start, domain);
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

    // An option modem without strings on ttyUSB<first>..: DIAG, GPS, AT.
    void AddModem(int usbPort, int devnum, int first, PtyPeer::Handler at)
    {
        const std::string dev = usb_->AddDevice(usbPort, "2031", "0501", devnum);
        const PtyPeer::Handler handlers[] = {DiagPort(), GpsPort(), std::move(at)};
        for (int i = 0; i < 3; ++i) {
            const std::string tty = "ttyUSB" + std::to_string(first + i);
            usb_->AddTty(usb_->AddInterface(dev, {i, "option", ""}), tty);
            usb_->Serve(tty, handlers[i]);
        }
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

    bool ButtonsAre(bool normal, bool modem)
    {
        return ui::test::WaitUntil([&] { return ui::test::IsEnabled(Item(IDC_GEN_NORMAL_MODE)) == normal &&
                                                ui::test::IsEnabled(Item(IDC_GEN_MODEM_MODE)) == modem; },
                                   60000);
    }

    // The next prompt's text, after closing it.
    std::wstring AnswerPrompt()
    {
        auto popup = ui::test::WaitForPopup(60000);
        if (!popup)
            return L"<no popup>";
        EXPECT_EQ(popup->templateId, IDD_PROMPT_INFO);
        ui::test::ClosePopup(*popup);
        return popup->text;
    }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> web_;
    std::vector<std::unique_ptr<MockUsb>> gone_;
    std::unique_ptr<MockUsb> usb_ = std::make_unique<MockUsb>();
    tooltest::ModalRun<CSwitchModeToolDlg> tool_;
    HWND hwnd_ = nullptr;
};

TEST_F(SwitchToolOnMockedModem, NetworkCardModeAndBackWithoutARestart)
{
    EmulatedModem modem;
    AddModem(24, 110, 71, modem.At());
    hwnd_ = tool_.Open(IDD_SWITCH_MODE_TOOL);
    ASSERT_NE(hwnd_, nullptr);
    ASSERT_TRUE(ButtonsAre(true, false));

    ASSERT_TRUE(ui::test::Click(Item(IDC_GEN_NORMAL_MODE)));
    // the modem takes the commands on its AT port, restarts and comes back as a card
    ASSERT_TRUE(WaitFor([&] { return Asked("ttyUSB73", "AT+ZRST"); }));
    EXPECT_TRUE(Asked("ttyUSB73", "AT+ZCPE=o"));
    Unplug();
    AddCard(24, 111);
    web_->SetMode(modemsim::Mode::NetCard);
    EXPECT_NE(AnswerPrompt().find(L"成功"), std::wstring::npos);
    EXPECT_TRUE(ButtonsAre(false, true));

    ASSERT_TRUE(ui::test::Click(Item(IDC_GEN_MODEM_MODE)));
    // the web server takes the mode and the reboot; the modem comes back on new numbers
    ASSERT_TRUE(WaitFor([&] { return WebAsked("REBOOT_DEVICE"); }));
    EXPECT_TRUE(WebAsked("goformId=SET_PRODUCT_MODE&debug_enable=1"));
    Unplug();
    EmulatedModem back;
    AddModem(24, 112, 71, back.At());
    EXPECT_NE(AnswerPrompt().find(L"成功"), std::wstring::npos);
    EXPECT_TRUE(ButtonsAre(true, false));
}

TEST(SwitchToolFlow, AtATenthOfProgramTime)
{
    if (InCopy())
        GTEST_SKIP() << "already the copy";
    const pid_t child = childproc::SpawnSelf("SwitchToolOnMockedModem.*", kCopyEnvironment);
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
         "--gtest_filter=SwitchToolOnMockedModem.*"},
        kCopyEnvironment);
    ASSERT_GT(child, 0);
    EXPECT_EQ(0, childproc::WaitExit(child));
}

}  // namespace
