// A second copy of the mode switch tool refuses to start while the first runs.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_paths.h"
#include "app/prompt_dialogs.h"
#include "platform/ui/test_driver.h"
#include "platform/win/code_page.h"
#include "tests/support/child_process.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

std::string MakeRoot()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/swapwell-copies-XXXXXX";
    return mkdtemp(templ.data()) ? templ : std::string();
}

using childproc::WaitExit;
using childproc::WaitForFile;

}  // namespace

// Runs only as the second copy, started by the test below in a child process.
TEST(SwapwellSecondCopy, Run)
{
    const char* report = std::getenv("SWAPWELL_SECOND_COPY_REPORT");
    if (!report)
        GTEST_SKIP() << "runs only as the second copy";
    g_strWorkFolder = fs::path(report).parent_path().wstring();
    g_strCfgFilePath = g_strWorkFolder + L"/Adatper_cfg.ini";
    std::thread([report] {
        auto popup = ui::test::WaitForPopup(30000);
        std::ofstream out(report);
        if (popup)
            out << popup->templateId << "\n" << WideToUtf8(popup->caption) << "|" << WideToUtf8(popup->text) << "\n";
        out.close();
        if (popup)
            ui::test::ClosePopup(*popup);
    }).detach();
    CWinApp app;
    CSwitchModeToolDlg dialog;
    app.m_pMainWnd = &dialog;
    dialog.DoModal();
    std::exit(3);  // reached only when the refusal did not end the process
}

class SwapwellCopies : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = MakeRoot();
        ASSERT_FALSE(root_.empty());
        runtime_ = root_ + "/run";
        ASSERT_EQ(mkdir(runtime_.c_str(), 0700), 0);
    }
    void TearDown() override
    {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::vector<std::string> Env(std::vector<std::string> more = {})
    {
        more.push_back("TMPDIR=" + root_);
        more.push_back("XDG_RUNTIME_DIR=" + runtime_);
        more.push_back("XDG_CONFIG_HOME=" + root_ + "/config");
        more.push_back("SETWELL_UI=headless");
        more.push_back("SETWELL_TIME_SCALE=0.01");
        more.push_back("KESTLE_DEVICE_DIR=" + root_ + "/no-device");
        return more;
    }
    std::string root_, runtime_;
    std::vector<pid_t> pids_;
};

TEST_F(SwapwellCopies, SecondCopyShowsItsRefusalAndExitsZeroWhileTheFirstRuns)
{
    std::vector<std::string> env = Env();
    pid_t first = childproc::Spawn(TEST_BUILD_DIR "/Swapwell", {}, env);
    ASSERT_GT(first, 0);
    pids_.push_back(first);
    ASSERT_TRUE(WaitForFile(runtime_ + "/tempPath0/lan_jap_cfg.ini", 10000));

    // the same dialog code as a second copy, with a driver that answers its refusal
    fs::create_directories(root_ + "/second");
    std::string report = root_ + "/second/report.txt";
    std::vector<std::string> secondEnv = Env({"SWAPWELL_SECOND_COPY_REPORT=" + report});
    pid_t second = childproc::SpawnSelf("SwapwellSecondCopy.Run", secondEnv);
    ASSERT_GT(second, 0);
    EXPECT_EQ(WaitExit(second), 0);
    std::ifstream in(report);
    std::string id, texts;
    std::getline(in, id);
    std::getline(in, texts);
    EXPECT_EQ(id, std::to_string(IDD_PROMPT_INFO));
    // the tool has its language file before it refuses: ATTENTION | SINGLE_TOOL
    EXPECT_EQ(texts, "注意|モード切替ツールは既に起動中です。");

    // the first copy runs on and ends cleanly when closed
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0);
    kill(first, SIGTERM);
    EXPECT_EQ(WaitExit(first), 0);
    pids_.clear();
    EXPECT_FALSE(fs::exists(runtime_ + "/tempPath0"));
}

TEST_F(SwapwellCopies, SecondProgramStopsAtItsRefusal)
{
    std::vector<std::string> env = Env();
    pid_t first = childproc::Spawn(TEST_BUILD_DIR "/Swapwell", {}, env);
    ASSERT_GT(first, 0);
    pids_.push_back(first);
    ASSERT_TRUE(WaitForFile(runtime_ + "/tempPath0/lan_jap_cfg.ini", 10000));
    pid_t second = childproc::Spawn(TEST_BUILD_DIR "/Swapwell", {}, env);
    ASSERT_GT(second, 0);
    pids_.push_back(second);
    // the second program made its own working folder and language file, for the
    // texts of its refusal, and stops there
    ASSERT_TRUE(WaitForFile(runtime_ + "/tempPath1/lan_jap_cfg.ini", 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(waitpid(second, nullptr, WNOHANG), 0);
    for (pid_t pid : {second, first})
        kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(second), 0);
    EXPECT_EQ(WaitExit(first), 0);
    pids_.clear();
    EXPECT_FALSE(fs::exists(runtime_ + "/tempPath0"));
    EXPECT_FALSE(fs::exists(runtime_ + "/tempPath1"));
}
