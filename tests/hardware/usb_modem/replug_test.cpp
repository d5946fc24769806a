// A modem's life after the first listing on the real back end: it boots
// slowly, is pulled and plugged back on the same tty names, switches its mode
// (leaves and comes back with other interfaces), or another program has one
// of its ports open.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/at_ops_network.h"
#include "device/port_manager.h"
#include "device/port_scanner.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/portlib/portlib_internal.h"
#include "platform/win/clock.h"
#include "tests/hardware/usb_modem/mock_usb.h"
#include "tests/support/child_process.h"

using namespace hwtest;
using portlib_test::EnvGuard;
using portlib_test::PtyPeer;
using portlib_test::TempDir;
using Clock = std::chrono::steady_clock;

namespace {

// Real time the tests give a modem to be found again: far beyond the few
// seconds it takes, so a loaded machine never fails them.
constexpr auto kFoundWithin = std::chrono::seconds(40);

class ModemLife : public ::testing::Test, protected RealBackEnd {
protected:
    std::vector<std::unique_ptr<MockUsb>> gone_;
    std::unique_ptr<MockUsb> usb_ = std::make_unique<MockUsb>();

    void TearDown() override
    {
        SetATPort("");
        usb_.reset();
        while (!gone_.empty())
            gone_.pop_back();
    }

    // Everything leaves the bus; what is added next is plugged in anew.
    void Unplug()
    {
        usb_->HangUp();
        gone_.push_back(std::move(usb_));
        usb_ = std::make_unique<MockUsb>();
    }

    void AddModem(int usbPort, int devnum, int first, PtyPeer::Handler at = AtPort("at"))
    {
        AddModemWithoutStrings(*usb_, usbPort, devnum, first, std::move(at));
    }

    static int AtPortFound()
    {
        CMarlPortManager manager;
        int port = -1;
        return manager.FindATPortNumber(&port) == 0 ? port : -1;
    }

    // Asks as the tools do, once every program second, until the AT port is
    // the one expected or the time is up; the port found last.
    static int WaitForAtPort(int expected)
    {
        const auto end = Clock::now() + kFoundWithin;
        int found = AtPortFound();
        while (found != expected && Clock::now() < end) {
            Sleep(1000);
            found = AtPortFound();
        }
        return found;
    }

