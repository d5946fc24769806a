#include "device/port_scanner.h"
#include "listing_dir.h"
#include "port_library_spy.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/win/debug_output.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Expected {
    int mode, atPort, diagPort, modemPort;
    const char *diagPid, *atPid, *modemPid, *rndisPid, *cdromPid;
};

void ExpectInfo(const DeviceInfo& info, const Expected& e)
{
    EXPECT_EQ(info.mode, e.mode);
    EXPECT_EQ(info.atPort, e.atPort);
    EXPECT_EQ(info.diagPort, e.diagPort);
    EXPECT_EQ(info.modemPort, e.modemPort);
    EXPECT_STREQ(info.diagPid, e.diagPid);
    EXPECT_STREQ(info.atPid, e.atPid);
    EXPECT_STREQ(info.modemPid, e.modemPid);
    EXPECT_STREQ(info.rndisPid, e.rndisPid);
    EXPECT_STREQ(info.cdromPid, e.cdromPid);
}

void ExpectScan(const Expected& expected)
{
    CDevicePortScanner scanner;
    ASSERT_EQ(scanner.GetDeviceInfo(), 0);
    ExpectInfo(scanner.m_DeviceInfo, expected);
}

class PortScannerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetPortLibrarySpy();
        std::memset(g_szPortName, 0, sizeof g_szPortName);
    }
    ListingDir listing_;
};

