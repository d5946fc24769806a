// The real back end on mocked USB hardware: which interfaces are listed, the
// roles the listing gives them, and what the scanner and port manager make
// of it, for the layouts real modems and their neighbours have.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "device/port_manager.h"
#include "device/port_scanner.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/portlib/portlib_internal.h"
#include "tests/hardware/usb_modem/mock_usb.h"

using namespace hwtest;
using portlib_test::EnvGuard;
using portlib_test::TempDir;

namespace {

// Every test runs on the real back end with an empty role table of its own.
class UsbLayout : public ::testing::Test, protected RealBackEnd {
protected:
    MockUsb usb_;

    void TearDown() override
    {
        for (const char* port : {"1", "2", "3", "4", "5", "6", "101", "201"}) {
            KestleClosePort(PORT_KIND_AT, port);
        }
    }

    // The user's role table ($XDG_CONFIG_HOME/kestle/port-roles.conf).
    void WriteRoleTable(const std::string& text) const
    {
        ::mkdir((config_.Path() + "/kestle").c_str(), 0755);
        std::ofstream(config_.Path() + "/kestle/port-roles.conf") << text;
    }

    DeviceInfo Scan()
    {
        CDevicePortScanner scanner;
        EXPECT_EQ(0, scanner.GetDeviceInfo());
        return scanner.m_DeviceInfo;
    }

    int AtPortFound()
    {
        CMarlPortManager manager;
        int port = -1;
        return manager.FindATPortNumber(&port) == 0 ? port : -1;
    }

    // An option modem with four ports and no strings: DIAG, GPS, AT, modem.
    void AddOptionModem(int usbPort, int firstTty)
    {
        const std::string dev = usb_.AddDevice(usbPort, "2020", "0401");
        const Handler handlers[] = {DiagPort(), GpsPort(), AtPort("at"), AtPort("modem")};
        for (int i = 0; i < 4; ++i) {
            const std::string tty = "ttyUSB" + std::to_string(firstTty + i);
            usb_.AddTty(usb_.AddInterface(dev, {i, "option", ""}), tty);
            usb_.Serve(tty, handlers[i]);
        }
    }

    // Bystanders: a tethered phone, a USB DVD drive, a development board on
    // cdc_acm and a serial adapter.
    void AddBystanders(int firstUsbPort)
    {
        const std::string phone = usb_.AddDevice(firstUsbPort, "18d1", "4ee3");
        usb_.AddNet(usb_.AddInterface(phone, {0, "rndis_host", "", "e0", "01", "03"}), "usb0");
        const std::string dvd = usb_.AddDevice(firstUsbPort + 1, "0e8d", "1806");
        usb_.AddCdDrive(usb_.AddInterface(dvd, {0, "usb-storage", "", "08", "06", "50"}), "sr0");
        const std::string board = usb_.AddDevice(firstUsbPort + 2, "2341", "0043");
        usb_.AddTty(usb_.AddInterface(board, {0, "cdc_acm", "", "02", "02", "01"}), "ttyACM0");
        usb_.Serve("ttyACM0", AtPort("board"));
        const std::string adapter = usb_.AddDevice(firstUsbPort + 3, "0403", "6001");
        usb_.AddTty(usb_.AddInterface(adapter, {0, "ftdi_sio", ""}), "ttyUSB0");
        usb_.Serve("ttyUSB0", AtPort("adapter"));
    }

