// Opening a serial port: exclusive use, the terminal settings, and the three
// reasons an open fails (busy, not allowed, missing) told apart.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <grp.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <functional>
#include <sstream>
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
    if (::geteuid() != 0) {
        EXPECT_EQ(-1, fd);  // TIOCEXCL keeps everyone but root out
        EXPECT_EQ(EBUSY, errno);
        return;
    }
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

// Exit codes of the child's steps: 0 when all went well, else the step that failed.
int AtExchange()
{
    unsigned char reply[256];
    int length = sizeof reply;
    return KestleReadMsgFromPort_sync(PORT_KIND_AT, "6", reinterpret_cast<const unsigned char*>("AT\r"), 3, reply,
                                      &length, 100);
}

// An ordinary user whom the port is given (as the dialout group or the udev
// rule does): the test makes nobody the owner of the terminal.
class SerialAccessAsUser : public SerialAccess {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to become another user";
        SerialAccess::SetUp();
        ASSERT_EQ(0, ::chmod(folder_.Path().c_str(), 0755));
        ASSERT_EQ(0, ::chown(peer_->SlavePath().c_str(), kNobody, kNobody));
    }
    TempDir place_;
    std::string Stderr() const { return place_.Path() + "/stderr"; }
    size_t StderrLines(const std::string& fragment) const
    {
        std::ifstream in(Stderr());
        size_t n = 0;
        for (std::string line; std::getline(in, line);)
            n += line.find(fragment) != std::string::npos;
        return n;
    }
};

// Open, close and open again, any number of times, while another descriptor
// keeps the terminal (an emulator, a terminal program, a daemon).
TEST_F(SerialAccessAsUser, OpensClosesAndOpensAgainWhileAnotherDescriptorKeepsTheTty)
{
    const int keeper = ::open(peer_->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(keeper, 0);
    EXPECT_EQ(0, AsNobody([] {
        for (int round = 0; round < 3; ++round) {
            if (KestleInitPort(PORT_KIND_AT, "6") != 0)
                return 10 + round;
            if (AtExchange() != 0)
                return 20 + round;
            if (KestleClosePort(PORT_KIND_AT, "6") != 0)
                return 30 + round;
        }
        return 0;
    }));
    ::close(keeper);
}

// Another program of the user holds the port exclusively: busy, told once on
// standard error however often it is tried; free again, it opens.
TEST_F(SerialAccessAsUser, PortAnotherProgramHoldsIsBusyAndToldOnce)
{
    const std::string slave = peer_->SlavePath();
    EXPECT_EQ(0, AsNobody(
                     [&] {
                         const int other = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                         if (other < 0 || ::ioctl(other, TIOCEXCL) != 0)
                             return 1;
                         for (int i = 0; i < 3; ++i) {
                             if (KestleInitPort(PORT_KIND_AT, "6") != kp::kBusy)
                                 return 10 + i;
                         }
                         ::ioctl(other, TIOCNXCL);
                         ::close(other);
                         return KestleInitPort(PORT_KIND_AT, "6") == 0 && AtExchange() == 0 ? 0 : 2;
                     },
                     Stderr()));
    EXPECT_EQ(1u, StderrLines("in use by another program (busy)"));
    EXPECT_EQ(1u, StderrLines(folder_.Path() + "/COM6"));
}

// A user outside the dialout group: denied with the hint, in the debug
// stream and once on standard error.
TEST_F(SerialAccess, PortTheUserMayNotOpenIsDeniedWithAHint)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    ASSERT_EQ(0, ::chmod(folder_.Path().c_str(), 0755));
    TempDir place;
    const std::string err = place.Path() + "/stderr";
    EXPECT_EQ(0, AsNobody(
                     [] {
                         LibraryDebug debug;
                         for (int i = 0; i < 2; ++i) {
                             if (KestleInitPort(PORT_KIND_AT, "6") != kp::kDenied)
                                 return 1;
                         }
                         return debug.Count("add the user to the dialout group") == 2 ? 0 : 2;
                     },
                     err));
    std::ifstream in(err);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ("KESTLE: " + folder_.Path() + "/COM6: permission denied: add the user to the dialout group (or install "
              "the udev rule of the port library) and log in again\n",
              text.str());
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
    // opened first: only root passes the exclusive flag of an open port
    const int thief = ::open(peer_->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(thief, 0);
    ASSERT_EQ(0, KestleInitPort(PORT_KIND_AT, "6"));
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
