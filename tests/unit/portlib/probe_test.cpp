// Probing unlabelled ports on plain pseudo-terminals, where the tty ioctls
// (TIOCEXCL, TIOCGEXCL) do what a real tty does: the role found, the flag left
// behind, ports other programs hold, ports the library holds itself, the
// schedule of silent ports and the end of the program.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/hdlc.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/portlib/portlib_internal.h"
#include "platform/win/clock.h"
#include "tests/unit/portlib/library_debug.h"
#include "tests/unit/portlib/portlib_test_util.h"
#include "tests/support/child_process.h"

using namespace portlib_test;
namespace kp = kestle_portlib;
using kp::PortRole;
using kp::UsbPort;

namespace {

PtyPeer::Handler AtAnswers()
{
    return [](PtyPeer& peer, const std::string& request) {
        if (request.compare(0, 2, "AT") == 0)
            peer.Write("\r\nOK\r\n");
    };
}

PtyPeer::Handler DiagAnswers()
{
    return [](PtyPeer& peer, const std::string& request) {
        if (request.empty() || request.back() != '\x7E')
            return;
        const std::vector<uint8_t> frame = modemsim::FrameDiagPacket({0x00, 'v', '1'});
        peer.Write(std::string(frame.begin(), frame.end()));
    };
}

PtyPeer::Handler Silent()
{
    return [](PtyPeer&, const std::string&) {};
}

// A port as the listing hands it to the probe: a new plug-in every time, since
// pseudo-terminal names come back.
UsbPort PortOn(const std::string& devnode, const std::string& plug = {})
{
    static std::atomic<int> plugs{0};
    UsbPort port;
    port.name = "ttyUSB0";
    port.devnode = devnode;
    port.device = "/usb/probe-test";
    port.plug = plug.empty() ? "/usb/probe-test#" + std::to_string(++plugs) + "-" + std::to_string(::getpid()) : plug;
    return port;
}

// 0 when nobody can open the tty now, else errno.
int NobodyOpens(const std::string& tty)
{
    return AsNobody([&] {
        const int fd = ::open(tty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return errno;
        ::close(fd);
        return 0;
    });
}

bool IsRoot() { return ::geteuid() == 0; }

// No exclusive flag stays on the tty that keeper still holds open, and (as
// root, who can give it away) an ordinary user can open it next. Closes keeper.
void ExpectTtyLeftFree(int keeper, const std::string& path)
{
    int exclusive = -1;
    EXPECT_EQ(0, ::ioctl(keeper, TIOCGEXCL, &exclusive));
    EXPECT_EQ(0, exclusive);
    if (IsRoot()) {
        EXPECT_EQ(0, ::chown(path.c_str(), kNobody, kNobody));
        EXPECT_EQ(0, NobodyOpens(path));
    }
    ::close(keeper);
}

struct ProbeCase {
    const char* name;
    PtyPeer::Handler (*peer)();
    PortRole role;
};

class PlainTtyProbe : public ::testing::TestWithParam<ProbeCase> {};

// The probe finds the role on a real tty, and no exclusive flag stays: an
// ordinary user opens the port afterwards (also while the emulator, or any
// program, keeps the tty open).
TEST_P(PlainTtyProbe, FindsTheRoleAndLeavesTheTtyFree)
{
    PtyPeer peer(GetParam().peer());
    const int keeper = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(keeper, 0);
    const int probes = kp::ProbeCount();
    EXPECT_EQ(GetParam().role, kp::CachedProbe(PortOn(peer.SlavePath())));
    EXPECT_EQ(probes + 1, kp::ProbeCount());
    ExpectTtyLeftFree(keeper, peer.SlavePath());
}

// The same probe run by an ordinary user whom the port is given.
TEST_P(PlainTtyProbe, FindsTheRoleAsNobody)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to become another user";
    PtyPeer peer(GetParam().peer());
    ASSERT_EQ(0, ::chown(peer.SlavePath().c_str(), kNobody, kNobody));
    const int keeper = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(keeper, 0);
    const UsbPort port = PortOn(peer.SlavePath());
    const int expected = static_cast<int>(GetParam().role);
    EXPECT_EQ(0, AsNobody([&] {
        if (static_cast<int>(kp::CachedProbe(port)) != expected)
            return 1;
        // a second program of the user opens it next
        const int fd = ::open(port.devnode.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return 2;
        ::close(fd);
        return 0;
    }));
    int exclusive = -1;
    ASSERT_EQ(0, ::ioctl(keeper, TIOCGEXCL, &exclusive));
    EXPECT_EQ(0, exclusive);
    ::close(keeper);
}

INSTANTIATE_TEST_SUITE_P(Roles, PlainTtyProbe,
                         ::testing::Values(ProbeCase{"At", &AtAnswers, PortRole::At},
                                           ProbeCase{"Diag", &DiagAnswers, PortRole::Diag},
                                           ProbeCase{"Silent", &Silent, PortRole::Unknown}),
                         [](const ::testing::TestParamInfo<ProbeCase>& info) { return info.param.name; });

// Ways another program holds a port: the probe never sends it a byte, leaves
// its flag as it was, and asks it once it is free.
struct HolderCase {
    const char* name;
    bool exclusive;  // TIOCEXCL (root passes it; an ordinary user's open is refused)
    bool lock;       // an flock
};

class ProbeOfAHeldPort : public ::testing::TestWithParam<HolderCase> {};

TEST_P(ProbeOfAHeldPort, IsNotProbedAndKeepsTheHoldersFlag)
{
    PtyPeer peer(AtAnswers());
    ASSERT_EQ(0, ::chmod(peer.SlavePath().c_str(), 0666));
    // another process: the holder is a child of its own
    int ready[2], done[2];
    ASSERT_EQ(0, ::pipe(ready));
    ASSERT_EQ(0, ::pipe(done));
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || (GetParam().exclusive && ::ioctl(fd, TIOCEXCL) != 0) ||
            (GetParam().lock && ::flock(fd, LOCK_EX | LOCK_NB) != 0))
            ::_exit(1);
        char byte = 1;
        if (::write(ready[1], &byte, 1) != 1)
            ::_exit(1);
        // a holder that ends cleanly clears its flag, as this library does
        if (::read(done[0], &byte, 1) != 1)
            ::_exit(1);
        ::ioctl(fd, TIOCNXCL);
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(1, ::read(ready[0], &byte, 1));
    ::close(ready[0]);
    ::close(ready[1]);

    const UsbPort port = PortOn(peer.SlavePath());
    const int probes = kp::ProbeCount();
    EXPECT_EQ(PortRole::Unknown, kp::CachedProbe(port));
    EXPECT_EQ(probes, kp::ProbeCount());
    EXPECT_TRUE(peer.Requests().empty());
    int exclusive = -1;
    const int fd = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {  // root passes the holder's flag
        ::ioctl(fd, TIOCGEXCL, &exclusive);
        ::close(fd);
        EXPECT_EQ(GetParam().exclusive ? 1 : 0, exclusive);
    }

    ASSERT_EQ(1, ::write(done[1], &byte, 1));
    ::waitpid(holder, nullptr, 0);
    ::close(done[0]);
    ::close(done[1]);
    EXPECT_EQ(PortRole::At, kp::CachedProbe(port));  // free now
}

INSTANTIATE_TEST_SUITE_P(Holders, ProbeOfAHeldPort,
                         ::testing::Values(HolderCase{"Exclusive", true, false}, HolderCase{"Locked", false, true},
                                           HolderCase{"OpenWithoutAnyLock", false, false}),
                         [](const ::testing::TestParamInfo<HolderCase>& info) { return info.param.name; });

// As an ordinary user: a port another program of the user holds exclusively
// is busy, not probed, and asked once it is free.
TEST(ProbeAsUser, PortAnotherProgramHoldsExclusivelyIsNotProbed)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to become another user";
    PtyPeer peer(AtAnswers());
    ASSERT_EQ(0, ::chown(peer.SlavePath().c_str(), kNobody, kNobody));
    const UsbPort port = PortOn(peer.SlavePath());
    EXPECT_EQ(0, AsNobody([&] {
        const int other = ::open(port.devnode.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (other < 0 || ::ioctl(other, TIOCEXCL) != 0)
            return 1;
        const int probes = kp::ProbeCount();
        if (kp::CachedProbe(port) != PortRole::Unknown || kp::ProbeCount() != probes)
            return 2;
        ::ioctl(other, TIOCNXCL);
        ::close(other);
        return kp::CachedProbe(port) == PortRole::At ? 0 : 3;
    }));
    EXPECT_EQ(1u, peer.Requests().size());
}

// A port the user may not open is not probed, and not remembered.
TEST(ProbeAsUser, PortTheUserMayNotOpenIsNotProbed)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to become another user";
    PtyPeer peer(AtAnswers());
    ASSERT_EQ(0, ::chmod(peer.SlavePath().c_str(), 0600));
    const UsbPort port = PortOn(peer.SlavePath());
    EXPECT_EQ(0, AsNobody([&] {
        LibraryDebug debug;
        return kp::CachedProbe(port) == PortRole::Unknown && debug.Count("permission denied") == 1 ? 0 : 1;
    }));
    EXPECT_TRUE(peer.Requests().empty());
    EXPECT_EQ(PortRole::At, kp::CachedProbe(port));
}

