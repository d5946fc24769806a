#include "device/port_manager.h"
#include "platform/win/clock.h"
#include "device/port_scanner.h"
#include "platform/win/debug_output.h"
#include "../port_scanner/listing_dir.h"
#include "../port_scanner/port_library_spy.h"
#include "tests/support/timeout_scale.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kFailText[] = "KESTLE: OpenATPort Search ATPort Fail!\n";
const char kSuccessText[] = "KESTLE: OpenATPort Search ATPort Success!";

class PortManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetPortLibrarySpy();
        std::memset(g_szPortName, 0, sizeof g_szPortName);
        std::strncpy(g_szPortName, "old", sizeof g_szPortName - 1);
    }
    ListingDir listing_;
};

TEST_F(PortManagerTest, OpenATPortCases)
{
    const struct {
        const char* name;
        std::vector<std::string> entries;
        const char* fixture; // instead of entries
        const char* port;    // current port afterwards
        int listingCalls;   // listings of the successful try
    } cases[] = {
        {"nmea found by the first search", {"Kestle USB nmea Interface (COM9) USB\\VID_ABCD&PID_0125&MI_01"}, nullptr, "9", 1},
        {"NMEA in capitals", {"Kestle USB NMEA Interface (COM11)"}, nullptr, "11", 1},
        {"at found by the second search", {"Kestle AT Interface (COM4) USB\\VID_ABCD&PID_0125"}, nullptr, "4", 2},
        {"com only before nmea does not count",
         {"(COM3) Kestle nmea Interface", "Kestle USB nmea Interface (COM8)"},
         nullptr, "8", 1},
        {"nmea beats an earlier at entry",
         {"Kestle AT Interface (COM4)", "Kestle USB nmea Interface (COM6)"},
         nullptr, "6", 1},
        {"com without digits is port 0", {"Kestle USB nmea Interface com"}, nullptr, "0", 1},
        {"the emulator's modem mode listing", {}, "modem_mode.txt", "6", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        if (c.fixture)
            listing_.WriteFixture(c.fixture);
        else
            listing_.Write(c.entries);
        DebugCapture capture;
        CMarlPortManager manager;
        EXPECT_EQ(manager.OpenATPort(), 0);
        EXPECT_STREQ(g_szPortName, c.port);
        EXPECT_EQ(ListingCalls(), c.listingCalls);
        EXPECT_EQ(capture.Count(kSuccessText), 1u);
        EXPECT_EQ(capture.Count(kFailText), 0u);
        // The old port was closed on the way.
        ASSERT_EQ(Closed().size(), 4u);
        EXPECT_EQ(Closed()[0], std::make_pair(2, std::string("old")));
    }
}

TEST_F(PortManagerTest, FindATPortNumberLeavesTheNumberAloneWhenNotFound)
{
    const std::vector<std::vector<std::string>> listings = {
        {},
        {"(COM3) Kestle nmea Interface"},
        {"Kestle USB Modem (COM7)", "Kestle Diagnostics Interface (COM5)"},
        {"Kestle USB nmea Interface"},
    };
    for (const auto& entries : listings) {
        SCOPED_TRACE(entries.empty() ? std::string("(empty)") : entries[0]);
        SetUp();
        listing_.Write(entries);
        CMarlPortManager manager;
        int port = -77;
        EXPECT_EQ(manager.FindATPortNumber(&port), 1);
        EXPECT_EQ(port, -77);
        EXPECT_EQ(ListingCalls(), 2);
    }
}

TEST_F(PortManagerTest, FindPortNumberByNameSearchesComBehindTheName)
{
    listing_.Write({"Kestle USB Modem (COM7) USB\\VID_ABCD&PID_0125", "Kestle Diagnostics Interface (COM5)"});
    CMarlPortManager manager;
    int port = 0;
    EXPECT_EQ(manager.FindPortNumberByName("diag", &port), 0);
    EXPECT_EQ(port, 5);
    EXPECT_EQ(manager.FindPortNumberByName("modem", &port), 0);
    EXPECT_EQ(port, 7);
    port = 3;
    EXPECT_EQ(manager.FindPortNumberByName("nmea", &port), 1);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(ListingCalls(), 3);
}

TEST_F(PortManagerTest, NoModemGivesUpAfter300TriesAndKeepsThePort)
{
    listing_.Clear();
    DebugCapture capture;
    CMarlPortManager manager;
    const uint32_t start = GetTickCount();
    EXPECT_EQ(manager.OpenATPort(), 1);
    // each try: 100 ms between the two searches, 100 ms after a failed one
    EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(300u * 200u));
    EXPECT_EQ(capture.Count(kFailText), 300u);
    EXPECT_EQ(capture.Count(kSuccessText), 0u);
    EXPECT_EQ(ListingCalls(), 600);
    EXPECT_STREQ(g_szPortName, "old");
    EXPECT_TRUE(Closed().empty());
}

TEST_F(PortManagerTest, WatchThreadAndWorkerShareOneManager)
{
    listing_.Clear();
    CMarlPortManager manager;
    std::atomic<bool> stop{false};
    std::atomic<int> seen{0};
    std::thread watch([&] {
        while (!stop) {
            int port = 0;
            if (manager.FindATPortNumber(&port) == 0 && port == 6)
                ++seen;
        }
    });
    int result = -1;
    std::thread worker([&] { result = manager.OpenATPort(); });
    // The modem shows up while both are searching.
    while (ListingCalls() < 10)
        std::this_thread::yield();
    listing_.WriteFixture("modem_mode.txt");
    worker.join();
    while (seen == 0)
        std::this_thread::yield();
    stop = true;
    watch.join();
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(g_szPortName, "6");
}

} // namespace
