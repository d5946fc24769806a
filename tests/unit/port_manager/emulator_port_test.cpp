// The port manager against the modem emulator.
#include "device/port_manager.h"
#include "device/port_scanner.h"
#include "emulator/modem_emulator.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(PortManagerEmulator, OpensTheEmulatorsAtPortOnlyInModemMode)
{
    modemsim::ModemEmulator emulator;
    std::string error;
    ASSERT_TRUE(emulator.Start(&error)) << error;
    setenv("KESTLE_DEVICE_DIR", emulator.DeviceDir().c_str(), 1);

    CMarlPortManager manager;
    int port = 0;
    ASSERT_TRUE(emulator.WaitForMode(modemsim::Mode::Modem, 5000));
    EXPECT_EQ(manager.FindATPortNumber(&port), 0);
    EXPECT_EQ(port, emulator.ComNumber(modemsim::Port::At));
    EXPECT_EQ(manager.OpenATPort(), 0);
    EXPECT_EQ(std::string(g_szPortName), std::to_string(port));

    emulator.SetMode(modemsim::Mode::NetCard);
    ASSERT_TRUE(emulator.WaitForMode(modemsim::Mode::NetCard, 5000));
    port = -1;
    EXPECT_EQ(manager.FindATPortNumber(&port), 1);
    EXPECT_EQ(port, -1);

    unsetenv("KESTLE_DEVICE_DIR");
    emulator.Stop();
}

} // namespace
