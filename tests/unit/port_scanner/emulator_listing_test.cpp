// The scanner against the listings the modem emulator publishes in each mode.
#include "device/port_scanner.h"
#include "emulator/modem_emulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

class EmulatorListingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(emulator_.Start(&error)) << error;
        setenv("KESTLE_DEVICE_DIR", emulator_.DeviceDir().c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("KESTLE_DEVICE_DIR");
        emulator_.Stop();
    }
    // The lower-cased listing entry that names the AT port.
    std::string AtEntry() const
    {
        std::ifstream in(emulator_.DeviceDir() + "/listing");
        for (std::string line; std::getline(in, line);) {
            std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return std::tolower(c); });
            if (line.find("nmea") != std::string::npos)
                return line;
        }
        return {};
    }

    modemsim::ModemEmulator emulator_;
};

TEST_F(EmulatorListingTest, NetworkCardAndCdModes)
{
    const struct {
        modemsim::Mode mode;
        int portMode;
        const char* rndisPid;
        const char* cdromPid;
    } cases[] = {
        {modemsim::Mode::NetCard, DEVICE_PORT_MODE_RNDIS, "pid_0126", "pid_0126"},
        {modemsim::Mode::Cdrom, DEVICE_PORT_MODE_MASS_STORAGE, "", "pid_0127"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(modemsim::ModeName(c.mode));
        emulator_.SetMode(c.mode);
        ASSERT_TRUE(emulator_.WaitForMode(c.mode, 5000));
        CDevicePortScanner scanner;
        ASSERT_EQ(scanner.GetDeviceInfo(), 0);
        const DeviceInfo& info = scanner.m_DeviceInfo;
        EXPECT_EQ(info.mode, c.portMode);
        EXPECT_EQ(info.atPort, 0);
        EXPECT_EQ(info.diagPort, 0);
        EXPECT_EQ(info.modemPort, 0);
        EXPECT_STREQ(info.rndisPid, c.rndisPid);
        EXPECT_STREQ(info.cdromPid, c.cdromPid);
    }
}

TEST_F(EmulatorListingTest, UnpluggedDeviceKeepsThePreviousScan)
{
    emulator_.SetMode(modemsim::Mode::NetCard);
    ASSERT_TRUE(emulator_.WaitForMode(modemsim::Mode::NetCard, 5000));
    CDevicePortScanner scanner;
    ASSERT_EQ(scanner.GetDeviceInfo(), 0);
    emulator_.Unplug();
    ASSERT_TRUE(emulator_.WaitForAttached(false, 5000));
    EXPECT_EQ(scanner.GetDeviceInfo(), 1);
    EXPECT_EQ(scanner.m_DeviceInfo.mode, DEVICE_PORT_MODE_RNDIS);
}

TEST_F(EmulatorListingTest, ModemModeGivesTheDiagPort)
{
    emulator_.SetMode(modemsim::Mode::Modem);
    ASSERT_TRUE(emulator_.WaitForMode(modemsim::Mode::Modem, 5000));
    CDevicePortScanner scanner;
    ASSERT_EQ(scanner.GetDeviceInfo(), 0);
    const DeviceInfo& info = scanner.m_DeviceInfo;
    EXPECT_EQ(info.diagPort, emulator_.ComNumber(modemsim::Port::Diag));
    EXPECT_EQ(info.modemPort, emulator_.ComNumber(modemsim::Port::Modem));
    EXPECT_STREQ(info.diagPid, "pid_0125");
    EXPECT_STREQ(info.cdromPid, "pid_0125");
    EXPECT_EQ(info.mode, DEVICE_PORT_MODE_MODEM);
    EXPECT_EQ(info.atPort, emulator_.ComNumber(modemsim::Port::At));
    EXPECT_STREQ(info.atPid, "pid_0125");

    ASSERT_EQ(SelectDiagPort(info), 0);
    EXPECT_EQ(std::string(g_szPortName), std::to_string(info.diagPort));
}

} // namespace
