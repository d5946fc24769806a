// The tools' device flow through the real back end on a mocked modem: the
// emulator's command sets answer behind umockdev ttys that carry no strings,
// the scanner classifies the device, the diagnostic port and the AT port are
// made current in turn and operations read the device's values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/at_ops_sim.h"
#include "device/diag_ops.h"
#include "device/port_manager.h"
#include "device/port_scanner.h"
#include "platform/portlib/KestlePortServer.h"
#include "tests/hardware/usb_modem/mock_usb.h"

using namespace hwtest;
using portlib_test::EnvGuard;
using portlib_test::PtyPeer;
using portlib_test::TempDir;

namespace {

TEST(DeviceFlow, ScanDiagAndAtOperationsOnAModemWithoutStrings)
{
    EnvGuard noDevice("KESTLE_DEVICE_DIR", nullptr);
    EnvGuard noSysfs("KESTLE_SYSFS_ROOT", nullptr);
    TempDir config;
    EnvGuard configHome("XDG_CONFIG_HOME", config.Path().c_str());
    EnvGuard configDirs("XDG_CONFIG_DIRS", (config.Path() + "/none").c_str());

    MockUsb usb;
    EmulatedModem modem;
    modem.state.nv[modemsim::kImeiNvItem] = modemsim::PackImei("356938035643809");
    const std::string dev = usb.AddDevice(3, "2030", "0125");
    const PtyPeer::Handler handlers[] = {modem.Diag(), GpsPort(), modem.At(), modem.At()};
    for (int i = 0; i < 4; ++i) {
        const std::string tty = "ttyUSB" + std::to_string(i);
        usb.AddTty(usb.AddInterface(dev, {i, "option", ""}), tty);
        usb.Serve(tty, handlers[i]);
    }

    CDevicePortScanner scanner;
    ASSERT_EQ(0, scanner.GetDeviceInfo());
    EXPECT_EQ(DEVICE_PORT_MODE_MODEM, scanner.m_DeviceInfo.mode);
    EXPECT_EQ(1, scanner.m_DeviceInfo.diagPort);
    EXPECT_EQ(3, scanner.m_DeviceInfo.atPort);
    EXPECT_EQ(4, scanner.m_DeviceInfo.modemPort);
    EXPECT_STREQ("pid_0125", scanner.m_DeviceInfo.atPid);

    ASSERT_EQ(0, SelectDiagPort(scanner.m_DeviceInfo));
    EXPECT_STREQ("1", g_szPortName);
    char imei[64] = {};
    EXPECT_EQ(0, Diag_GetIMEI(imei));
    EXPECT_STREQ("356938035643809", imei);

    CMarlPortManager manager;
    ASSERT_EQ(0, manager.OpenATPort());
    EXPECT_STREQ("3", g_szPortName);
    char imsi[256] = {};
    EXPECT_EQ(0, AT_GET_IMSI(imsi));
    EXPECT_EQ(modem.state.imsi, std::string(imsi));
    SetATPort("");
}

}  // namespace
