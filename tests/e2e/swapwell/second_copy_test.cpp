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

// The environment of this process with the given variables replaced.
struct ChildEnvironment {
    explicit ChildEnvironment(std::vector<std::string> own) : entries(std::move(own))
    {
        for (char** e = environ; *e; ++e) {
            std::string entry(*e);
            bool replaced = false;
            for (const auto& mine : entries)
                replaced |= entry.compare(0, mine.find('=') + 1, mine, 0, mine.find('=') + 1) == 0;
            if (!replaced)
                entries.push_back(entry);
        }
        for (auto& e : entries)
            pointers.push_back(e.data());
        pointers.push_back(nullptr);
    }
    std::vector<std::string> entries;
    std::vector<char*> pointers;
};

pid_t Spawn(const std::string& program, std::vector<std::string> args, ChildEnvironment& env)
{
    std::vector<char*> argv;
    std::string arg0 = program;
    argv.push_back(arg0.data());
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), env.pointers.data()) == 0 ? pid : -1;
}

bool WaitForFile(const std::string& path, int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (fs::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return fs::exists(path);
}

int WaitExit(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string Utf8(const std::wstring& w)
{
    std::string out;
    for (wchar_t c : w)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

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
            out << popup->templateId << "\n" << Utf8(popup->caption) << "|" << Utf8(popup->text) << "\n";
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
    ChildEnvironment Env(std::vector<std::string> more = {})
    {
        more.push_back("TMPDIR=" + root_);
        more.push_back("XDG_RUNTIME_DIR=" + runtime_);
        more.push_back("XDG_CONFIG_HOME=" + root_ + "/config");
        more.push_back("SETWELL_UI=headless");
        more.push_back("SETWELL_TIME_SCALE=0.01");
        more.push_back("KESTLE_DEVICE_DIR=" + root_ + "/no-device");
        return ChildEnvironment(std::move(more));
    }
    std::string root_, runtime_;
    std::vector<pid_t> pids_;
};

TEST_F(SwapwellCopies, SecondCopyShowsItsRefusalAndExitsZeroWhileTheFirstRuns)
{
    ChildEnvironment env = Env();
    pid_t first = Spawn(TEST_BUILD_DIR "/Swapwell", {}, env);
    ASSERT_GT(first, 0);
    pids_.push_back(first);
    ASSERT_TRUE(WaitForFile(root_ + "/tempPath0/lan_jap_cfg.ini", 10000));

    // the same dialog code as a second copy, with a driver that answers its refusal
    fs::create_directories(root_ + "/second");
    std::string report = root_ + "/second/report.txt";
    ChildEnvironment secondEnv = Env({"SWAPWELL_SECOND_COPY_REPORT=" + report});
    std::string self = fs::read_symlink("/proc/self/exe");
    pid_t second = Spawn(self, {"--gtest_filter=SwapwellSecondCopy.Run"}, secondEnv);
    ASSERT_GT(second, 0);
    EXPECT_EQ(WaitExit(second), 0);
    std::ifstream in(report);
    std::string id, texts;
    std::getline(in, id);
    std::getline(in, texts);
    EXPECT_EQ(id, std::to_string(IDD_PROMPT_INFO));
    // looked up before the tool has a language file: both texts are empty
    EXPECT_EQ(texts, "|");

    // the first copy runs on and ends cleanly when closed
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0);
    kill(first, SIGTERM);
    EXPECT_EQ(WaitExit(first), 0);
    pids_.clear();
    EXPECT_FALSE(fs::exists(root_ + "/tempPath0"));
}

TEST_F(SwapwellCopies, SecondProgramStopsAtItsRefusal)
{
    ChildEnvironment env = Env();
    pid_t first = Spawn(TEST_BUILD_DIR "/Swapwell", {}, env);
    ASSERT_GT(first, 0);
    pids_.push_back(first);
    ASSERT_TRUE(WaitForFile(root_ + "/tempPath0/lan_jap_cfg.ini", 10000));
    pid_t second = Spawn(TEST_BUILD_DIR "/Swapwell", {}, env);
    ASSERT_GT(second, 0);
    pids_.push_back(second);
    // the second program made its own working folder but stops at the refusal,
    // before it writes its language file
    ASSERT_TRUE(WaitForFile(root_ + "/tempPath1/Adatper_cfg.ini", 10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(root_ + "/tempPath1/lan_jap_cfg.ini"));
    for (pid_t pid : {second, first})
        kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(second), 0);
    EXPECT_EQ(WaitExit(first), 0);
    pids_.clear();
    EXPECT_FALSE(fs::exists(root_ + "/tempPath0"));
    EXPECT_FALSE(fs::exists(root_ + "/tempPath1"));
}
