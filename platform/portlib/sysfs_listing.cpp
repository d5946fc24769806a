// The interfaces of the USB devices: through libudev on a running system (it
// gives the port-type hints udev rules set), or from a sysfs tree laid out as
// Linux does (KESTLE_SYSFS_ROOT, for test trees; properties from the uevent
// files). Also the COM numbering and finding the CD drive.
#include <libudev.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <memory>

#include "platform/portlib/portlib_internal.h"

namespace fs = std::filesystem;

namespace kestle_portlib {
namespace {

// A device's path with its number on the bus: the number is new on every
// enumeration, so a device that left and came back is another plug-in.
std::string PlugOf(const std::string& device, const std::string& devnum) { return device + "#" + devnum; }

std::string ReadLine(const fs::path& file)
{
    // sysfs attributes say 4096 bytes and give what they have up to EOF
    std::string line;
    ReadLibraryFile(file.string(), &line);
    line.resize(std::min(line.find('\n'), line.size()));
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

bool ParseHex(std::string_view text, unsigned* value)
{
    if (text.empty() || text.size() > 8)
        return false;
    unsigned v = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        v = v * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                                     : (std::tolower(c) - 'a' + 10));
    }
    *value = v;
    return true;
}

unsigned HexOr0(const std::string& text)
{
    unsigned v = 0;
    return ParseHex(text, &v) ? v : 0;
}

bool Inside(const fs::path& path, const fs::path& root)
{
    auto r = root.begin(), p = path.begin();
    for (; r != root.end(); ++r, ++p) {
        if (p == path.end() || *p != *r)
            return false;
    }
    return true;
}

// KEY=VALUE lines of a uevent file.
void ReadUevent(const fs::path& file, std::map<std::string, std::string>* properties)
{
    std::string text;
    ReadLibraryFile(file.string(), &text);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && eq > 0)
            (*properties)[line.substr(0, eq)] = line.substr(eq + 1);
    }
}

// Walks up from a class entry of a sysfs tree to its USB interface and device.
bool FromSysfs(const fs::path& classEntry, const fs::path& root, UsbPort* port)
{
    std::error_code ec;
    fs::path at = fs::canonical(classEntry, ec);
    if (ec)
        return false;
    ReadUevent(at / "uevent", &port->properties);
    for (; Inside(at, root) && at != root; at = at.parent_path()) {
        if (!fs::exists(at / "bInterfaceNumber", ec))
            continue;
        const fs::path device = at.parent_path();
        unsigned number = 0;
        if (!ParseHex(ReadLine(device / "idVendor"), &port->vendor) ||
            !ParseHex(ReadLine(device / "idProduct"), &port->product) ||
            !ParseHex(ReadLine(at / "bInterfaceNumber"), &number))
            return false;
        port->number = static_cast<int>(number);
        port->ifClass = HexOr0(ReadLine(at / "bInterfaceClass"));
        port->ifSubClass = HexOr0(ReadLine(at / "bInterfaceSubClass"));
        port->ifProtocol = HexOr0(ReadLine(at / "bInterfaceProtocol"));
        port->label = ReadLine(at / "interface");
        fs::path driver = fs::read_symlink(at / "driver", ec);
        if (!ec)
            port->driver = driver.filename().string();
        port->device = device.string();
        port->plug = PlugOf(port->device, ReadLine(device / "devnum"));
        return true;
    }
    return false;
}

std::vector<fs::path> ClassEntries(const fs::path& folder)
{
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        out.push_back(it->path());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<UsbPort> CollectSysfs(const fs::path& root)
{
    std::vector<UsbPort> ports;
    for (const fs::path& tty : ClassEntries(root / "class" / "tty")) {
        UsbPort port;
        port.kind = UsbPort::kSerial;
        port.name = tty.filename().string();
        if (ComNumberOfTty(port.name) != 0 && FromSysfs(tty, root, &port))
            ports.push_back(std::move(port));
    }
    for (const fs::path& net : ClassEntries(root / "class" / "net")) {
        UsbPort port;
        port.kind = UsbPort::kNetwork;
        port.name = net.filename().string();
        if (FromSysfs(net, root, &port))
            ports.push_back(std::move(port));
    }
    for (const fs::path& block : ClassEntries(root / "class" / "block")) {
        std::error_code ec;
        const fs::path real = fs::canonical(block, ec);
        // .../H:C:T:L/block/srN: the SCSI device is two levels up; type 5 is a CD drive
        if (ec || ReadLine(real.parent_path().parent_path() / "type") != "5")
            continue;
        UsbPort port;
        port.kind = UsbPort::kCdDrive;
        port.name = block.filename().string();
        if (FromSysfs(block, root, &port))
            ports.push_back(std::move(port));
    }
    return ports;
}

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

std::string Text(const char* text) { return text ? text : ""; }

bool FromUdev(udev_device* dev, UsbPort* port)
{
    udev_device* interface = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_interface");
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device");
    if (!interface || !usb)
        return false;
    unsigned number = 0;
    if (!ParseHex(Text(udev_device_get_sysattr_value(usb, "idVendor")), &port->vendor) ||
        !ParseHex(Text(udev_device_get_sysattr_value(usb, "idProduct")), &port->product) ||
        !ParseHex(Text(udev_device_get_sysattr_value(interface, "bInterfaceNumber")), &number))
        return false;
    port->number = static_cast<int>(number);
    port->ifClass = HexOr0(Text(udev_device_get_sysattr_value(interface, "bInterfaceClass")));
    port->ifSubClass = HexOr0(Text(udev_device_get_sysattr_value(interface, "bInterfaceSubClass")));
    port->ifProtocol = HexOr0(Text(udev_device_get_sysattr_value(interface, "bInterfaceProtocol")));
    port->label = Text(udev_device_get_sysattr_value(interface, "interface"));
    while (!port->label.empty() && std::isspace(static_cast<unsigned char>(port->label.back())))
        port->label.pop_back();
    port->driver = Text(udev_device_get_driver(interface));
    port->device = Text(udev_device_get_syspath(usb));
    port->plug = PlugOf(port->device, Text(udev_device_get_sysattr_value(usb, "devnum")));
    port->devnode = Text(udev_device_get_devnode(dev));
    for (udev_list_entry* e = udev_device_get_properties_list_entry(dev); e; e = udev_list_entry_get_next(e))
        port->properties[Text(udev_list_entry_get_name(e))] = Text(udev_list_entry_get_value(e));
    return true;
}

}  // namespace

