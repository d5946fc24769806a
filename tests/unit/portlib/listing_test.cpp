// The real back end's listing, built from the fixture trees under
// tests/fixtures/sysfs, and the COM numbering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/portlib/KestlePortServer.h"
#include "platform/portlib/portlib_internal.h"
#include "tests/unit/portlib/portlib_test_util.h"

using portlib_test::EnvGuard;

namespace {

const std::string kSysfs = std::string(TEST_FIXTURES_DIR) + "/sysfs/";

std::vector<std::string> List(const std::string& tree, int room = 16)
{
    EnvGuard noDevice("KESTLE_DEVICE_DIR", nullptr);
    EnvGuard root("KESTLE_SYSFS_ROOT", (kSysfs + tree).c_str());
    std::vector<char[KESTLE_ENTRY_SIZE]> entries(static_cast<size_t>(std::max(room, 1)));
    int count = room;
    EXPECT_EQ(0, KestleEnumDeviceProperty(entries.data(), &count));
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
        out.emplace_back(entries[static_cast<size_t>(i)]);
    return out;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// What the port scanner reads from one entry: the first interface word found
// in its order, the number after "com" and the 8 characters from "pid_".
struct ScanView {
    std::string word;
    int com = 0;
    std::string pid;
};

ScanView Scan(const std::string& entry)
{
    const std::string lower = Lower(entry);
    ScanView view;
    for (const char* word : {"diag", "at", "modem", "windows mobile-based internet", "usb mass storage device"}) {
        if (lower.find(word) != std::string::npos) {
            view.word = word;
            break;
        }
    }
    const size_t com = lower.find("com");
    if (com != std::string::npos)
        view.com = std::atoi(lower.c_str() + com + 3);
    const size_t pid = lower.find("pid_");
    if (pid != std::string::npos)
        view.pid = lower.substr(pid, 8);
    return view;
}

// The serial adapter beside the modem (ftdi_sio) is not the modem's: not listed.
TEST(SysfsListing, ModemModeShowsDiagnosticAtModemAndCdDrive)
{
    const std::vector<std::string> expected = {
        "Diagnostics Interface (COM1) option USB\\VID_ABCD&PID_0125&MI_00",
        "USB nmea UI AT Interface (COM2) option USB\\VID_ABCD&PID_0125&MI_01",
        "USB Modem (COM101) cdc_acm USB\\VID_ABCD&PID_0125&MI_02",
        "USB Mass Storage Device CD-ROM USB\\VID_ABCD&PID_0125",
    };
    EXPECT_EQ(expected, List("modem"));
}

TEST(SysfsListing, NetworkCardModeShowsRndisAndCdDriveOnly)
{
    const std::vector<std::string> expected = {
        "Windows Mobile-based Internet Sharing Device usb_rndisx USB\\VID_ABCD&PID_0126&MI_00",
        "USB Mass Storage Device CD-ROM USB\\VID_ABCD&PID_0126",
    };
    EXPECT_EQ(expected, List("netcard"));
}

TEST(SysfsListing, InterfaceStringsGiveTheRoles)
{
    const std::vector<std::string> expected = {
        "Diagnostics Interface (COM4) option USB\\VID_2345&PID_6789&MI_00",
        // "NMEA" is the GPS stream, never the AT port
        "USB GPS Port (COM5) option USB\\VID_2345&PID_6789&MI_01",
        // "Data" holds the letters "at" but is no AT port
        "USB Serial Port (COM6) option USB\\VID_2345&PID_6789&MI_02",
        "USB Modem (COM7) qcserial USB\\VID_2345&PID_6789&MI_03",
        "USB nmea UI AT Interface (COM8) option USB\\VID_2345&PID_6789&MI_04",
    };
    EXPECT_EQ(expected, List("strings"));
}

TEST(SysfsListing, EntriesCarryTheWordsTheCallersSearch)
{
    const std::vector<std::string> modem = List("modem");
    ASSERT_EQ(4u, modem.size());
    struct Case {
        size_t entry;
        const char* word;
        int com;
        const char* pid;
    };
    const Case cases[] = {
        {0, "diag", 1, "pid_0125"},
        {1, "at", 2, "pid_0125"},
        {2, "modem", 101, "pid_0125"},
        {3, "usb mass storage device", 0, "pid_0125"},
    };
    for (const Case& c : cases) {
        const ScanView view = Scan(modem[c.entry]);
        EXPECT_EQ(c.word, view.word) << modem[c.entry];
        EXPECT_EQ(c.com, view.com) << modem[c.entry];
        EXPECT_EQ(c.pid, view.pid) << modem[c.entry];
    }
    // the switch tools search case-sensitively
    EXPECT_NE(std::string::npos, modem[1].find("nmea"));
    EXPECT_NE(std::string::npos, modem[1].find("UI AT"));
    const std::vector<std::string> net = List("netcard");
    EXPECT_EQ("windows mobile-based internet", Scan(net[0]).word);
    EXPECT_EQ("pid_0126", Scan(net[0]).pid);
    EXPECT_NE(std::string::npos, net[0].find("usb_rndisx"));
    // only the AT entry may hold "at", only "(COMn)" may hold "com"
    for (const std::string& entry : modem) {
        const std::string lower = Lower(entry);
        if (entry != modem[1]) {
            EXPECT_EQ(std::string::npos, lower.find("at")) << entry;
        }
        const size_t com = lower.find("com");
        if (com != std::string::npos) {
            EXPECT_EQ('(', lower[com - 1]) << entry;
            EXPECT_EQ(std::string::npos, lower.find("com", com + 1)) << entry;
        }
    }
}

TEST(SysfsListing, FillsOnlyTheRoomGiven)
{
    EnvGuard noDevice("KESTLE_DEVICE_DIR", nullptr);
    EnvGuard root("KESTLE_SYSFS_ROOT", (kSysfs + "modem").c_str());
    char entries[3][KESTLE_ENTRY_SIZE];
    std::memset(entries, 'x', sizeof entries);
    int count = 2;
    EXPECT_EQ(0, KestleEnumDeviceProperty(entries, &count));
    EXPECT_EQ(2, count);
    EXPECT_STREQ("USB nmea UI AT Interface (COM2) option USB\\VID_ABCD&PID_0125&MI_01", entries[1]);
    EXPECT_EQ('x', entries[2][0]);

    count = 0;
    EXPECT_EQ(0, KestleEnumDeviceProperty(entries, &count));
    EXPECT_EQ(0, count);
    EXPECT_NE(0, KestleEnumDeviceProperty(entries, nullptr));
    count = 4;
    EXPECT_NE(0, KestleEnumDeviceProperty(nullptr, &count));
}

TEST(SysfsListing, NothingAttachedGivesCountZero)
{
    for (const char* tree : {"no-such-tree", "modem/devices/platform"}) {
        EnvGuard noDevice("KESTLE_DEVICE_DIR", nullptr);
        EnvGuard root("KESTLE_SYSFS_ROOT", (kSysfs + tree).c_str());
        char entries[4][KESTLE_ENTRY_SIZE];
        int count = 4;
        EXPECT_EQ(0, KestleEnumDeviceProperty(entries, &count));
        EXPECT_EQ(0, count) << tree;
    }
}

TEST(ComNumbers, TtysMapToStableComNumbers)
{
    struct Case {
        const char* tty;
        int com;
    };
    const Case cases[] = {{"ttyUSB0", 1},     {"ttyUSB4", 5},      {"ttyUSB99", 100},   {"ttyACM0", 101},
                          {"ttyACM7", 108},   {"ttyACM99", 200},   {"ttyUSB100", 201},  {"ttyACM100", 202},
                          {"ttyUSB101", 203}, {"ttyACM9999", 20000}, {"ttyS0", 0},      {"ttyUSB", 0},
                          {"ttyUSBx", 0},     {"ttyACM-1", 0},     {"ttyUSB12345", 0}, {"ttyUSB01", 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.com, kestle_portlib::ComNumberOfTty(c.tty)) << c.tty;
        if (c.com) {
            EXPECT_EQ(c.tty, kestle_portlib::TtyNameOfCom(c.com));
        }
    }
    // no two ttys share a number, and every number names at most one tty
    std::map<int, std::string> seen;
    for (const char* kind : {"ttyUSB", "ttyACM"}) {
        for (int k = 0; k < 10000; ++k) {
            const std::string tty = kind + std::to_string(k);
            const int com = kestle_portlib::ComNumberOfTty(tty);
            ASSERT_NE(0, com) << tty;
            EXPECT_TRUE(seen.emplace(com, tty).second) << tty << " and " << seen[com];
            EXPECT_EQ(tty, kestle_portlib::TtyNameOfCom(com));
        }
    }
    EXPECT_EQ("", kestle_portlib::TtyNameOfCom(0));
    EXPECT_EQ("", kestle_portlib::TtyNameOfCom(-3));
}

TEST(CdDrive, UnknownDeviceOrBadTextsAreRefused)
{
    EnvGuard noDevice("KESTLE_DEVICE_DIR", nullptr);
    EnvGuard root("KESTLE_SYSFS_ROOT", (kSysfs + "netcard").c_str());
    struct Case {
        const char* vendor;
        const char* product;
        const char* command;
    };
    const Case cases[] = {
        {"1234", "0126", "99000000000000000000"},  // no such device
        {"ABCD", "0999", "99000000000000000000"},
        {"ABCD", "0126", "9900"},                  // not 10 bytes
        {"ABCD", "0126", "99000000000000000zz0"},
        {"AB CD", "0126", "99000000000000000000"},
        {"", "0126", "99000000000000000000"},
        {"ABCD", "12345", "99000000000000000000"},
    };
    for (const Case& c : cases)
        EXPECT_NE(0, KestleSendCmdByCDLogicDrive(c.vendor, c.product, c.command)) << c.vendor << " " << c.product;
    EXPECT_NE(0, KestleSendCmdByCDLogicDrive(nullptr, "0126", "99000000000000000000"));
}

}  // namespace