TEST_F(PortScannerTest, ClassifiesTheListingFixtures)
{
    const struct {
        const char* fixture;
        Expected expected;
    } cases[] = {
        {"modem_mode.txt", {2, 6, 5, 7, "pid_0125", "pid_0125", "pid_0125", "", "pid_0125"}},
        {"netcard_mode.txt", {1, 0, 0, 0, "", "", "", "pid_0126", "pid_0126"}},
        {"diag_only.txt", {3, 0, 9, 0, "pid_0129", "", "", "", "pid_0129"}},
        {"rndis_and_modem.txt", {4, 16, 15, 17, "pid_0128", "pid_0128", "pid_0128", "pid_0128", ""}},
        {"cdrom_mode.txt", {5, 0, 0, 0, "", "", "", "", "pid_0127"}},
        {"no_diag.txt", {0, 6, 0, 7, "", "pid_0125", "pid_0125", "", ""}},
        // The AT interface is found by the word "at" only.
        {"nmea_without_at_word.txt", {0, 0, 5, 7, "pid_0125", "", "pid_0125", "", "pid_0125"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        listing_.WriteFixture(c.fixture);
        ExpectScan(c.expected);
    }
}

TEST_F(PortScannerTest, EntryEdgeCases)
{
    const std::string at = "Kestle USB nmea AT Interface (COM6) USB\\VID_ABCD&PID_0125&MI_01";
    const std::string modem = "Kestle USB Modem (COM7) USB\\VID_ABCD&PID_0125&MI_02";
    const struct {
        const char* name;
        std::vector<std::string> entries;
        Expected expected;
    } cases[] = {
        {"diag with com 12 and pid",
         {"Kestle Diagnostics Interface (COM12) USB\\VID_ABCD&PID_1A2B&MI_00"},
         {3, 0, 12, 0, "pid_1a2b", "", "", "", ""}},
        {"diag and at in one entry is the diag port only",
         {"Kestle Diagnostics AT Interface (COM3) USB\\VID_ABCD&PID_0125"},
         {3, 0, 3, 0, "pid_0125", "", "", "", ""}},
        {"diag with pid but no com, later diag entry fills the port",
         {"Kestle Diagnostics Interface USB\\VID_ABCD&PID_0125", at, modem,
          "Kestle Diagnostics Interface (COM8) USB\\VID_ABCD&PID_0130"},
         {2, 6, 8, 7, "pid_0130", "pid_0125", "pid_0125", "", ""}},
        {"diag with pid but no com stays port 0",
         {"Kestle Diagnostics Interface USB\\VID_ABCD&PID_0125", at, modem},
         {2, 6, 0, 7, "pid_0125", "pid_0125", "pid_0125", "", ""}},
        {"diag with com but no pid counts as absent",
         {"Kestle Diagnostics Interface (COM5)", at, modem},
         {0, 6, 5, 7, "", "pid_0125", "pid_0125", "", ""}},
        {"diag without com and pid is ignored", {"Kestle Diagnostics Interface"}, {0, 0, 0, 0, "", "", "", "", ""}},
        {"a second diag entry does not replace the first",
         {"Kestle Diagnostics Interface (COM5) PID_0125", "Kestle Diagnostics Interface (COM9) PID_0131"},
         {3, 0, 5, 0, "pid_0125", "", "", "", ""}},
        {"the number follows the first com",
         {"Kestle Diagnostics Combo (COM4) PID_0125"},
         {3, 0, 0, 0, "pid_0125", "", "", "", ""}},
        {"a later RNDIS entry replaces the product id",
         {"Windows Mobile-based Internet Sharing Device USB\\VID_ABCD&PID_0126",
          "Windows Mobile-based Internet Sharing Device usb_rndisx USB\\VID_ABCD&PID_0140"},
         {1, 0, 0, 0, "", "", "", "pid_0140", ""}},
        {"RNDIS without pid is absent", {"Windows Mobile-based Internet Sharing Device"}, {0, 0, 0, 0, "", "", "", "", ""}},
        {"a short pid is taken as it stands", {"Kestle Diagnostics (COM2) pid_12"}, {3, 0, 2, 0, "pid_12", "", "", "", ""}},
        {"CD drive beside the modem ports is still mode 2",
         {"Kestle Diagnostics Interface (COM5) PID_0125", at, modem, "USB Mass Storage Device PID_0125"},
         {2, 6, 5, 7, "pid_0125", "pid_0125", "pid_0125", "", "pid_0125"}},
        {"AT and modem without diag", {at, modem}, {0, 6, 0, 7, "", "pid_0125", "pid_0125", "", ""}},
        {"CD drive with RNDIS is mode 1",
         {"USB Mass Storage Device PID_0126", "Windows Mobile-based Internet Sharing Device PID_0126"},
         {1, 0, 0, 0, "", "", "", "pid_0126", "pid_0126"}},
        {"diag only beside RNDIS is mode 3",
         {"Kestle Diagnostics Interface (COM5) PID_0125", "Windows Mobile-based Internet Sharing Device PID_0125"},
         {3, 0, 5, 0, "pid_0125", "", "", "pid_0125", ""}},
        {"unknown interfaces only", {"Some Printer (LPT1)", "Keyboard"}, {0, 0, 0, 0, "", "", "", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        listing_.Write(c.entries);
        ExpectScan(c.expected);
    }
}

TEST_F(PortScannerTest, EmptyListingAfterThreeCallsKeepsThePreviousScan)
{
    listing_.WriteFixture("modem_mode.txt");
    CDevicePortScanner scanner;
    ASSERT_EQ(scanner.GetDeviceInfo(), 0);
    const DeviceInfo before = scanner.m_DeviceInfo;

    listing_.Clear();
    SetUp();
    EXPECT_EQ(scanner.GetDeviceInfo(), 1);
    EXPECT_EQ(ListingCalls(), 3);
    EXPECT_EQ(std::memcmp(&before, &scanner.m_DeviceInfo, sizeof before), 0);
}

TEST_F(PortScannerTest, ListingThatAppearsOnTheThirdCallIsUsed)
{
    listing_.WriteFixture("netcard_mode.txt");
    SetEmptyListingsFirst(2);
    CDevicePortScanner scanner;
    ASSERT_EQ(scanner.GetDeviceInfo(), 0);
    EXPECT_EQ(ListingCalls(), 3);
    EXPECT_EQ(scanner.m_DeviceInfo.mode, DEVICE_PORT_MODE_RNDIS);
}

TEST_F(PortScannerTest, ScanTracesTwoDebugLines)
{
    listing_.WriteFixture("modem_mode.txt");
    DebugCapture capture;
    CDevicePortScanner scanner;
    ASSERT_EQ(scanner.GetDeviceInfo(), 0);
    const std::vector<std::string> expected = {
        "Diagnose:DeviceInfo,Mode:2, ATPort:6, DiagPort:5, ModemPort:7 \r\n",
        "Diagnose:DeviceInfo,AT-PID:pid_0125, Diag-PID:pid_0125, Modem-PID:pid_0125,RNDIS-PID:, CDROM-PID:pid_0125 \r\n",
    };
    EXPECT_EQ(capture.Lines(), expected);
}

TEST_F(PortScannerTest, SetATPortClosesEveryKindOnTheOldNameEachTime)
{
    using Calls = std::vector<std::pair<int, std::string>>;
    ASSERT_EQ(SetATPort("7"), 0);
    EXPECT_EQ(Closed(), (Calls{{2, ""}, {1, ""}, {10, ""}, {4, ""}}));
    EXPECT_STREQ(g_szPortName, "7");

    for (const char* next : {"7", "12"}) {
        SCOPED_TRACE(next);
        const std::string old = g_szPortName;
        SetUp();
        std::strncpy(g_szPortName, old.c_str(), sizeof g_szPortName - 1);
        ASSERT_EQ(SetATPort(next), 0);
        EXPECT_EQ(Closed(), (Calls{{2, old}, {1, old}, {10, old}, {4, old}}));
        EXPECT_STREQ(g_szPortName, next);
    }

    SetUp();
    std::strncpy(g_szPortName, "12", sizeof g_szPortName - 1);
    EXPECT_EQ(SetATPort(nullptr), 1);
    EXPECT_TRUE(Closed().empty());
    EXPECT_STREQ(g_szPortName, "12");

    const std::string tooLong(2000, '9');
    ASSERT_EQ(SetATPort(tooLong.c_str()), 0);
    EXPECT_EQ(std::string(g_szPortName), tooLong.substr(0, 1023));
}

TEST_F(PortScannerTest, SelectDiagPortOnlyInTheModesWithADiagPort)
{
    for (int mode = 0; mode <= 5; ++mode) {
        SCOPED_TRACE(mode);
        SetUp();
        std::strncpy(g_szPortName, "6", sizeof g_szPortName - 1);
        DeviceInfo info{};
        info.mode = mode;
        info.diagPort = 15;
        const bool selects = mode == 2 || mode == 4;
        EXPECT_EQ(SelectDiagPort(info), selects ? 0 : 1);
        EXPECT_STREQ(g_szPortName, selects ? "15" : "6");
        EXPECT_EQ(Closed().size(), selects ? 4u : 0u);
    }
}

TEST(DebugTrace, SendsTheFormattedTextCutTo1023)
{
    DebugCapture capture;
    DebugTrace("port %d %s", 5, "found");
    DebugTrace("%s", std::string(4000, 'y').c_str());
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "port 5 found");
    EXPECT_EQ(lines[1], std::string(1023, 'y'));
}

} // namespace