// A tool that opened its port before the first listing (it knew the COM
// number) still gets the port's role: asked through the library's own
// descriptor, between exchanges, which go on as before.
TEST(ProbeOfOurOwnPort, PortOpenedBeforeItsFirstListingGetsItsRole)
{
    PtyPeer peer(AtAnswers());
    DeviceFolder folder;
    folder.LinkCom(7, peer.SlavePath());
    ASSERT_EQ(0, KestleInitPort(PORT_KIND_AT, "7"));
    const UsbPort port = PortOn(folder.Path() + "/COM7", "");
    EXPECT_EQ(PortRole::At, kp::CachedProbe(port));
    unsigned char reply[64];
    int length = sizeof reply;
    EXPECT_EQ(0, KestleReadMsgFromPort_sync(PORT_KIND_AT, "7", reinterpret_cast<const unsigned char*>("AT\r"), 3,
                                            reply, &length, 5));
    EXPECT_EQ("\r\nOK\r\n", std::string(reinterpret_cast<char*>(reply), static_cast<size_t>(length)));
    EXPECT_EQ(0, KestleClosePort(PORT_KIND_AT, "7"));
}

// Silent ports are asked again a few times with growing pauses, then left
// alone, so a steady listing costs nothing; another port of the device that
// begins to answer gives them another round.
TEST(ProbeSchedule, SilentPortIsAskedAFewTimesThenNoMore)
{
    SetTimeoutScale(0.01);  // only silence is waited for here
    PtyPeer silent(Silent());
    const UsbPort port = PortOn(silent.SlavePath());
    auto listFor = [&](uint32_t programMs) {
        const uint32_t end = GetTickCount() + programMs;
        while (static_cast<int32_t>(GetTickCount() - end) < 0) {
            kp::CachedProbe(port);
            Sleep(250);
        }
    };
    const int before = kp::ProbeCount();
    listFor(60000);  // the pauses of 1, 2, 4 and 8 s are long over
    const int asked = kp::ProbeCount() - before;
    EXPECT_EQ(5, asked);  // the first probe and four more
    listFor(20000);
    EXPECT_EQ(asked, kp::ProbeCount() - before);

    PtyPeer woken(AtAnswers());
    UsbPort sibling = PortOn(woken.SlavePath(), port.plug);
    EXPECT_EQ(PortRole::At, kp::CachedProbe(sibling));
    listFor(60000);
    EXPECT_EQ(asked + 1 + 4, kp::ProbeCount() - before);  // the sibling, then four more
    SetTimeoutScale(0);
}

