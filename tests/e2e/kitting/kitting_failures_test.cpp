// The kitting run stops where the device lets it down: a refused APN delete,
// or a modem that does not come back after the restore.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_paths.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/debug_output.h"
#include "tests/support/settled_click.h"
#include "tests/support/tool_test_env.h"
#include "tools/kitting/write_apn_info_dlg.h"

namespace fs = std::filesystem;
using namespace ui::test;

namespace {

constexpr const char* kImei = "356789012345678";
const std::wstring kChildTitle = L"Kitting Tool";
const std::wstring kFailed = L"Write the informaton failed!";

class KittingFailureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* tmp = std::getenv("TMPDIR"))
            oldTmp_ = tmp;
        place_.Make("kitting-fail");
        place_.WriteToolConfig();
        // the tool folder lies under the private base, here the workplace's runtime folder
        setenv("TMPDIR", place_.Root().c_str(), 1);
        toolFolder_ = place_.Root() + "/run/VX530KittingTool";
        fs::create_directories(toolFolder_);
        std::ofstream(toolFolder_ + "/backupinfo", std::ios::binary) << "backup";
        std::ofstream(toolFolder_ + "/Apn_cfg.ini", std::ios::binary)
            << "[APN_INFO]\r\nDEVICE_IMEI=" << kImei
            << "\r\nAPN_NUM=1\r\nAPN_COMMAND1=goformId=APN_PROC_EX&apn_action=save&apn_mode=manual"
               "&wan_apn=never&pdp_type=IP\r\n";
        place_.WriteResource(143, "lan_eng_cfg.ini");
        g_strLanguageFilePath = g_strWorkFolder + L"/lan_eng_cfg.ini";
        modemsim::EmulatorOptions options;
        options.mode = modemsim::Mode::NetCard;
        options.restartMs = 500;
        emulator_ = place_.StartEmulator(options);
        emulator_->SetImei(kImei);
    }

    void TearDown() override
    {
        tool_.Close();
        if (emulator_)
            emulator_->Stop();
        if (oldTmp_)
            setenv("TMPDIR", oldTmp_->c_str(), 1);
        else
            unsetenv("TMPDIR");
        place_.Remove();
        g_strLanguageFilePath.clear();
    }

    // Edits the tool configuration the program released.
    void ReplaceInConfig(const std::string& from, const std::string& to)
    {
        const std::string path = place_.Work() + "/Adatper_cfg.ini";
        std::stringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        std::string config = text.str();
        const size_t at = config.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        config.replace(at, from.size(), to);
        std::ofstream(path, std::ios::binary) << config;
    }

    // Presses Write; the boxes up to the result box, all answered.
    std::vector<Popup> RunWrite()
    {
        HWND hwnd = tool_.Open(IDD_MARL_WRITE_APN_INFO);
        EXPECT_NE(hwnd, nullptr);
        EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Control(hwnd, IDC_KITTING_WRITE)); }));
        emulator_->ClearReceived();
        EXPECT_TRUE(tooltest::ClickWhenSettled(tool_.dialog(), Control(hwnd, IDC_KITTING_WRITE)));
        std::vector<Popup> boxes;
        while (auto popup = WaitForPopup(300000)) {
            const bool result = popup->caption == kChildTitle;
            ClosePopup(*popup);
            boxes.push_back(*popup);
            if (result)
                break;
        }
        return boxes;
    }

    size_t SentWith(const std::string& fragment) const
    {
        size_t n = 0;
        for (const auto& r : emulator_->HttpRequests())
            n += (r.query + r.body).find(fragment) != std::string::npos;
        return n;
    }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    tooltest::ModalRun<CMarlWriteAPNInfoDlg> tool_;
    std::string toolFolder_;
    std::optional<std::string> oldTmp_;
    DebugCapture trace_;
};

TEST_F(KittingFailureTest, RefusedDeleteStopsTheRunBeforeAnyApnIsWritten)
{
    // an index the web server cannot read: every delete is refused
    ReplaceInConfig("apn_action=delete&apn_mode=manual&index=", "apn_action=delete&apn_mode=manual&index=x");
    auto boxes = RunWrite();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFailed);
    EXPECT_EQ(trace_.Count("KESTLE: DeleteAPN Fail!"), 1u);
    EXPECT_EQ(trace_.Count("KESTLE: DeleteAPN Success!"), 0u);
    // the first delete (index 9) is tried its full count, the others never
    EXPECT_EQ(SentWith("apn_action=delete&apn_mode=manual&index=x9"), static_cast<size_t>(KITTING_REQUEST_TRIES));
    EXPECT_EQ(SentWith("apn_action=delete"), static_cast<size_t>(KITTING_REQUEST_TRIES));
    EXPECT_EQ(SentWith("apn_action=save"), 0u);
    EXPECT_EQ(trace_.Count("KESTLE: WriteAPNParameters"), 0u);
}

TEST_F(KittingFailureTest, ModemThatDoesNotComeBackFailsTheRunAfterItsWait)
{
    emulator_->SetRestartMs(100000000);  // the restore's restart never ends
    auto boxes = RunWrite();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFailed);
    EXPECT_EQ(emulator_->UploadedRestoreFile(), "backup");
    // every test of the wait found no web server
    EXPECT_GE(trace_.Count("KESTLE: CPlatformManager, Search RNDIS Port Fail!"),
              static_cast<size_t>(KITTING_RESTART_TESTS));
    // the next step finds no device either; the run stops there
    EXPECT_EQ(SentWith("apn_action=set_default"), 0u);
    EXPECT_EQ(trace_.Count("KESTLE: DeleteAPN"), 0u);
    EXPECT_EQ(SentWith("apn_action=delete"), 0u);
    EXPECT_EQ(SentWith("apn_action=save"), 0u);
}

}  // namespace
