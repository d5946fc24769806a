// A tester without a modem plays the modem's life from the shell: the
// modemsim program serves the device, "modemsim ctl" unplugs and replugs it,
// and the Setwell program as built (headless) follows.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"

namespace fs = std::filesystem;

namespace {

const std::string kBuild = TEST_BUILD_DIR;

bool WaitUntil(const std::function<bool()>& done, int seconds = 120)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ShellControl : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/shell-control-XXXXXX";
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        root_ = templ;
        dev_ = root_ + "/device";
        ASSERT_EQ(mkdir((root_ + "/run").c_str(), 0700), 0);
        if (asUser_) {
            if (geteuid() != 0)
                GTEST_SKIP() << "needs root to become another user";
            ASSERT_EQ(chown(root_.c_str(), 65534, 65534), 0);
            ASSERT_EQ(chown((root_ + "/run").c_str(), 65534, 65534), 0);
        }
        sim_ = Start(kBuild + "/modemsim", {"--dir", dev_, "--restart-ms", "500"}, {}, root_ + "/modemsim.err");
        ASSERT_GT(sim_, 0);
        ASSERT_TRUE(WaitUntil([&] { return Ctl("status", nullptr) == 0; })) << ReadAll(root_ + "/modemsim.err");
    }

    void TearDown() override
    {
        for (pid_t pid : {tool_, sim_}) {
            if (pid > 0) {
                kill(pid, SIGTERM);
                childproc::WaitExit(pid, 60000);
            }
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // program as the test's user, or as nobody for a fixture that says so
    pid_t Start(const std::string& program, std::vector<std::string> args, const std::vector<std::string>& env,
                const std::string& stderrPath = {})
    {
        if (!asUser_)
            return childproc::Spawn(program, std::move(args), env, {}, stderrPath);
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program});
        return childproc::Spawn("/usr/bin/setpriv", std::move(args), env, {}, stderrPath);
    }

    pid_t StartSetwell(const std::string& stderrPath = {})
    {
        return Start(kBuild + "/Setwell", {},
                     {"SETWELL_UI=headless", "KESTLE_DEVICE_DIR=" + dev_, "SETWELL_DEBUG_OUTPUT=" + root_ + "/setwell.log",
                      "TMPDIR=" + root_, "XDG_RUNTIME_DIR=" + root_ + "/run", "XDG_CONFIG_HOME=" + root_ + "/config"},
                     stderrPath);
    }

    // "modemsim ctl DEVICE words": its exit code, its output in *out
    int Ctl(const std::string& words, std::string* out)
    {
        std::string file = root_ + "/ctl.out";
        std::string command = "'" + kBuild + "/modemsim' ctl '" + dev_ + "' " + words + " >'" + file + "' 2>&1";
        int status = std::system(command.c_str());
        if (out)
            *out = ReadAll(file);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int ReadsOfTheSettings()
    {
        std::string out;
        return Ctl("count 'AT+CGDCONT?'", &out) == 0 ? std::atoi(out.c_str()) : -1;
    }

    size_t LogCount(const std::string& text)
    {
        std::string log = ReadAll(root_ + "/setwell.log");
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    }

    std::string root_, dev_;
    pid_t sim_ = -1, tool_ = -1;
    bool asUser_ = false;
};

// Users are not root, whom an exclusive tty does not stop.
class ShellControlAsUser : public ShellControl {
protected:
    ShellControlAsUser() { asUser_ = true; }
};

// Two tools in turn against one emulator, which keeps its terminals open: the
// AT port the first tool had is free for the second.
TEST_F(ShellControlAsUser, SecondToolOpensTheAtPortTheFirstHad)
{
    for (int run = 1; run <= 2; ++run) {
        const std::string err = root_ + "/setwell" + std::to_string(run) + ".err";
        tool_ = StartSetwell(err);
        ASSERT_GT(tool_, 0);
        ASSERT_TRUE(WaitUntil([&] { return ReadsOfTheSettings() >= run; })) << run << ": " << ReadAll(err);
        EXPECT_EQ(ReadAll(err).find("in use by another program"), std::string::npos) << ReadAll(err);
        kill(tool_, SIGTERM);
        EXPECT_EQ(childproc::WaitExit(tool_, 60000), 0);
        tool_ = -1;
    }
}

TEST_F(ShellControl, UnplugAndReplugFromTheShellAreFollowedByTheRunningTool)
{
    tool_ = StartSetwell();
    ASSERT_GT(tool_, 0);
    // the settings are read once, on connecting
    ASSERT_TRUE(WaitUntil([&] { return ReadsOfTheSettings() >= 1; }));
    ASSERT_TRUE(WaitUntil([&] { return LogCount("Search NMEA Port SUCCESS!") >= 3; }));
    EXPECT_EQ(ReadsOfTheSettings(), 1);
    EXPECT_EQ(LogCount("Search NMEA Port Fail!"), 0u);

    std::string out;
    ASSERT_EQ(Ctl("unplug", &out), 0) << out;
    ASSERT_EQ(Ctl("status", &out), 0);
    EXPECT_NE(out.find("attached no"), std::string::npos) << out;
    EXPECT_TRUE(WaitUntil([&] { return LogCount("Search NMEA Port Fail!") >= 1; }));

    ASSERT_EQ(Ctl("replug", &out), 0) << out;
    EXPECT_TRUE(WaitUntil([&] { return ReadsOfTheSettings() == 2; }));
    EXPECT_EQ(kill(tool_, 0), 0) << "Setwell is still running";

    // a refused command says why and leaves the device as it was
    EXPECT_EQ(Ctl("mode phone", &out), 1);
    EXPECT_NE(out.find("unknown mode: phone"), std::string::npos) << out;
    ASSERT_EQ(Ctl("status", &out), 0);
    EXPECT_NE(out.find("mode modem\nattached yes"), std::string::npos) << out;
}

}  // namespace