// The ports of one device are asked at the same time: two ports that answer
// only once both have been asked are found (one after the other, the first
// would wait for the second in vain).
TEST(ProbeListing, PortsOfADeviceAreAskedAtTheSameTime)
{
    auto asked = std::make_shared<std::atomic<int>>(0);
    auto answerWhenBothAsked = [asked](PtyPeer& peer, const std::string& request) {
        if (request != "AT\r")
            return;
        ++*asked;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (*asked < 2 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (*asked >= 2)
            peer.Write("\r\nOK\r\n");
    };
    PtyPeer first(answerWhenBothAsked), second(answerWhenBothAsked);
    UsbPort a = PortOn(first.SlavePath());
    a.name = "ttyUSB0";
    a.number = 0;
    a.driver = "option";
    a.vendor = 0x2031;
    UsbPort b = PortOn(second.SlavePath(), a.plug);
    b.name = "ttyUSB1";
    b.number = 1;
    b.driver = "option";
    b.vendor = 0x2031;
    const std::vector<std::string> listing =
        kp::BuildListing({a, b}, {}, [](const UsbPort& port) { return kp::CachedProbe(port); });
    ASSERT_EQ(2u, listing.size());
    EXPECT_EQ("USB nmea UI AT Interface (COM1) option USB\\VID_2031&PID_0000&MI_00", listing[0]);
    EXPECT_EQ("USB Modem (COM2) option USB\\VID_2031&PID_0000&MI_01", listing[1]);
}

// However the program ends, no exclusive flag of its ports stays on the tty
// while others keep it open: the next user's open is not refused. The tool is
// a fresh run of this program: a forked copy of a threaded test could hang in
// the exit handlers on a lock another thread held at the fork.
TEST(ProgramEndChild, Run)
{
    const char* how = std::getenv("PROGRAM_END_CHILD");
    if (!how)
        GTEST_SKIP() << "the tool of ProgramEnd";
    if (KestleInitPort(PORT_KIND_AT, "8") != 0)
        ::_exit(1);
    if (std::string(how) == "NormalExit")
        std::exit(0);
    // the forced end: _exit after the release
    KestleReleasePorts();
    ::_exit(0);
}

class ProgramEnd : public ::testing::TestWithParam<const char*> {};

TEST_P(ProgramEnd, LeavesNoExclusiveFlag)
{
    PtyPeer peer(AtAnswers());
    DeviceFolder folder;
    folder.LinkCom(8, peer.SlavePath());
    const int keeper = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(keeper, 0);
    const pid_t tool = childproc::SpawnSelf("ProgramEndChild.Run", {std::string("PROGRAM_END_CHILD=") + GetParam()});
    ASSERT_GT(tool, 0);
    ASSERT_EQ(0, childproc::WaitExit(tool));
    ExpectTtyLeftFree(keeper, peer.SlavePath());
}

INSTANTIATE_TEST_SUITE_P(Ends, ProgramEnd, ::testing::Values("NormalExit", "ForcedEnd"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
