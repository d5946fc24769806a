// The listing of the real back end, built from sysfs: USB serial interfaces,
// USB network interfaces of the RNDIS/CDC kind and USB CD drives.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/portlib/portlib_internal.h"

namespace fs = std::filesystem;

namespace kestle_portlib {
namespace {

enum class Role { Unknown, Diag, At, Modem };

// Interfaces that do not name themselves: (vendor, product, interface number).
struct RoleRow {
    unsigned vendor;
    unsigned product;
    int interfaceNumber;
    Role role;
};
constexpr RoleRow kRoleTable[] = {
    {0xABCD, 0x0125, 0, Role::Diag},
    {0xABCD, 0x0125, 1, Role::At},
    {0xABCD, 0x0125, 2, Role::Modem},
};

struct UsbInterface {
    bool found = false;
    unsigned vendor = 0;
    unsigned product = 0;
    int number = -1;
    std::string label;   // the interface string, may be empty
    std::string driver;  // base name of the bound driver
    fs::path device;     // the USB device folder (idVendor)
};

std::string ReadLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
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

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
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

// Walks up from a class entry to its USB interface and device.
UsbInterface FindUsbInterface(const fs::path& classEntry, const fs::path& root)
{
    UsbInterface found;
    std::error_code ec;
    fs::path at = fs::canonical(classEntry, ec);
    if (ec)
        return found;
    for (; Inside(at, root) && at != root; at = at.parent_path()) {
        if (!fs::exists(at / "bInterfaceNumber", ec))
            continue;
        const fs::path device = at.parent_path();
        if (!ParseHex(ReadLine(device / "idVendor"), &found.vendor) ||
            !ParseHex(ReadLine(device / "idProduct"), &found.product))
            return found;
        unsigned number = 0;
        if (!ParseHex(ReadLine(at / "bInterfaceNumber"), &number))
            return found;
        found.number = static_cast<int>(number);
        found.label = ReadLine(at / "interface");
        fs::path driver = fs::read_symlink(at / "driver", ec);
        if (!ec)
            found.driver = driver.filename().string();
        found.device = device;
        found.found = true;
        return found;
    }
    return found;
}

bool HasWord(const std::string& lowerText, std::string_view word)
{
    for (size_t at = lowerText.find(word); at != std::string::npos; at = lowerText.find(word, at + 1)) {
        const bool startOk = at == 0 || !std::isalnum(static_cast<unsigned char>(lowerText[at - 1]));
        const size_t end = at + word.size();
        const bool endOk = end == lowerText.size() || !std::isalnum(static_cast<unsigned char>(lowerText[end]));
        if (startOk && endOk)
            return true;
    }
    return false;
}

Role RoleOf(const UsbInterface& usb)
{
    const std::string label = Lower(usb.label);
    if (label.find("diag") != std::string::npos)
        return Role::Diag;
    if (label.find("nmea") != std::string::npos || HasWord(label, "at"))
        return Role::At;
    if (label.find("modem") != std::string::npos)
        return Role::Modem;
    for (const RoleRow& row : kRoleTable) {
        if (row.vendor == usb.vendor && row.product == usb.product && row.interfaceNumber == usb.number)
            return row.role;
    }
    if (usb.driver == "cdc_acm")
        return Role::Modem;
    return Role::Unknown;
}

// Device-given words go into an entry only when they cannot be mistaken for
// one of the words the callers search for.
std::string SafeWord(const std::string& text)
{
    const std::string lower = Lower(text);
    for (const char* word : {"at", "com", "diag", "modem", "nmea", "pid_", "vid_", "rndis", "mass storage",
                             "windows mobile"}) {
        if (lower.find(word) != std::string::npos)
            return {};
    }
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-')
            return {};
    }
    return text;
}

std::string UsbId(const UsbInterface& usb, bool withInterface)
{
    char text[48];
    if (withInterface)
        std::snprintf(text, sizeof text, "USB\\VID_%04X&PID_%04X&MI_%02X", usb.vendor & 0xFFFF,
                      usb.product & 0xFFFF, static_cast<unsigned>(usb.number) & 0xFF);
    else
        std::snprintf(text, sizeof text, "USB\\VID_%04X&PID_%04X", usb.vendor & 0xFFFF, usb.product & 0xFFFF);
    return text;
}

std::string SerialEntry(const UsbInterface& usb, int com)
{
    std::string entry;
    switch (RoleOf(usb)) {
    case Role::Diag: entry = "Diagnostics Interface"; break;
    case Role::At: entry = "USB nmea UI AT Interface"; break;
    case Role::Modem: entry = "USB Modem"; break;
    case Role::Unknown: entry = "USB Serial Port"; break;
    }
    entry += " (COM" + std::to_string(com) + ") ";
    const std::string driver = SafeWord(usb.driver);
    if (!driver.empty())
        entry += driver + " ";
    return entry + UsbId(usb, true);
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

bool IsNetworkCardDriver(const std::string& driver)
{
    return driver == "rndis_host" || driver == "cdc_ether" || driver == "cdc_ncm";
}

// The CD drives (SCSI type 5) below USB devices: (block name, USB interface).
std::vector<std::pair<std::string, UsbInterface>> CdDrives(const fs::path& root)
{
    std::vector<std::pair<std::string, UsbInterface>> out;
    for (const fs::path& block : ClassEntries(root / "class" / "block")) {
        const std::string name = block.filename().string();
        std::error_code ec;
        const fs::path real = fs::canonical(block, ec);
        if (ec)
            continue;
        // .../H:C:T:L/block/srN: the SCSI device is two levels up
        if (ReadLine(real.parent_path().parent_path() / "type") != "5")
            continue;
        UsbInterface usb = FindUsbInterface(block, root);
        if (usb.found)
            out.emplace_back(name, usb);
    }
    return out;
}

}  // namespace

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
    if (digits.empty() || digits.size() > 4)
        return 0;
    int k = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        k = k * 10 + (c - '0');
    }
    return k + base;
}