std::vector<UsbPort> CollectUdev()
{
    std::vector<UsbPort> ports;
    std::unique_ptr<udev, UdevDeleter> u(udev_new());
    if (!u)
        return ports;
    for (const char* subsystem : {"tty", "net", "block"}) {
        std::unique_ptr<udev_enumerate, UdevDeleter> en(udev_enumerate_new(u.get()));
        if (!en)
            continue;
        udev_enumerate_add_match_subsystem(en.get(), subsystem);
        udev_enumerate_scan_devices(en.get());
        for (udev_list_entry* e = udev_enumerate_get_list_entry(en.get()); e; e = udev_list_entry_get_next(e)) {
            std::unique_ptr<udev_device, UdevDeleter> dev(udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(e)));
            if (!dev)
                continue;
            UsbPort port;
            port.name = Text(udev_device_get_sysname(dev.get()));
            const std::string kind = subsystem;
            if (kind == "tty") {
                if (ComNumberOfTty(port.name) == 0)
                    continue;
                port.kind = UsbPort::kSerial;
            } else if (kind == "net") {
                port.kind = UsbPort::kNetwork;
            } else {
                udev_device* scsi = udev_device_get_parent_with_subsystem_devtype(dev.get(), "scsi", "scsi_device");
                if (!scsi || Text(udev_device_get_sysattr_value(scsi, "type")) != "5")
                    continue;
                port.kind = UsbPort::kCdDrive;
            }
            if (FromUdev(dev.get(), &port))
                ports.push_back(std::move(port));
        }
    }
    return ports;
}

std::string PlugOfDevnode(const std::string& devnode)
{
    const std::string name = devnode.substr(devnode.rfind('/') + 1);
    if (devnode.compare(0, 5, "/dev/") != 0 || ComNumberOfTty(name) == 0)
        return {};  // the emulator's terminals have no USB device behind them
    UsbPort port;
    if (std::getenv("KESTLE_SYSFS_ROOT")) {
        std::error_code ec;
        const fs::path root = fs::canonical(SysfsRoot(), ec);
        return !ec && FromSysfs(root / "class" / "tty" / name, root, &port) ? port.plug : std::string();
    }
    std::unique_ptr<udev, UdevDeleter> u(udev_new());
    if (!u)
        return {};
    std::unique_ptr<udev_device, UdevDeleter> dev(udev_device_new_from_subsystem_sysname(u.get(), "tty", name.c_str()));
    return dev && FromUdev(dev.get(), &port) ? port.plug : std::string();
}

int ComNumberOfTty(std::string_view ttyName)
{
    int base;
    if (ttyName.substr(0, 6) == "ttyUSB")
        base = 1;
    else if (ttyName.substr(0, 6) == "ttyACM")
        base = 101;
    else
        return 0;
    const std::string_view digits = ttyName.substr(6);
    if (digits.empty() || digits.size() > 4 || (digits.size() > 1 && digits[0] == '0'))
        return 0;
    int k = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        k = k * 10 + (c - '0');
    }
    if (k < 100)
        return k + base;
    return 2 * k + (base == 1 ? 1 : 2);
}

std::string TtyNameOfCom(int com)
{
    if (com >= 1 && com <= 100)
        return "ttyUSB" + std::to_string(com - 1);
    if (com >= 101 && com <= 200)
        return "ttyACM" + std::to_string(com - 101);
    if (com >= 201 && com <= 2 * 9999 + 2)
        return com % 2 ? "ttyUSB" + std::to_string((com - 1) / 2) : "ttyACM" + std::to_string((com - 2) / 2);
    return {};
}

std::vector<std::string> ListSysfs(const std::string& rootText)
{
    std::error_code ec;
    const fs::path root = fs::canonical(rootText, ec);
    if (ec)
        return {};
    // sysfs trees have no device nodes behind them: nothing to probe
    return BuildListing(CollectSysfs(root), LoadRoleTable(), nullptr);
}

std::vector<std::string> ListUdev()
{
    return BuildListing(CollectUdev(), LoadRoleTable(), [](const UsbPort& port) { return CachedProbe(port); });
}

std::string FindCdDrive(const std::string& rootText, unsigned vendor, unsigned product, std::string* blockName)
{
    std::vector<UsbPort> ports;
    if (std::getenv("KESTLE_SYSFS_ROOT")) {
        std::error_code ec;
        const fs::path root = fs::canonical(rootText, ec);
        if (ec)
            return {};
        ports = CollectSysfs(root);
    } else {
        ports = CollectUdev();
    }
    for (const UsbPort& port : ports) {
        if (port.kind == UsbPort::kCdDrive && port.vendor == vendor && port.product == product) {
            *blockName = port.name;
            return port.device;
        }
    }
    return {};
}

}  // namespace kestle_portlib
