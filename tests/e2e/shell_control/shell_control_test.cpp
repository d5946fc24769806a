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
        sim_ = childproc::Spawn(kBuild + "/modemsim", {"--dir", dev_, "--restart-ms", "500"}, {}, {},
                                root_ + "/modemsim.err");
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
};

TEST_F(ShellControl, UnplugAndReplugFromTheShellAreFollowedByTheRunningTool)
{
    tool_ = childproc::Spawn(kBuild + "/Setwell", {},
                             {"SETWELL_UI=headless", "KESTLE_DEVICE_DIR=" + dev_, "SETWELL_DEBUG_OUTPUT=" + root_ + "/setwell.log",
                              "TMPDIR=" + root_, "XDG_RUNTIME_DIR=" + root_ + "/run", "XDG_CONFIG_HOME=" + root_ + "/config"});
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
