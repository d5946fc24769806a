#include "tests/hardware/usb_modem/mock_usb.h"

#include <stdexcept>

#include "emulator/at_interpreter.h"
#include "emulator/diag_responder.h"
#include "emulator/hdlc.h"
#include "platform/portlib/KestlePortServer.h"

namespace hwtest {

MockUsb::MockUsb() : testbed_(umockdev_testbed_new()) {}

MockUsb::~MockUsb()
{
    peers_.clear();
    g_object_unref(testbed_);
}

std::string MockUsb::AddDevice(int port, const std::string& vendor, const std::string& product, int devnum)
{
    const std::string name = "1-" + std::to_string(port);
    gchar* path = umockdev_testbed_add_device(testbed_, "usb", name.c_str(), nullptr, "idVendor", vendor.c_str(),
                                              "idProduct", product.c_str(), "busnum", "1", "devnum",
                                              std::to_string(devnum > 0 ? devnum : port + 1).c_str(), nullptr,
                                              "DEVTYPE", "usb_device", nullptr);
    std::string out = path;
    g_free(path);
    return out;
}

std::string MockUsb::AddInterface(const std::string& device, const Interface& i)
{
    const std::string name = device.substr(device.rfind('/') + 1) + ":1." + std::to_string(i.number);
    char number[8];
    std::snprintf(number, sizeof number, "%02x", i.number);
    gchar* path = umockdev_testbed_add_device(testbed_, "usb", name.c_str(), device.c_str(), "bInterfaceNumber",
                                              number, "bInterfaceClass", i.ifClass.c_str(), "bInterfaceSubClass",
                                              i.ifSubClass.c_str(), "bInterfaceProtocol", i.ifProtocol.c_str(),
                                              nullptr, "DEVTYPE", "usb_interface", nullptr);
    std::string out = path;
    g_free(path);
    if (!i.label.empty())
        umockdev_testbed_set_attribute(testbed_, out.c_str(), "interface", (i.label + "\n").c_str());
    if (!i.driver.empty())
        umockdev_testbed_set_attribute_link(testbed_, out.c_str(), "driver",
                                            ("../../../bus/usb/drivers/" + i.driver).c_str());
    return out;
}

void MockUsb::AddTty(const std::string& interface, const std::string& name, const std::vector<std::string>& properties)
{
    // a record with a node line ("N:") gets a pseudo-terminal behind the node
    std::string record = "P: " + interface.substr(std::string("/sys").size()) + "/" + name + "\nN: " + name +
                         "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + name + "\n";
    for (const std::string& p : properties)
        record += "E: " + p + "\n";
    // the numbers Linux gives: the same name has the same number on every plug-in
    const bool acm = name.compare(0, 6, "ttyACM") == 0;
    record += std::string("A: dev=") + (acm ? "166:" : "188:") + name.substr(6) + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, record.c_str(), &error)) {
        const std::string message = error ? error->message : "?";
        if (error)
            g_error_free(error);
        throw std::runtime_error("tty " + name + ": " + message);
    }
}

void MockUsb::AddNet(const std::string& interface, const std::string& name)
{
    gchar* path = umockdev_testbed_add_device(testbed_, "net", name.c_str(), interface.c_str(), "address",
                                              "02:00:00:00:00:01", nullptr, "INTERFACE", name.c_str(), nullptr);
    g_free(path);
}

void MockUsb::AddCdDrive(const std::string& interface, const std::string& name)
{
    const std::string host = "host" + std::to_string(nextMinor_) + ":0:0:0";
    gchar* scsi = umockdev_testbed_add_device(testbed_, "scsi", host.c_str(), interface.c_str(), "type", "5",
                                              nullptr, "DEVTYPE", "scsi_device", nullptr);
    const std::string dev = "11:" + std::to_string(nextMinor_++);
    const std::string node = "/dev/" + name;
    gchar* path = umockdev_testbed_add_device(testbed_, "block", name.c_str(), scsi, "dev", dev.c_str(), nullptr,
                                              "DEVTYPE", "disk", "DEVNAME", node.c_str(), nullptr);
    g_free(path);
    g_free(scsi);
}

