// The mode switch tool's failing steps: a restart or reboot refused at every
// try, a device that does not come back within the wait, and the host name
// used when the configuration names none.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/app_paths.h"
#include "app/notice_dialogs.h"
#include "app/prompt_dialogs.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "platform/win/registry.h"
#include "tests/e2e/swapwell/swapwell_fixture.h"
#include "tests/support/paced_run.h"
#include "tests/support/timeout_scale.h"
#include "tests/support/tool_test_env.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"

using namespace ui::test;

namespace {

class SwapwellFailureTest : public swapwelltest::SwapwellToolTest {
protected:
    void SetUp() override
    {
        SwapwellToolTest::SetUp();
        for (const wchar_t* suffix : {kNormalModeSuffix, kModemModeSuffix})
            SetNoticeKey(suffix);
    }

    HWND Open()
    {
        HWND hwnd = tool_.Open(IDD_SWITCH_MODE_TOOL);
        EXPECT_NE(hwnd, nullptr);
        return hwnd;
    }
    bool Enabled(HWND hwnd, int id)
    {
        return WaitUntil([&] { return IsEnabled(Control(hwnd, id)); });
    }
    // The result prompt's text, after closing it.
    std::wstring Result(DWORD timeoutMs = 120000) { return AnswerNext(IDD_PROMPT_INFO, timeoutMs); }
    size_t CountHttp(const char* fragment)
    {
        size_t n = 0;
        for (const auto& request : emulator_->HttpRequests())
            n += request.body.find(fragment) != std::string::npos;
        return n;
    }
};

TEST_F(SwapwellFailureTest, RestartRefusedThreeTimesGivesFailedWithoutWaiting)
{
    emulator_->InjectAtFault("AT+ZRST", {modemsim::FaultKind::Garbage, "\r\nERROR\r\n", 0, 500, -1});
    HWND hwnd = Open();
    ASSERT_TRUE(Enabled(hwnd, IDC_GEN_NORMAL_MODE));
    ASSERT_TRUE(Click(Control(hwnd, IDC_GEN_NORMAL_MODE)));
    EXPECT_NE(Result().find(L"失敗"), std::wstring::npos);
    EXPECT_EQ(CountAt("AT+ZCPE=o"), 1u);
    EXPECT_EQ(CountAt("AT+ZRST"), 3u);
    EXPECT_EQ(emulator_->RestartCount(), 0);
}

TEST_F(SwapwellFailureTest, RebootRefusedThreeTimesGivesFailedWithoutWaiting)
{
    emulator_->SetMode(modemsim::Mode::NetCard);
    emulator_->InjectHttpFault("REBOOT_DEVICE", 500, -1);
    HWND hwnd = Open();
    ASSERT_TRUE(Enabled(hwnd, IDC_GEN_MODEM_MODE));
    ASSERT_TRUE(Click(Control(hwnd, IDC_GEN_MODEM_MODE)));
    EXPECT_NE(Result().find(L"失敗"), std::wstring::npos);
    EXPECT_EQ(CountHttp("goformId=SET_PRODUCT_MODE&"), 1u);
    EXPECT_EQ(CountHttp("REBOOT_DEVICE"), 3u);
    EXPECT_EQ(emulator_->CurrentMode(), modemsim::Mode::NetCard);
}

TEST_F(SwapwellFailureTest, ModemModeThatNeverComesBackFailsAfterFiftyListings)
{
    // The count starts once the wait shows; its first listing comes a pass
    // (4.5 s of program time) later. At a tenth of real time that gap is long
    // enough for a loaded machine to start counting first.
    if (!tooltest::RunsAtTimeScale(0.1))
        return;
    emulator_->SetMode(modemsim::Mode::NetCard);
    emulator_->SetRestartMs(100000000);
    HWND hwnd = Open();
    ASSERT_TRUE(Enabled(hwnd, IDC_GEN_MODEM_MODE));

    // every pass of the wait reads the device listing once
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, emulator_->DeviceDir().c_str(), IN_OPEN), 0);
    std::atomic<bool> counting{false}, stop{false};
    std::atomic<int> listings{0};
    std::thread reader([&] {
        alignas(inotify_event) char buffer[4096];
        while (!stop) {
            const ssize_t n = read(watch, buffer, sizeof buffer);
            if (n <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (counting && event->len && std::strcmp(event->name, "listing") == 0)
                    ++listings;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    });

    ASSERT_TRUE(Click(Control(hwnd, IDC_GEN_MODEM_MODE)));
    // the watch thread has stopped once the wait shows; its first listing comes after
    EXPECT_TRUE(WaitUntil([&] { return IsVisible(Control(hwnd, IDC_GEN_WAITING_INFO)); }, 60000));
    counting = true;
    const DWORD start = GetTickCount();
    auto prompt = WaitForPopup(600000);
    const DWORD waited = GetTickCount() - start;
    ASSERT_TRUE(prompt.has_value());
    // the worker waits on the prompt: the last listing's open reaches the reader,
    // and the watch thread, which lists too, comes back only once it is answered
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    counting = false;
    ClosePopup(*prompt);
    const std::wstring result = prompt->text;
    stop = true;
    reader.join();
    close(watch);

    EXPECT_NE(result.find(L"失敗"), std::wstring::npos);
    EXPECT_EQ(listings.load(), GEN_SWITCH_WAIT_PASSES);
    // a pass: the Japanese animation (7 x 500 ms), then 1000 ms, then the listing
    EXPECT_GE(waited, tooltest::AtLeastMs((GEN_SWITCH_WAIT_PASSES - 1) * 4500u));
    EXPECT_EQ(CountHttp("REBOOT_DEVICE"), 1u);
}

TEST(SwapwellDomainName, EmptyOrMissingDomainNameIsTheGenericHost)
{
    tooltest::Workplace place;
    place.Make("swapwell-domain");
    const struct {
        const char* config;
        const char* host;
    } cases[] = {
        {"[GEN_SWITCH_MODE_TOOL_INFO]\r\nDOMAIN_NAME=\r\n", "192.168.0.1"},
        {"[GEN_SWITCH_MODE_TOOL_INFO]\r\nSWITCH_MODEM_COMMAND=x\r\n", "192.168.0.1"},
        {"[GEN_SWITCH_MODE_TOOL_INFO]\r\nDOMAIN_NAME=device.example\r\n", "device.example"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        std::ofstream(place.Work() + "/Adatper_cfg.ini") << c.config;
        g_strCfgFilePath = g_strWorkFolder + L"/Adatper_cfg.ini";
        CSwitchModeToolDlg dialog;
        char host[1024] = {};
        EXPECT_EQ(dialog.ReadGenDomainName(host, sizeof host), static_cast<int>(std::strlen(c.host)));
        EXPECT_STREQ(host, c.host);
    }
    place.Remove();
}

}  // namespace