std::string TtyNameOfCom(int com)
{
    if (com >= 1 && com <= 100)
        return "ttyUSB" + std::to_string(com - 1);
    if (com >= 101 && com <= 9999 + 101)
        return "ttyACM" + std::to_string(com - 101);
    return {};
}

std::vector<std::string> ListSysfs(const std::string& rootText)
{
    std::vector<std::string> entries;
    std::error_code ec;
    const fs::path root = fs::canonical(rootText, ec);
    if (ec)
        return entries;

    std::vector<std::pair<int, std::string>> serial;
    for (const fs::path& tty : ClassEntries(root / "class" / "tty")) {
        const int com = ComNumberOfTty(tty.filename().string());
        if (com == 0)
            continue;
        UsbInterface usb = FindUsbInterface(tty, root);
        if (usb.found)
            serial.emplace_back(com, SerialEntry(usb, com));
    }
    std::sort(serial.begin(), serial.end());
    for (auto& s : serial)
        entries.push_back(std::move(s.second));

    for (const fs::path& net : ClassEntries(root / "class" / "net")) {
        UsbInterface usb = FindUsbInterface(net, root);
        if (usb.found && IsNetworkCardDriver(usb.driver))
            entries.push_back("Windows Mobile-based Internet Sharing Device usb_rndisx " + UsbId(usb, true));
    }

    for (const auto& cd : CdDrives(root))
        entries.push_back("USB Mass Storage Device CD-ROM " + UsbId(cd.second, false));
    return entries;
}

std::string FindCdDrive(const std::string& rootText, unsigned vendor, unsigned product, std::string* blockName)
{
    std::error_code ec;
    const fs::path root = fs::canonical(rootText, ec);
    if (ec)
        return {};
    for (const auto& cd : CdDrives(root)) {
        if (cd.second.vendor == vendor && cd.second.product == product) {
            *blockName = cd.first;
            return cd.second.device.string();
        }
    }
    return {};
}

}  // namespace kestle_portlib
