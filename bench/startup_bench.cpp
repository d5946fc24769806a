// Start-up to a mapped window under Xvfb: Setwell and Swapwell against the
// emulator (modemsim, KESTLE_DEVICE_DIR) beside a bare FLTK window with the same
// CJK font and one label, run in turns in the same session. The time is from
// just before fork+exec to the MapNotify of the program's first top-level
// window, seen by this program's own X connection watching the root window
// (no window manager, so nothing else maps). Prints the median, minimum and
// maximum of each and the ratio of the medians to the bare window's (a plain
// FLTK program loads its font only when it first draws, after the map; the
// line "sized to label" loads it before, as a laid-out dialog must).
// Usage: startup_bench [runs] (default 15; one warm-up run each is not counted)
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Subject {
    const char* name;
    std::vector<std::string> argv;
    bool device;   // runs against the emulator
    std::vector<double> ms;
};

std::string BuildFolder()
{
    return fs::read_symlink("/proc/self/exe").parent_path().string();
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& out)
{
    pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// SIGTERM (the programs close their window and clean up), SIGKILL after 5 s
void Stop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// The time until the first top-level window is mapped, or a negative value
bool WaitForMap(Display* d, Clock::time_point start, double* ms)
{
    const auto limit = start + std::chrono::seconds(15);
    for (;;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify) {
                *ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                return true;
            }
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, static_cast<int>(left));
    }
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::string build = BuildFolder();
    char templ[] = "/tmp/startup-bench-XXXXXX";
    if (!mkdtemp(templ)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string work = templ;

    // a display of our own, away from the numbers the scripts use
    int number = -1;
    for (int n = 160; n < 200 && number < 0; ++n)
        if (!fs::exists("/tmp/.X" + std::to_string(n) + "-lock") && !fs::exists("/tmp/.X11-unix/X" + std::to_string(n)))
            number = n;
    if (number < 0) {
        std::fprintf(stderr, "startup_bench: no free X display\n");
        return 1;
    }
    const std::string display = ":" + std::to_string(number);
    pid_t xvfb = Spawn({"Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"}, {},
                       work + "/xvfb.log");
    Display* d = nullptr;
    for (int i = 0; i < 200 && !d; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        d = XOpenDisplay(display.c_str());
    }
    pid_t sim = -1;
    auto finish = [&](int code) {
        if (d)
            XCloseDisplay(d);
        if (sim > 0)
            Stop(sim);
        Stop(xvfb);
        fs::remove_all(work);
        return code;
    };
    if (!d) {
        std::fprintf(stderr, "startup_bench: Xvfb did not start on %s\n", display.c_str());
        return finish(1);
    }
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, True);

    const std::string device = work + "/device";
    sim = Spawn({build + "/modemsim", "--dir", device, "--mode", "modem"}, {}, work + "/modemsim.log");
    for (int i = 0; i < 200 && !(fs::exists(device + "/listing") && fs::file_size(device + "/listing") > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    if (!fs::exists(device + "/listing")) {
        std::fprintf(stderr, "startup_bench: the emulator did not start\n");
        return finish(1);
    }

    std::vector<Subject> subjects = {
        {"bare FLTK window", {build + "/bench_bare_window"}, false, {}},
        {"bare, sized to label", {build + "/bench_bare_window", "--fit"}, false, {}},
        {"Setwell", {build + "/Setwell"}, true, {}},
        {"Swapwell", {build + "/Swapwell"}, true, {}},
    };
    for (int round = 0; round <= runs; ++round) {
        for (Subject& s : subjects) {
            // a fresh private home each run, as a first start of the day
            const std::string home = work + "/run" + std::to_string(round) + "-" + std::to_string(&s - subjects.data());
            for (const char* sub : {"tmp", "run", "config"})
                fs::create_directories(home + "/" + sub);
            chmod((home + "/run").c_str(), 0700);
            std::vector<std::string> env = {"DISPLAY=" + display, "SETWELL_UI=", "TMPDIR=" + home + "/tmp",
                                            "XDG_RUNTIME_DIR=" + home + "/run", "XDG_CONFIG_HOME=" + home + "/config"};
            if (s.device)
                env.push_back("KESTLE_DEVICE_DIR=" + device);
            const auto start = Clock::now();
            pid_t pid = Spawn(s.argv, env, home + "/out.log");
            double ms = 0;
            bool mapped = WaitForMap(d, start, &ms);
            Stop(pid);
            // the window's unmap and destroy events
            XSync(d, True);
            if (!mapped) {
                std::fprintf(stderr, "startup_bench: %s mapped no window (see %s/out.log)\n", s.name, home.c_str());
                return finish(1);
            }
            if (round > 0)
                s.ms.push_back(ms);
        }
    }

    const double bare = Median(subjects[0].ms);
    std::printf("start-up to a mapped window under Xvfb, %d runs each (MapNotify on the root window)\n", runs);
    for (const Subject& s : subjects)
        std::printf("%-22s median %7.1f ms  min %7.1f  max %7.1f  ratio %.2f\n", s.name, Median(s.ms),
                    *std::min_element(s.ms.begin(), s.ms.end()), *std::max_element(s.ms.begin(), s.ms.end()),
                    Median(s.ms) / bare);
    return finish(0);
}