    // An AT exchange as the AT engine makes it.
    static std::string AskAt(const char* com)
    {
        if (const int rc = KestleInitPort(PORT_KIND_AT, com))
            return "error " + std::to_string(rc);
        char reply[256] = {};
        int length = sizeof reply - 1;
        const int rc = KestleReadMsgFromPort_sync(PORT_KIND_AT, com, reinterpret_cast<const unsigned char*>("ATI\r"),
                                                  4, reinterpret_cast<unsigned char*>(reply), &length, 100);
        return rc == 0 ? std::string(reply, static_cast<size_t>(length)) : "error " + std::to_string(rc);
    }
};

// An AT port that stays silent for 2 s after the first question it gets.
PtyPeer::Handler SlowBootAtPort(const std::string& tag)
{
    auto firstAsked = std::make_shared<std::atomic<int64_t>>(0);
    return [firstAsked, answer = AtPort(tag)](PtyPeer& peer, const std::string& request) {
        const int64_t now = Clock::now().time_since_epoch().count();
        int64_t expected = 0;
        firstAsked->compare_exchange_strong(expected, now);
        if (Clock::time_point(Clock::duration(now)) - Clock::time_point(Clock::duration(firstAsked->load())) >=
            std::chrono::seconds(2))
            answer(peer, request);
    };
}

TEST_F(ModemLife, SlowBootingModemGetsItsAtPortOnceItAnswers)
{
    AddModem(20, 70, 31, SlowBootAtPort("slow"));
    const std::vector<std::string> first = Listing();
    ASSERT_EQ(3u, first.size());
    EXPECT_EQ("USB Serial Port (COM34) option USB\\VID_2031&PID_0501&MI_02", first[2]);
    EXPECT_EQ(34, WaitForAtPort(34));
    EXPECT_NE(std::string::npos, AskAt("34").find("slow"));
    KestleClosePort(PORT_KIND_AT, "34");
}

// Pulled and plugged back: the same tty names and numbers, a new number on
// the bus. The port the tool had open is dead; the library finds the AT port
// of the new plug-in and opens it afresh.
TEST_F(ModemLife, ReplugOnTheSameTtyNamesGivesTheAtPortBack)
{
    AddModem(21, 80, 41, AtPort("first"));
    ASSERT_EQ(44, WaitForAtPort(44));
    ASSERT_EQ(0, SetATPort("44"));
    EXPECT_NE(std::string::npos, AskAt("44").find("first"));

    Unplug();
    AddModem(21, 81, 41, AtPort("second"));

    EXPECT_EQ(44, WaitForAtPort(44));
    ASSERT_EQ(0, SetATPort("44"));
    EXPECT_NE(std::string::npos, AskAt("44").find("second"));
}

// The switch tools' normal-mode flow: AT port, the commands into network-card
// mode and the restart; the device leaves, shows a network card and a CD
// drive, and after the switch back its AT port is found again.
TEST_F(ModemLife, ModeSwitchAndBackGivesTheAtPortBack)
{
    EmulatedModem emulated;
    AddModem(22, 90, 51, emulated.At());
    CMarlPortManager manager;
    ASSERT_EQ(0, manager.OpenATPort());
    EXPECT_STREQ("54", g_szPortName);
    EXPECT_EQ(0, AT_ENTER_RNDIS_MODE());
    EXPECT_EQ(0, AT_MarlRestart());

    Unplug();
    const std::string card = usb_->AddDevice(22, "2031", "0502", 91);
    usb_->AddNet(usb_->AddInterface(card, {0, "rndis_host", "", "e0", "01", "03"}), "usb5");
    usb_->AddCdDrive(usb_->AddInterface(card, {2, "usb-storage", "", "08", "06", "50"}), "sr5");
    {
        CDevicePortScanner scanner;
        ASSERT_EQ(0, scanner.GetDeviceInfo());
        EXPECT_EQ(DEVICE_PORT_MODE_RNDIS, scanner.m_DeviceInfo.mode);
    }
    EXPECT_EQ(-1, AtPortFound());

    Unplug();
    EmulatedModem back;
    AddModem(22, 92, 51, back.At());
    EXPECT_EQ(54, WaitForAtPort(54));
    ASSERT_EQ(0, manager.OpenATPort());
    EXPECT_EQ(0, AT_MarlRestart());
    CDevicePortScanner scanner;
    ASSERT_EQ(0, scanner.GetDeviceInfo());
    EXPECT_EQ(54, scanner.m_DeviceInfo.atPort);
}

// Another program has the AT port open without any lock: it never sees a
// byte of our probe, and once it lets go the port is probed and found.
TEST_F(ModemLife, PortAnotherProcessHasOpenIsNotProbed)
{
    AddModem(23, 100, 61);
    TempDir place;
    const std::string ready = place.Path() + "/ready";
    const pid_t holder = childproc::Spawn(
        "/bin/sh", {"-c", "exec 3<>/dev/ttyUSB63 && : > " + ready + " && exec sleep 600"}, {});
    ASSERT_GT(holder, 0);
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(ready) && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(std::filesystem::exists(ready));

    const int probes = kestle_portlib::ProbeCount();
    const std::vector<std::string> listing = Listing();
    ASSERT_EQ(3u, listing.size());
    EXPECT_EQ("USB Serial Port (COM64) option USB\\VID_2031&PID_0501&MI_02", listing[2]);
    EXPECT_TRUE(usb_->Peer("ttyUSB63").Requests().empty());
    EXPECT_EQ(probes + 2, kestle_portlib::ProbeCount());  // the DIAG and GPS ports only

    ::kill(holder, SIGTERM);
    childproc::WaitExit(holder);
    EXPECT_EQ(64, WaitForAtPort(64));
}

// The suite runs as root, whom an exclusive tty does not stop: the same life
// again as an ordinary user.
TEST(ModemLifeAsUser, SameLifeAsNobody)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "already an ordinary user";
    const pid_t child = childproc::Spawn(
        "/usr/bin/setpriv",
        {"--reuid=65534", "--regid=65534", "--clear-groups", std::filesystem::read_symlink("/proc/self/exe").string(),
         "--gtest_filter=ModemLife.*"},
        {});
    ASSERT_GT(child, 0);
    EXPECT_EQ(0, childproc::WaitExit(child));
}

}  // namespace