void MockUsb::Serve(const std::string& tty, portlib_test::PtyPeer::Handler handler)
{
    const int fd = umockdev_testbed_get_dev_fd(testbed_, ("/dev/" + tty).c_str());
    if (fd < 0)
        throw std::runtime_error("no terminal behind " + tty);
    peers_[tty] = std::make_unique<portlib_test::PtyPeer>(fd, std::move(handler));
}

void MockUsb::HangUp()
{
    for (auto& [tty, peer] : peers_)
        peer->CloseMaster();
}

portlib_test::PtyPeer::Handler EmulatedModem::At()
{
    return [this, echo = false](portlib_test::PtyPeer& peer, const std::string& request) mutable {
        std::string line = request;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        std::lock_guard<std::mutex> hold(lock);
        for (const modemsim::AtBurst& burst : modemsim::RunAtCommand(state, line, echo).bursts)
            peer.Write(burst.text);
    };
}

portlib_test::PtyPeer::Handler EmulatedModem::Diag()
{
    return [this](portlib_test::PtyPeer& peer, const std::string& request) {
        const size_t start = request.find_first_not_of('\x7E');
        if (start == std::string::npos || request.back() != '\x7E')
            return;
        std::vector<uint8_t> packet;
        if (!modemsim::UnframeDiagPacket(
                std::vector<uint8_t>(request.begin() + static_cast<long>(start), request.end() - 1), &packet))
            return;
        std::lock_guard<std::mutex> hold(lock);
        const std::vector<uint8_t> answer = modemsim::RunDiagPacket(state, packet).packet;
        if (answer.empty())
            return;
        const std::vector<uint8_t> frame = modemsim::FrameDiagPacket(answer);
        peer.Write(std::string(frame.begin(), frame.end()));
    };
}

portlib_test::PtyPeer::Handler AtPort(const std::string& tag)
{
    return [tag](portlib_test::PtyPeer& peer, const std::string& request) {
        if (request == "ATI\r")
            peer.Write("\r\n" + tag + "\r\n\r\nOK\r\n");
        else if (request.compare(0, 2, "AT") == 0)
            peer.Write("\r\nOK\r\n");
    };
}

portlib_test::PtyPeer::Handler DiagPort()
{
    return [](portlib_test::PtyPeer& peer, const std::string& request) {
        if (request.empty() || request.back() != '\x7E')
            return;
        const std::vector<uint8_t> frame = modemsim::FrameDiagPacket({0x00, 'v', '1'});
        peer.Write(std::string(frame.begin(), frame.end()));
    };
}

portlib_test::PtyPeer::Handler GpsPort()
{
    return [](portlib_test::PtyPeer& peer, const std::string&) {
        peer.Write("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
    };
}

portlib_test::PtyPeer::Handler SilentPort()
{
    return [](portlib_test::PtyPeer&, const std::string&) {};
}

void AddModemWithoutStrings(MockUsb& usb, int usbPort, int devnum, int first, portlib_test::PtyPeer::Handler at)
{
    const std::string dev = usb.AddDevice(usbPort, "2031", "0501", devnum);
    const portlib_test::PtyPeer::Handler handlers[] = {DiagPort(), GpsPort(), std::move(at)};
    for (int i = 0; i < 3; ++i) {
        const std::string tty = "ttyUSB" + std::to_string(first + i);
        usb.AddTty(usb.AddInterface(dev, {i, "option", ""}), tty);
        usb.Serve(tty, handlers[i]);
    }
}

std::vector<std::string> Listing()
{
    char entries[50][KESTLE_ENTRY_SIZE];
    int count = 50;
    KestleEnumDeviceProperty(entries, &count);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
        out.emplace_back(entries[i]);
    return out;
}

}  // namespace hwtest
