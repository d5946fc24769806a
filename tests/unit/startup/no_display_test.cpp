// Started where no window can be shown (an ssh shell, sudo that drops DISPLAY),
// a program says so and ends before it makes its working folder or takes its
// single-instance name, so that a later start is not refused by an invisible one.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "private_tmpdir.h"
#include "tests/support/child_process.h"

namespace {

class NoDisplay : public PrivateTmpdir {};

// The exit status of pid, or -1 (killed) when it still runs after 20 s.
int WaitExited(pid_t pid)
{
    for (int i = 0; i < 800; ++i) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// A display number no X server holds here (the real-window pass and a
// developer's own server take some).
std::string FreeDisplay()
{
    for (int n = 97; n < 400; ++n) {
        const std::string id = std::to_string(n);
        if (!std::filesystem::exists("/tmp/.X11-unix/X" + id) && !std::filesystem::exists("/tmp/.X" + id + "-lock"))
            return ":" + id;
    }
    return ":399";
}

}  // namespace

TEST_F(NoDisplay, ProgramSaysSoAndEndsBeforeItsWorkingFolder)
{
    const std::string unheld = FreeDisplay();
    struct Case {
        const char* program;
        const char* display;  // nullptr: not set
    } cases[] = {
        {"Setwell", nullptr},
        {"Swapwell", nullptr},
        {"Setwell", unheld.c_str()},  // set, but nothing to open
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " DISPLAY=" + (c.display ? c.display : "(none)"));
        const std::string program = std::string(TEST_BUILD_DIR "/") + c.program;
        const std::string runtime = tmp_ + "/run";
        std::filesystem::create_directories(runtime);
        chmod(runtime.c_str(), 0700);
        const std::string errors = root_ + "/stderr.txt";

        std::vector<std::string> env = {"TMPDIR=" + tmp_, "SETWELL_TIME_SCALE=0.01", "XDG_RUNTIME_DIR=" + runtime};
        if (c.display)
            env.push_back(std::string("DISPLAY=") + c.display);
        const pid_t pid = childproc::Spawn(program, {}, env, {"SETWELL_", "KESTLE_", "DISPLAY=", "WAYLAND_DISPLAY="},
                                           errors);
        ASSERT_GT(pid, 0);

        const int code = WaitExited(pid);
        EXPECT_NE(code, 0);
        EXPECT_NE(code, -1) << "still running without a display";
        std::ifstream in(errors);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("cannot open display"), std::string::npos) << text;
        // no working folder, and no single-instance lock left or taken
        for (const auto& entry : std::filesystem::directory_iterator(tmp_))
            EXPECT_NE(entry.path().filename().string().rfind("tempPath", 0), 0u) << entry.path();
        EXPECT_TRUE(std::filesystem::is_empty(runtime));
    }
}
