// Opening a serial port: exclusive use, the terminal settings, and the three
// reasons an open fails (busy, not allowed, missing) told apart.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/portlib/KestlePortServer.h"
#include "platform/portlib/portlib_internal.h"
#include "tests/unit/portlib/library_debug.h"
#include "tests/unit/portlib/portlib_test_util.h"

using namespace portlib_test;
namespace kp = kestle_portlib;

namespace {

constexpr int kCom = 6;

class SerialAccess : public ::testing::Test {
protected:
    void SetUp() override
    {
        peer_ = std::make_unique<PtyPeer>([](PtyPeer& peer, const std::string&) { peer.Write("\r\nOK\r\n"); });
        folder_.LinkCom(kCom, peer_->SlavePath());
    }
    void TearDown() override
    {
        KestleClosePort(PORT_KIND_AT, "6");
        peer_.reset();
    }
    DeviceFolder folder_;
    std::unique_ptr<PtyPeer> peer_;
};

TEST_F(SerialAccess, InitLeavesARawTerminalWithoutAnyFlowControl)
{
    // a previous user left software and hardware flow control on
    const int fd = ::open(peer_->SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios before{};
    ASSERT_EQ(0, tcgetattr(fd, &before));
    before.c_iflag |= IXON | IXOFF | IXANY;
    before.c_cflag |= CRTSCTS;
    before.c_lflag |= ECHO | ICANON;
    ASSERT_EQ(0, tcsetattr(fd, TCSANOW, &before));

    ASSERT_EQ(0, KestleInitPort(PORT_KIND_AT, "6"));
    termios after{};
    ASSERT_EQ(0, tcgetattr(fd, &after));
    ::close(fd);
    EXPECT_EQ(0u, after.c_iflag & (IXON | IXOFF | IXANY));
    EXPECT_EQ(0u, after.c_cflag & CRTSCTS);
    EXPECT_EQ(0u, after.c_lflag & (ECHO | ICANON | ISIG));
    EXPECT_EQ(0u, after.c_oflag & OPOST);
    EXPECT_EQ(static_cast<tcflag_t>(CS8), after.c_cflag & CSIZE);
    EXPECT_NE(0u, after.c_cflag & CLOCAL);
    EXPECT_NE(0u, after.c_cflag & CREAD);
    EXPECT_EQ(0u, after.c_cflag & (CSTOPB | PARENB));
    EXPECT_EQ(static_cast<speed_t>(B115200), cfgetispeed(&after));
    EXPECT_EQ(static_cast<speed_t>(B115200), cfgetospeed(&after));
}

TEST_F(SerialAccess, OpenPortIsHeldExclusively)
{
    ASSERT_EQ(0, KestleInitPort(PORT_KIND_AT, "6"));
    const int fd = ::open(peer_->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);  // root passes TIOCEXCL; the lock still says no
    int exclusive = 0;
    EXPECT_EQ(0, ::ioctl(fd, TIOCGEXCL, &exclusive));
    EXPECT_EQ(1, exclusive);
    EXPECT_NE(0, ::flock(fd, LOCK_EX | LOCK_NB));
    ::close(fd);
}

TEST_F(SerialAccess, PortHeldByAnotherProgramIsBusy)
{
    const int fd = ::open(peer_->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ::flock(fd, LOCK_EX | LOCK_NB));
    LibraryDebug debug;
    EXPECT_EQ(kp::kBusy, KestleInitPort(PORT_KIND_AT, "6"));
    EXPECT_EQ(1u, debug.Count("busy"));
    ::close(fd);
    EXPECT_EQ(0, KestleInitPort(PORT_KIND_AT, "6"));  // free again
}

TEST_F(SerialAccess, MissingPortIsNoPort)
{
    folder_.UnlinkCom(kCom);
    LibraryDebug debug;
    EXPECT_EQ(kp::kNoPort, KestleInitPort(PORT_KIND_AT, "6"));
    EXPECT_EQ(1u, debug.Count("no such port"));
}

// A user outside the dialout group: run as nobody in a child process.
TEST_F(SerialAccess, PortTheUserMayNotOpenIsDeniedWithAHint)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        LibraryDebug debug;
        const int rc = KestleInitPort(PORT_KIND_AT, "6");
        ::_exit(rc == kp::kDenied && debug.Count("add the user to the dialout group") == 1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

// Another reader on the same terminal may take the bytes between our poll
// and our read: that read gives 0, which is "no data yet", not a hang-up.
TEST_F(SerialAccess, ReadOfNothingIsNoDataYet)
{
    peer_ = std::make_unique<PtyPeer>([](PtyPeer& peer, const std::string&) {
        for (int i = 0; i < 40; ++i) {
            peer.Write("x");
            ::usleep(1000);
        }
    });
    folder_.LinkCom(kCom, peer_->SlavePath());
    ASSERT_EQ(0, KestleInitPort(PORT_KIND_AT, "6"));
    const int thief = ::open(peer_->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(thief, 0);
    std::atomic<bool> stop{false};
    std::thread steal([&] {
        char c[64];
        while (!stop)
            if (::read(thief, c, sizeof c) <= 0)
                std::this_thread::yield();
    });
    for (int i = 0; i < 4; ++i) {
        unsigned char reply[256];
        int length = sizeof reply;
        const int rc = KestleReadMsgFromPort_sync(PORT_KIND_AT, "6", reinterpret_cast<const unsigned char*>("AT\r"),
                                                  3, reply, &length, 1);
        EXPECT_NE(kp::kPortFailed, rc) << i;
        EXPECT_NE(kp::kNoPort, rc) << i;  // the port stayed open
    }
    stop = true;
    steal.join();
    ::close(thief);
}

}  // namespace
