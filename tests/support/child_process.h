#pragma once
// Test programs that start other programs (a second copy of a tool, or a
// gtest of their own program in a child): the child's environment, the start,
// and waiting for files and for the end.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace childproc {

// own ("NAME=value") followed by this process's environment less the names own
// sets and less the entries that start with one of dropped ("SETWELL_", "DISPLAY=").
inline std::vector<std::string> EnvironmentWith(const std::vector<std::string>& own,
                                                const std::vector<std::string>& dropped = {})
{
    std::vector<std::string> entries = own;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        bool replaced = false;
        for (const auto& mine : own)
            replaced |= entry.compare(0, mine.find('=') + 1, mine, 0, mine.find('=') + 1) == 0;
        for (const auto& prefix : dropped)
            replaced |= entry.rfind(prefix, 0) == 0;
        if (!replaced)
            entries.push_back(entry);
    }
    return entries;
}

// Starts program with args and the environment of EnvironmentWith(own, dropped),
// its standard error into stderrPath when one is given; -1 on failure.
inline pid_t Spawn(const std::string& program, std::vector<std::string> args, const std::vector<std::string>& own,
                   const std::vector<std::string>& dropped = {}, const std::string& stderrPath = {})
{
    std::vector<std::string> env = EnvironmentWith(own, dropped);
    std::string arg0 = program;
    std::vector<char*> argv{arg0.data()};
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stderrPath.empty())
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// This test program again, running only the gtest of filter.
inline pid_t SpawnSelf(const std::string& filter, const std::vector<std::string>& own)
{
    return Spawn(std::filesystem::read_symlink("/proc/self/exe").string(), {"--gtest_filter=" + filter}, own);
}

// The exit code; -1 when the child did not exit normally, or (killed then)
// did not end within timeoutMs (negative: wait as long as it takes).
inline int WaitExit(pid_t pid, int timeoutMs = -1)
{
    int status = 0;
    if (timeoutMs < 0)
        return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

inline bool WaitForFile(const std::string& path, int ms)
{
    for (int waited = 0; waited < ms && !std::filesystem::exists(path); waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return std::filesystem::exists(path);
}

// The same while the child pid runs: a child that has ended (it refused
// itself, or failed) gives false at once rather than after ms.
inline bool WaitForFileWhileRunning(pid_t pid, const std::string& path, int ms)
{
    for (int waited = 0; waited < ms && !std::filesystem::exists(path); waited += 20) {
        siginfo_t info{};
        // ended: left to be reaped by WaitExit
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == pid)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::filesystem::exists(path);
}

}  // namespace childproc
