// Which devices are the modem and the roles of their ports, from the
// interfaces as udev shows them, the role table and a probe.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <string>
#include <vector>

#include "platform/portlib/portlib_internal.h"
#include "tests/unit/portlib/library_debug.h"
#include "tests/unit/portlib/portlib_test_util.h"

namespace kp = kestle_portlib;
using kp::PortRole;
using kp::UsbPort;
using portlib_test::ElapsedMs;
using portlib_test::LibraryDebug;
using portlib_test::EnvGuard;
using portlib_test::TempDir;

namespace {

UsbPort Serial(const std::string& device, unsigned vendor, int number, const std::string& tty, const std::string& driver,
               const std::string& label = "", std::map<std::string, std::string> properties = {})
{
    UsbPort port;
    port.kind = UsbPort::kSerial;
    port.name = tty;
    port.devnode = "/dev/" + tty;
    port.device = device;
    port.plug = device + "#1";
    port.vendor = vendor;
    port.product = 0x0001;
    port.number = number;
    port.driver = driver;
    port.label = label;
    port.properties = std::move(properties);
    return port;
}

TEST(RoleTable, ParsesRowsAndSkipsBadLines)
{
    const std::vector<kp::RoleRow> rows = kp::ParseRoleTable(
        "# comment\n"
        "2020 0401 02 at   # trailing comment\n"
        "2020 * * device\n"
        "2020 0401 3 GPS\n"
        "2020 0401 02\n"           // no role
        "2020 0401 02 at extra\n"  // too many words
        "zz20 0401 02 at\n"        // not hex
        "2020 0401 100 at\n"       // not an interface number
        "2020 0401 02 printer\n"); // no such role
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ(0x2020u, rows[0].vendor);
    EXPECT_EQ(0x0401, rows[0].product);
    EXPECT_EQ(2, rows[0].number);
    EXPECT_EQ(PortRole::At, rows[0].role);
    EXPECT_TRUE(rows[1].deviceOnly);
    EXPECT_EQ(-1, rows[1].product);
    EXPECT_EQ(-1, rows[1].number);
    EXPECT_EQ(PortRole::Gps, rows[2].role);
}

// Packager rows ($XDG_CONFIG_DIRS) come before the user's ($XDG_CONFIG_HOME),
// so the user's win.
TEST(RoleTable, UserRowsComeAfterPackagerRows)
{
    TempDir dir;
    for (const char* folder : {"/system", "/system/kestle", "/home", "/home/kestle"})
        ::mkdir((dir.Path() + folder).c_str(), 0755);
    std::ofstream(dir.Path() + "/system/kestle/port-roles.conf") << "2020 0001 00 diag\n";
    std::ofstream(dir.Path() + "/home/kestle/port-roles.conf") << "2020 0001 00 at\n";
    EnvGuard dirs("XDG_CONFIG_DIRS", (dir.Path() + "/system").c_str());
    EnvGuard home("XDG_CONFIG_HOME", (dir.Path() + "/home").c_str());
    const std::vector<kp::RoleRow> table = kp::LoadRoleTable();
    ASSERT_GE(table.size(), 2u);
    EXPECT_EQ(PortRole::Diag, table[table.size() - 2].role);
    EXPECT_EQ(PortRole::At, table.back().role);
    const std::vector<std::string> listing =
        kp::BuildListing({Serial("/usb/1-2", 0x2020, 0, "ttyUSB0", "ftdi_sio")}, table, nullptr);
    ASSERT_EQ(1u, listing.size());
    EXPECT_EQ(0u, listing[0].find("USB nmea UI AT Interface (COM1)"));
}

// What may stand at the user's table path: a FIFO nobody writes to, a link to
// an endless device, a huge file. Each is skipped with a debug line, and the
// listing goes on with the other rows. The table is read in a child, so that a
// listing that blocks shows as a failure, not as a hung test.
struct PlantedTable {
    const char* name;
    void (*plant)(const std::string& path);
    const char* debug;
};

class RoleTableFile : public ::testing::TestWithParam<PlantedTable> {};

TEST_P(RoleTableFile, IsSkippedWhenNotARegularFileOfATableSize)
{
    TempDir dir;
    ASSERT_EQ(0, ::mkdir((dir.Path() + "/home").c_str(), 0700));
    ASSERT_EQ(0, ::mkdir((dir.Path() + "/home/kestle").c_str(), 0700));
    ASSERT_EQ(0, ::mkdir((dir.Path() + "/system").c_str(), 0700));
    ASSERT_EQ(0, ::mkdir((dir.Path() + "/system/kestle").c_str(), 0700));
    std::ofstream(dir.Path() + "/system/kestle/port-roles.conf") << "2020 0001 00 at\n";
    GetParam().plant(dir.Path() + "/home/kestle/port-roles.conf");
    EnvGuard dirs("XDG_CONFIG_DIRS", (dir.Path() + "/system").c_str());
    EnvGuard home("XDG_CONFIG_HOME", (dir.Path() + "/home").c_str());
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        LibraryDebug debug;
        const std::vector<kp::RoleRow> table = kp::LoadRoleTable();
        const bool packagerRowKept = !table.empty() && table.back().vendor == 0x2020 && table.back().role == PortRole::At;
        ::_exit(packagerRowKept && debug.Count(GetParam().debug) == 1 ? 0 : 1);
    }
    int status = 0;
    // far beyond any listing: only a blocked one gets here
    const auto end = start + std::chrono::seconds(60);
    while (::waitpid(child, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (::waitpid(child, &status, WNOHANG) == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "reading the role table blocked";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "the reading process died";
    EXPECT_EQ(0, WEXITSTATUS(status));
    std::printf("[ figure ] %s: table read in %.1f ms\n", GetParam().name, ElapsedMs(start));
}

INSTANTIATE_TEST_SUITE_P(
    Planted, RoleTableFile,
    ::testing::Values(
        PlantedTable{"Fifo", [](const std::string& path) { ASSERT_EQ(0, ::mkfifo(path.c_str(), 0600)); },
                     "not a regular file: skipped"},
        PlantedTable{"LinkToDevZero", [](const std::string& path) { ASSERT_EQ(0, ::symlink("/dev/zero", path.c_str())); },
                     "not a regular file: skipped"},
        PlantedTable{"HundredMegabytes",
                     [](const std::string& path) {
                         std::ofstream(path) << "2020 0001 00 diag\n";
                         ASSERT_EQ(0, ::truncate(path.c_str(), 100 * 1024 * 1024));
                     },
                     "kB: skipped"}),
    [](const ::testing::TestParamInfo<PlantedTable>& info) { return info.param.name; });

// The order of trust: udev hint, interface string, table, probe; the probe is
// asked only about ports nothing else names.
TEST(PortRoles, OrderOfTrust)
{
    const std::vector<kp::RoleRow> table = kp::ParseRoleTable("2020 0001 02 diag\n2020 0001 03 diag\n");
    const std::vector<UsbPort> ports = {
        Serial("/usb/1-2", 0x2020, 0, "ttyUSB0", "option", "Modem", {{"ID_MM_PORT_TYPE_QCDM", "1"}}),
        Serial("/usb/1-2", 0x2020, 1, "ttyUSB1", "option", "NMEA"),
        Serial("/usb/1-2", 0x2020, 2, "ttyUSB2", "option", "AT"),
        Serial("/usb/1-2", 0x2020, 3, "ttyUSB3", "option"),
        Serial("/usb/1-2", 0x2020, 4, "ttyUSB4", "option"),
        Serial("/usb/1-2", 0x2020, 5, "ttyUSB5", "option", "", {{"ID_MM_PORT_IGNORE", "1"}}),
    };
    std::vector<std::string> asked;
    const std::vector<std::string> listing = kp::BuildListing(ports, table, [&](const UsbPort& port) {
        asked.push_back(port.name);
        return PortRole::At;  // answers AT, but the device has its AT port already
    });
    const std::vector<std::string> expected = {
        "Diagnostics Interface (COM1) option USB\\VID_2020&PID_0001&MI_00",
        "USB GPS Port (COM2) option USB\\VID_2020&PID_0001&MI_01",
        "USB nmea UI AT Interface (COM3) option USB\\VID_2020&PID_0001&MI_02",
        "Diagnostics Interface (COM4) option USB\\VID_2020&PID_0001&MI_03",
        "USB Modem (COM5) option USB\\VID_2020&PID_0001&MI_04",
        "USB Serial Port (COM6) option USB\\VID_2020&PID_0001&MI_05",
    };
    EXPECT_EQ(expected, listing);
    EXPECT_EQ(std::vector<std::string>{"ttyUSB4"}, asked);
}

TEST(PortRoles, BystandersAreNeitherListedNorProbed)
{
    UsbPort phone;
    phone.kind = UsbPort::kNetwork;
    phone.name = "usb0";
    phone.device = "/usb/1-3";
    phone.vendor = 0x18D1;
    phone.driver = "rndis_host";
    UsbPort dvd;
    dvd.kind = UsbPort::kCdDrive;
    dvd.name = "sr0";
    dvd.device = "/usb/1-4";
    dvd.vendor = 0x0E8D;
    const std::vector<UsbPort> ports = {
        phone, dvd, Serial("/usb/1-5", 0x2341, 0, "ttyACM0", "cdc_acm"),
        Serial("/usb/1-6", 0x0403, 0, "ttyUSB0", "ftdi_sio"),
        // a modem the modem manager daemon's own rules mark as no modem
        Serial("/usb/1-7", 0x1234, 0, "ttyUSB1", "option", "", {{"ID_MM_DEVICE_IGNORE", "1"}}),
    };
    int probes = 0;
    EXPECT_TRUE(kp::BuildListing(ports, {}, [&](const UsbPort&) {
                    ++probes;
                    return PortRole::At;
                }).empty());
    EXPECT_EQ(0, probes);
}

}  // namespace
