#pragma once
// A umockdev testbed laid out as Linux lays out USB modems and their
// neighbours: USB devices, interfaces (class, number, string, driver), ttys
// backed by pseudo-terminals, network interfaces and CD drives.
#include <umockdev.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/device_state.h"
#include "tests/unit/portlib/portlib_test_util.h"

namespace hwtest {

struct Interface {
    int number = 0;
    std::string driver;  // "option", "qcserial", "cdc_acm", "rndis_host", "usb-storage", ...
    std::string label;   // the interface string, empty for none
    std::string ifClass = "ff";
    std::string ifSubClass = "ff";
    std::string ifProtocol = "ff";
};

// One testbed is one state of the bus: a device plugged back, in its old form
// or another, is a new MockUsb. The old one hangs up and stays alive while
// descriptors of its ttys may still be open (the preload serves them).
class MockUsb {
public:
    MockUsb();
    ~MockUsb();
    MockUsb(const MockUsb&) = delete;
    MockUsb& operator=(const MockUsb&) = delete;

    // A USB device "1-<port>" with its ids and its number on the bus (by
    // default port + 1; a re-plugged device gets a new one); returns its path.
    std::string AddDevice(int port, const std::string& vendor, const std::string& product, int devnum = 0);
    std::string AddInterface(const std::string& device, const Interface& interface);
    // A tty below the interface with udev properties ("ID_MM_PORT_TYPE_AT_PRIMARY=1").
    void AddTty(const std::string& interface, const std::string& name, const std::vector<std::string>& properties = {});
    void AddNet(const std::string& interface, const std::string& name);
    void AddCdDrive(const std::string& interface, const std::string& name);
    // Plays the device behind a tty added before.
    void Serve(const std::string& tty, portlib_test::PtyPeer::Handler handler);
    portlib_test::PtyPeer& Peer(const std::string& tty) { return *peers_.at(tty); }
    // The devices leave the bus: every tty hangs up.
    void HangUp();

private:
    UMockdevTestbed* testbed_;
    int nextMinor_ = 0;
    std::map<std::string, std::unique_ptr<portlib_test::PtyPeer>> peers_;
};

// One emulated device state behind several ports.
struct EmulatedModem {
    std::mutex lock;
    modemsim::DeviceState state;
    portlib_test::PtyPeer::Handler At();    // the emulator's AT command set
    portlib_test::PtyPeer::Handler Diag();  // its DIAG packets
};

// Handlers of the kinds of ports a modem has.
portlib_test::PtyPeer::Handler AtPort(const std::string& tag = "");  // OK to AT; "ATI" answers tag
portlib_test::PtyPeer::Handler DiagPort();   // a CRC-valid answer to every frame
portlib_test::PtyPeer::Handler GpsPort();    // NMEA sentences whatever comes
portlib_test::PtyPeer::Handler SilentPort();

// The real back end (no device folder, no sysfs tree) with an empty role
// table of the test's own ($XDG_CONFIG_HOME/kestle/port-roles.conf).
class RealBackEnd {
protected:
    portlib_test::EnvGuard noDevice_{"KESTLE_DEVICE_DIR", nullptr};
    portlib_test::EnvGuard noSysfs_{"KESTLE_SYSFS_ROOT", nullptr};
    portlib_test::TempDir config_;
    portlib_test::EnvGuard configHome_{"XDG_CONFIG_HOME", config_.Path().c_str()};
    portlib_test::EnvGuard configDirs_{"XDG_CONFIG_DIRS", (config_.Path() + "/none").c_str()};
};

// An option modem without strings (2031:0501) on ttyUSB<first>..: DIAG, GPS, AT.
void AddModemWithoutStrings(MockUsb& usb, int usbPort, int devnum, int first, portlib_test::PtyPeer::Handler at);

// The listing the library gives now.
std::vector<std::string> Listing();

}  // namespace hwtest