    using Handler = portlib_test::PtyPeer::Handler;
};

TEST_F(UsbLayout, OptionPortsWithoutStringsAreFoundByProbing)
{
    AddOptionModem(2, 1);
    const std::vector<std::string> expected = {
        "Diagnostics Interface (COM2) option USB\\VID_2020&PID_0401&MI_00",
        "USB GPS Port (COM3) option USB\\VID_2020&PID_0401&MI_01",
        "USB nmea UI AT Interface (COM4) option USB\\VID_2020&PID_0401&MI_02",
        "USB Modem (COM5) option USB\\VID_2020&PID_0401&MI_03",
    };
    EXPECT_EQ(expected, Listing());
    const DeviceInfo info = Scan();
    EXPECT_EQ(DEVICE_PORT_MODE_MODEM, info.mode);
    EXPECT_EQ(2, info.diagPort);
    EXPECT_EQ(4, info.atPort);
    EXPECT_EQ(5, info.modemPort);
    EXPECT_EQ(4, AtPortFound());

    // what a probe learnt is kept: later listings never ask the ports again
    const int probes = kestle_portlib::ProbeCount();
    const size_t asked = usb_.Peer("ttyUSB3").Requests().size();
    EXPECT_EQ(expected, Listing());
    EXPECT_EQ(probes, kestle_portlib::ProbeCount());
    EXPECT_EQ(asked, usb_.Peer("ttyUSB3").Requests().size());
}

// qcserial ports named by the modem manager daemon's udev rules: no probe.
TEST_F(UsbLayout, QcserialPortsTakeTheirRolesFromUdevHints)
{
    const std::string dev = usb_.AddDevice(3, "2021", "9001");
    const std::vector<std::string> hints[] = {{"ID_MM_PORT_TYPE_QCDM=1"},
                                              {"ID_MM_PORT_TYPE_GPS=1"},
                                              {"ID_MM_PORT_TYPE_AT_PRIMARY=1"},
                                              {"ID_MM_PORT_TYPE_AT_PPP=1"}};
    for (int i = 0; i < 4; ++i) {
        const std::string tty = "ttyUSB" + std::to_string(i);
        usb_.AddTty(usb_.AddInterface(dev, {i, "qcserial", ""}), tty, hints[i]);
        usb_.Serve(tty, SilentPort());
    }
    const int probes = kestle_portlib::ProbeCount();
    const std::vector<std::string> expected = {
        "Diagnostics Interface (COM1) qcserial USB\\VID_2021&PID_9001&MI_00",
        "USB GPS Port (COM2) qcserial USB\\VID_2021&PID_9001&MI_01",
        "USB nmea UI AT Interface (COM3) qcserial USB\\VID_2021&PID_9001&MI_02",
        "USB Modem (COM4) qcserial USB\\VID_2021&PID_9001&MI_03",
    };
    EXPECT_EQ(expected, Listing());
    EXPECT_EQ(probes, kestle_portlib::ProbeCount());
    const DeviceInfo info = Scan();
    EXPECT_EQ(DEVICE_PORT_MODE_MODEM, info.mode);
    EXPECT_EQ(3, AtPortFound());
}

TEST_F(UsbLayout, AtPortOnCdcAcmIsTheAtPort)
{
    const std::string dev = usb_.AddDevice(4, "2022", "00a0");
    usb_.AddTty(usb_.AddInterface(dev, {0, "cdc_acm", "", "02", "02", "01"}), "ttyACM0");
    usb_.Serve("ttyACM0", AtPort("acm"));
    usb_.AddNet(usb_.AddInterface(dev, {2, "cdc_ncm", "", "02", "0d", "00"}), "wwan0");
    const std::vector<std::string> expected = {
        "USB nmea UI AT Interface (COM101) cdc_acm USB\\VID_2022&PID_00A0&MI_00",
        "Windows Mobile-based Internet Sharing Device usb_rndisx USB\\VID_2022&PID_00A0&MI_02",
    };
    EXPECT_EQ(expected, Listing());
    EXPECT_EQ(101, AtPortFound());
}

TEST_F(UsbLayout, AtInterfaceWinsOverNmea)
{
    const std::string dev = usb_.AddDevice(5, "2023", "0010");
    const char* labels[] = {"DIAG", "NMEA", "AT", "Modem"};
    for (int i = 0; i < 4; ++i) {
        const std::string tty = "ttyUSB" + std::to_string(i);
        usb_.AddTty(usb_.AddInterface(dev, {i, "option", labels[i]}), tty);
        usb_.Serve(tty, i == 1 ? GpsPort() : SilentPort());
    }
    const std::vector<std::string> listing = Listing();
    ASSERT_EQ(4u, listing.size());
    EXPECT_EQ("USB GPS Port (COM2) option USB\\VID_2023&PID_0010&MI_01", listing[1]);
    EXPECT_EQ("USB nmea UI AT Interface (COM3) option USB\\VID_2023&PID_0010&MI_02", listing[2]);
    EXPECT_EQ(3, AtPortFound());
    EXPECT_EQ(DEVICE_PORT_MODE_MODEM, Scan().mode);
}

TEST_F(UsbLayout, BystandersAloneListNothingAndAreNeverProbed)
{
    AddBystanders(2);
    const int probes = kestle_portlib::ProbeCount();
    EXPECT_EQ(std::vector<std::string>{}, Listing());
    EXPECT_EQ(probes, kestle_portlib::ProbeCount());
    EXPECT_TRUE(usb_.Peer("ttyACM0").Requests().empty());
    EXPECT_TRUE(usb_.Peer("ttyUSB0").Requests().empty());
    EXPECT_EQ(-1, AtPortFound());
}

TEST_F(UsbLayout, ModemBesideBystandersListsOnlyTheModem)
{
    AddBystanders(2);
    AddOptionModem(7, 1);
    const std::vector<std::string> listing = Listing();
    ASSERT_EQ(4u, listing.size());
    for (const std::string& entry : listing)
        EXPECT_NE(std::string::npos, entry.find("VID_2020&PID_0401")) << entry;
    const DeviceInfo info = Scan();
    EXPECT_EQ(DEVICE_PORT_MODE_MODEM, info.mode);
    EXPECT_EQ(4, info.atPort);
    EXPECT_TRUE(usb_.Peer("ttyACM0").Requests().empty());
}

// ttyUSB100 and ttyACM0 once shared COM101; each now has its own number and
// the number opens its own tty.
TEST_F(UsbLayout, TtyUsb100AndTtyAcm0KeepTheirOwnNumbers)
{
    const std::string dev = usb_.AddDevice(6, "2024", "0020");
    usb_.AddTty(usb_.AddInterface(dev, {0, "option", ""}), "ttyUSB100", {"ID_MM_PORT_TYPE_AT_PRIMARY=1"});
    usb_.Serve("ttyUSB100", AtPort("usb100"));
    usb_.AddTty(usb_.AddInterface(dev, {1, "cdc_acm", "", "02", "02", "01"}), "ttyACM0", {"ID_MM_PORT_TYPE_AT_PPP=1"});
    usb_.Serve("ttyACM0", AtPort("acm0"));
    const std::vector<std::string> expected = {
        "USB Modem (COM101) cdc_acm USB\\VID_2024&PID_0020&MI_01",
        "USB nmea UI AT Interface (COM201) option USB\\VID_2024&PID_0020&MI_00",
    };
    EXPECT_EQ(expected, Listing());
    EXPECT_EQ(201, AtPortFound());
    for (const auto& [com, tag] : {std::pair<const char*, const char*>{"201", "usb100"}, {"101", "acm0"}}) {
        ASSERT_EQ(0, KestleInitPort(PORT_KIND_AT, com));
        char reply[256];
        int length = sizeof reply;
        EXPECT_EQ(0, KestleReadMsgFromPort_sync(PORT_KIND_AT, com, reinterpret_cast<const unsigned char*>("ATI\r"), 4,
                                                reinterpret_cast<unsigned char*>(reply), &length, 100));
        EXPECT_NE(std::string::npos, std::string(reply, static_cast<size_t>(length)).find(tag)) << com;
    }
}

TEST_F(UsbLayout, NetworkCardModeShowsRndisAndCdDrive)
{
    const std::string dev = usb_.AddDevice(2, "2025", "0126");
    usb_.AddNet(usb_.AddInterface(dev, {0, "rndis_host", "", "e0", "01", "03"}), "usb0");
    usb_.AddCdDrive(usb_.AddInterface(dev, {2, "usb-storage", "", "08", "06", "50"}), "sr1");
    const std::vector<std::string> expected = {
        "Windows Mobile-based Internet Sharing Device usb_rndisx USB\\VID_2025&PID_0126&MI_00",
        "USB Mass Storage Device CD-ROM USB\\VID_2025&PID_0126",
    };
    EXPECT_EQ(expected, Listing());
    const DeviceInfo info = Scan();
    EXPECT_EQ(DEVICE_PORT_MODE_RNDIS, info.mode);
    EXPECT_STREQ("pid_0126", info.rndisPid);
}

// A modem in mass-storage mode shows only a CD drive, as a DVD drive does: the
// role table names it.
TEST_F(UsbLayout, MassStorageModeIsTheModemTheTableNames)
{
    const std::string dev = usb_.AddDevice(2, "2026", "0127");
    usb_.AddCdDrive(usb_.AddInterface(dev, {0, "usb-storage", "", "08", "06", "50"}), "sr0");
    EXPECT_EQ(std::vector<std::string>{}, Listing());
    WriteRoleTable("# the modem before its switch\n2026 0127 * device\n");
    EXPECT_EQ(std::vector<std::string>{"USB Mass Storage Device CD-ROM USB\\VID_2026&PID_0127"}, Listing());
    EXPECT_EQ(DEVICE_PORT_MODE_MASS_STORAGE, Scan().mode);
}

// A user's table row gives a role that nothing else would.
TEST_F(UsbLayout, RoleTableRowsGiveRolesWithoutProbing)
{
    const std::string dev = usb_.AddDevice(2, "2027", "1000");
    for (int i = 0; i < 3; ++i) {
        const std::string tty = "ttyUSB" + std::to_string(i);
        usb_.AddTty(usb_.AddInterface(dev, {i, "ftdi_sio", ""}), tty);
        usb_.Serve(tty, SilentPort());
    }
    EXPECT_EQ(std::vector<std::string>{}, Listing());
    WriteRoleTable("2027 1000 0 diag\n2027 1000 1 at\n2027 1000 2 modem\n");
    const int probes = kestle_portlib::ProbeCount();
    const DeviceInfo info = Scan();
    EXPECT_EQ(DEVICE_PORT_MODE_MODEM, info.mode);
    EXPECT_EQ(2, info.atPort);
    EXPECT_EQ(probes, kestle_portlib::ProbeCount());
}

}  // namespace
