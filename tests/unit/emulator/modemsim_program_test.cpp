// The modemsim program: runs until SIGTERM / SIGINT and removes what it made.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/portlib/KestlePortServer.h"

namespace {

struct Program {
    pid_t pid = -1;
    FILE* out = nullptr;
};

Program StartModemsim(const std::string& dir, const std::string& extra) {
    int fds[2];
    Program p;
    if (::pipe(fds) != 0) return p;
    p.pid = ::fork();
    if (p.pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        std::string exe = std::string(TEST_BUILD_DIR) + "/modemsim";
        std::string cmd = "exec '" + exe + "' --dir '" + dir + "' " + extra;
        ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    p.out = ::fdopen(fds[0], "r");
    return p;
}

std::string AtExchange(const char* com, const std::string& line) {
    if (KestleInitPort(PORT_KIND_AT, com) != 0) return "";
    char reply[1024] = {};
    int length = sizeof reply - 1;
    std::string request = line + "\r";
    KestleReadMsgFromPort_sync(PORT_KIND_AT, com, reinterpret_cast<const unsigned char*>(request.data()), static_cast<int>(request.size()),
                               reinterpret_cast<unsigned char*>(reply), &length, 60);
    KestleClosePort(PORT_KIND_AT, com);
    return std::string(reply, static_cast<size_t>(length > 0 ? length : 0));
}

TEST(ModemsimProgram, AnswersOnItsPortsAndCleansUpAtTheSignal) {
    char base[] = "/tmp/modemsim-program-XXXXXX";
    ASSERT_NE(::mkdtemp(base), nullptr);
    std::string dir = std::string(base) + "/device";
    for (int sig : {SIGTERM, SIGINT}) {
        Program p = StartModemsim(dir, "--sim pin --pin 2580 --restart-ms 100");
        ASSERT_GT(p.pid, 0);
        char line[512] = {};
        ASSERT_NE(std::fgets(line, sizeof line, p.out), nullptr);
        EXPECT_EQ(std::string(line), "KESTLE_DEVICE_DIR=" + dir + "\n");
        setenv("KESTLE_DEVICE_DIR", dir.c_str(), 1);
        EXPECT_EQ(AtExchange("6", "AT+CPIN?"), "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
        EXPECT_EQ(AtExchange("6", "AT+CPIN=\"2580\""), "AT+CPIN=\"2580\"\r\r\nOK\r\n");
        ::kill(p.pid, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(p.pid, &status, 0), p.pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        std::fclose(p.out);
        struct stat st{};
        EXPECT_NE(::lstat(dir.c_str(), &st), 0) << "the folder it made is gone";
    }
    unsetenv("KESTLE_DEVICE_DIR");
    ::rmdir(base);
}

// A fresh device is one the carrier tools' case tables know (network mode 7,
// High Speed with WiMAX 2+ on); the options give the other states.
TEST(ModemsimProgram, StartsAsAShippedDeviceOrInTheStateAsked) {
    char base[] = "/tmp/modemsim-program-XXXXXX";
    ASSERT_NE(::mkdtemp(base), nullptr);
    std::string dir = std::string(base) + "/device";
    const struct {
        const char* extra;
        const char* flags;
        const char* zsnt;
    } cases[] = {
        {"", "0,0,1,0", "7,0,0"},
        {"--flags 1,1,0,0 --network-mode 6", "1,1,0,0", "6,0,0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra);
        Program p = StartModemsim(dir, c.extra);
        ASSERT_GT(p.pid, 0);
        char line[512] = {};
        ASSERT_NE(std::fgets(line, sizeof line, p.out), nullptr);
        setenv("KESTLE_DEVICE_DIR", dir.c_str(), 1);
        EXPECT_EQ(AtExchange("6", "AT+ZEFSGET?"), std::string("AT+ZEFSGET?\r\r\n+ZEFSGET: ") + c.flags + "\r\n\r\nOK\r\n");
        EXPECT_EQ(AtExchange("6", "AT+ZSNT?"), std::string("AT+ZSNT?\r\r\n+ZSNT: ") + c.zsnt + "\r\n\r\nOK\r\n");
        ::kill(p.pid, SIGTERM);
        int status = 0;
        ASSERT_EQ(::waitpid(p.pid, &status, 0), p.pid);
        std::fclose(p.out);
    }
    unsetenv("KESTLE_DEVICE_DIR");
    ::rmdir(base);
}

TEST(ModemsimProgram, RefusesBadArguments) {
    for (const char* extra : {"--mode phone", "--sim maybe", "--restart-ms -5", "--bogus", "--flags 1,2,1,0",
                              "--flags 1,0,1", "--network-mode 5", "--network-mode 66"}) {
        Program p = StartModemsim("/tmp/modemsim-never-made", extra);
        ASSERT_GT(p.pid, 0);
        int status = 0;
        ASSERT_EQ(::waitpid(p.pid, &status, 0), p.pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << extra;
        std::fclose(p.out);
    }
    struct stat st{};
    EXPECT_NE(::lstat("/tmp/modemsim-never-made", &st), 0);
}

}  // namespace
