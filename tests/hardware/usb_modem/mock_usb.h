#pragma once
// A umockdev testbed laid out as Linux lays out USB modems and their
// neighbours: USB devices, interfaces (class, number, string, driver), ttys
// backed by pseudo-terminals, network interfaces and CD drives.
#include <umockdev.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

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

class MockUsb {
public:
    MockUsb();
    ~MockUsb();
    MockUsb(const MockUsb&) = delete;
    MockUsb& operator=(const MockUsb&) = delete;

    // A USB device "1-<port>" with its ids; returns its path.
    std::string AddDevice(int port, const std::string& vendor, const std::string& product);
    std::string AddInterface(const std::string& device, const Interface& interface);
    // A tty below the interface with udev properties ("ID_MM_PORT_TYPE_AT_PRIMARY=1").
    void AddTty(const std::string& interface, const std::string& name, const std::vector<std::string>& properties = {});
    void AddNet(const std::string& interface, const std::string& name);
    void AddCdDrive(const std::string& interface, const std::string& name);
    // Plays the device behind a tty added before.
    void Serve(const std::string& tty, portlib_test::PtyPeer::Handler handler);
    portlib_test::PtyPeer& Peer(const std::string& tty) { return *peers_.at(tty); }

private:
    UMockdevTestbed* testbed_;
    int nextMinor_ = 0;
    std::map<std::string, std::unique_ptr<portlib_test::PtyPeer>> peers_;
};

// Handlers of the kinds of ports a modem has.
portlib_test::PtyPeer::Handler AtPort(const std::string& tag = "");  // OK to AT; "ATI" answers tag
portlib_test::PtyPeer::Handler DiagPort();   // a CRC-valid answer to every frame
portlib_test::PtyPeer::Handler GpsPort();    // NMEA sentences whatever comes
portlib_test::PtyPeer::Handler SilentPort();

// The listing the library gives now.
std::vector<std::string> Listing();

}  // namespace hwtest
