// Which USB devices are the modem and what each serial interface of it is.
// A role comes, in this order of trust, from udev's port-type hints, the
// interface string, the role table (built in, then the XDG config files)
// and last from a probe of the port.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <tuple>
#include <sstream>
#include <thread>

#include "platform/portlib/portlib_internal.h"

namespace kestle_portlib {
namespace {

constexpr const char* kTableFile = "kestle/port-roles.conf";

// The tools' own modems; a packager adds others in the table files.
const RoleRow kBuiltInRows[] = {
    {0xABCD, -1, -1, PortRole::Unknown, true},
    {0xABCD, 0x0125, 0, PortRole::Diag, false},
    {0xABCD, 0x0125, 1, PortRole::At, false},
    {0xABCD, 0x0125, 2, PortRole::Modem, false},
};

// USB serial drivers that bind to modems only.
const std::set<std::string> kModemSerialDrivers = {"option", "qcserial", "sierra", "qcaux", "zte_ev", "GobiSerial"};

bool IsNetworkCardDriver(const std::string& driver)
{
    return driver == "rndis_host" || driver == "cdc_ether" || driver == "cdc_ncm";
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
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

bool Flag(const UsbPort& port, const char* key)
{
    auto it = port.properties.find(key);
    return it != port.properties.end() && it->second == "1";
}

// What udev was told about the port (the modem manager daemon's rules).
PortRole HintRole(const UsbPort& port)
{
    if (Flag(port, "ID_MM_PORT_IGNORE"))
        return PortRole::Ignore;
    if (Flag(port, "ID_MM_PORT_TYPE_GPS"))
        return PortRole::Gps;
    if (Flag(port, "ID_MM_PORT_TYPE_QCDM"))
        return PortRole::Diag;
    if (Flag(port, "ID_MM_PORT_TYPE_AT_PRIMARY") || Flag(port, "ID_MM_PORT_TYPE_AT"))
        return PortRole::At;
    if (Flag(port, "ID_MM_PORT_TYPE_AT_SECONDARY") || Flag(port, "ID_MM_PORT_TYPE_AT_PPP"))
        return PortRole::Modem;
    return PortRole::Unknown;
}

// The interface string; a GPS stream ("NMEA") is never an AT port.
PortRole LabelRole(const UsbPort& port)
{
    const std::string label = Lower(port.label);
    if (label.find("diag") != std::string::npos || label.find("qcdm") != std::string::npos)
        return PortRole::Diag;
    if (label.find("nmea") != std::string::npos || HasWord(label, "gps") || HasWord(label, "gnss"))
        return PortRole::Gps;
    if (HasWord(label, "at"))
        return PortRole::At;
    if (label.find("modem") != std::string::npos || HasWord(label, "ppp"))
        return PortRole::Modem;
    return PortRole::Unknown;
}

bool RowMatches(const RoleRow& row, const UsbPort& port)
{
    return row.vendor == port.vendor && (row.product < 0 || static_cast<unsigned>(row.product) == port.product);
}

// The last matching row with a role wins (user rows come after packager rows).
PortRole TableRole(const UsbPort& port, const std::vector<RoleRow>& table)
{
    PortRole role = PortRole::Unknown;
    for (const RoleRow& row : table) {
        if (!row.deviceOnly && RowMatches(row, port) && (row.number < 0 || row.number == port.number))
            role = row.role;
    }
    return role;
}

bool ParseHexId(const std::string& text, unsigned* value)
{
    if (text.empty() || text.size() > 4)
        return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 16);
    if (*end || !std::isxdigit(static_cast<unsigned char>(text[0])))
        return false;
    *value = static_cast<unsigned>(v);
    return true;
}

bool ParseRole(const std::string& word, RoleRow* row)
{
    const std::string w = Lower(word);
    row->deviceOnly = false;
    if (w == "diag")
        row->role = PortRole::Diag;
    else if (w == "at")
        row->role = PortRole::At;
    else if (w == "modem")
        row->role = PortRole::Modem;
    else if (w == "gps" || w == "nmea")
        row->role = PortRole::Gps;
    else if (w == "ignore")
        row->role = PortRole::Ignore;
    else if (w == "device")
        row->deviceOnly = true;
    else
        return false;
    return true;
}

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

std::string UsbId(const UsbPort& port, bool withInterface)
{
    char text[48];
    if (withInterface)
        std::snprintf(text, sizeof text, "USB\\VID_%04X&PID_%04X&MI_%02X", port.vendor & 0xFFFF,
                      port.product & 0xFFFF, static_cast<unsigned>(port.number) & 0xFF);
    else
        std::snprintf(text, sizeof text, "USB\\VID_%04X&PID_%04X", port.vendor & 0xFFFF, port.product & 0xFFFF);
    return text;
}

std::string SerialEntry(const UsbPort& port, PortRole role, int com)
{
    std::string entry;
    switch (role) {
    case PortRole::Diag: entry = "Diagnostics Interface"; break;
    case PortRole::At: entry = "USB nmea UI AT Interface"; break;
    case PortRole::Modem: entry = "USB Modem"; break;
    case PortRole::Gps: entry = "USB GPS Port"; break;
    default: entry = "USB Serial Port"; break;
    }
    entry += " (COM" + std::to_string(com) + ") ";
    const std::string driver = SafeWord(port.driver);
    if (!driver.empty())
        entry += driver + " ";
    return entry + UsbId(port, true);
}

}  // namespace

std::vector<RoleRow> ParseRoleTable(const std::string& text)
{
    std::vector<RoleRow> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string vendor, product, number, role, extra;
        if (!(words >> vendor >> product >> number >> role) || (words >> extra))
            continue;
        RoleRow row;
        unsigned value = 0;
        if (!ParseHexId(vendor, &row.vendor))
            continue;
        if (product != "*") {
            if (!ParseHexId(product, &value))
                continue;
            row.product = static_cast<int>(value);
        }
        if (number != "*") {
            if (number.size() > 2 || !ParseHexId(number, &value))
                continue;
            row.number = static_cast<int>(value);
        }
        if (!ParseRole(role, &row))
            continue;
        rows.push_back(row);
    }
    return rows;
}

std::vector<RoleRow> LoadRoleTable()
{
    std::vector<RoleRow> table(std::begin(kBuiltInRows), std::end(kBuiltInRows));
    std::vector<std::string> folders;
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string list = dirs && *dirs ? dirs : "/etc/xdg";
    for (size_t start = 0; start <= list.size();) {
        const size_t end = std::min(list.find(':', start), list.size());
        if (end > start)
            folders.insert(folders.begin(), list.substr(start, end - start));  // the first folder wins
        start = end + 1;
    }
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (configHome && *configHome)
        folders.push_back(configHome);
    else if (home && *home)
        folders.push_back(std::string(home) + "/.config");
    for (const std::string& folder : folders) {
        std::string text;
        if (ReadLibraryFile(folder + "/" + kTableFile, &text))
            for (const RoleRow& row : ParseRoleTable(text))
                table.push_back(row);
    }
    return table;
}

std::vector<std::string> BuildListing(const std::vector<UsbPort>& ports, const std::vector<RoleRow>& table,
                                      const Prober& probe)
{
    std::map<std::string, std::vector<const UsbPort*>> devices;
    for (const UsbPort& port : ports)
        devices[port.device].push_back(&port);

    struct Serial {
        int rank;
        int com;
        std::string entry;
    };
    std::vector<Serial> serial;
    std::vector<std::pair<std::pair<int, std::string>, std::string>> network, cdDrives;

    for (auto& [key, members] : devices) {
        const UsbPort& first = *members.front();
        // named by the table, or by the udev rule of the library (KESTLE_MODEM)
        bool named = false;
        for (const RoleRow& row : table)
            named = named || RowMatches(row, first);
        for (const UsbPort* port : members)
            named = named || Flag(*port, "KESTLE_MODEM");
        bool ignored = false, hasNet = false, hasCd = false, hasAcm = false, evidence = named;
        std::map<const UsbPort*, PortRole> roles;
        for (const UsbPort* port : members) {
            ignored = ignored || Flag(*port, "ID_MM_DEVICE_IGNORE");
            if (port->kind == UsbPort::kNetwork && IsNetworkCardDriver(port->driver))
                hasNet = true;
            if (port->kind == UsbPort::kCdDrive)
                hasCd = true;
            if (port->kind != UsbPort::kSerial)
                continue;
            hasAcm = hasAcm || port->driver == "cdc_acm";
            PortRole role = HintRole(*port);
            if (role == PortRole::Unknown)
                role = LabelRole(*port);
            if (role != PortRole::Unknown && role != PortRole::Ignore)
                evidence = true;
            if (role == PortRole::Unknown)
                role = TableRole(*port, table);
            if (kModemSerialDrivers.count(port->driver))
                evidence = true;
            roles[port] = role;
        }
        // a network card with a CD drive (the modem in network-card mode), or a
        // cdc_acm port beside a network card of the same device
        evidence = evidence || (hasNet && hasCd) || (hasNet && hasAcm);
        if (!evidence || (ignored && !named))
            continue;  // another USB device: a phone, an adapter, a drive, a board

        // probe what nothing else named; of the ports that answer AT the first
        // is the AT port, the others are modem ports
        bool haveAt = false;
        for (auto& [port, role] : roles)
            haveAt = haveAt || role == PortRole::At;
        std::vector<const UsbPort*> serialPorts;
        for (auto& [port, role] : roles)
            serialPorts.push_back(port);
        std::sort(serialPorts.begin(), serialPorts.end(),
                  [](const UsbPort* a, const UsbPort* b) { return ComNumberOfTty(a->name) < ComNumberOfTty(b->name); });
        std::vector<const UsbPort*> unnamed;
        for (const UsbPort* port : serialPorts) {
            if (roles[port] == PortRole::Unknown && probe)
                unnamed.push_back(port);
        }
        // each port is a tty of its own: a silent one costs its wait once, not
        // once per port
        std::vector<PortRole> found(unnamed.size(), PortRole::Unknown);
        if (unnamed.size() == 1) {
            found[0] = probe(*unnamed[0]);
        } else {
            std::vector<std::thread> askers;
            for (size_t i = 0; i < unnamed.size(); ++i)
                askers.emplace_back([&, i] { found[i] = probe(*unnamed[i]); });
            for (std::thread& asker : askers)
                asker.join();
        }
        for (size_t i = 0; i < unnamed.size(); ++i) {
            PortRole& role = roles[unnamed[i]];
            role = found[i];
            if (role == PortRole::At) {
                if (haveAt)
                    role = PortRole::Modem;
                haveAt = true;
            }
        }

        const int rank = named ? 0 : 1;
        for (const UsbPort* port : members) {
            switch (port->kind) {
            case UsbPort::kSerial: {
                const int com = ComNumberOfTty(port->name);
                serial.push_back({rank, com, SerialEntry(*port, roles[port], com)});
                break;
            }
            case UsbPort::kNetwork:
                if (IsNetworkCardDriver(port->driver))
                    network.push_back({{rank, port->name},
                                       "Windows Mobile-based Internet Sharing Device usb_rndisx " + UsbId(*port, true)});
                break;
            case UsbPort::kCdDrive:
                cdDrives.push_back({{rank, port->name}, "USB Mass Storage Device CD-ROM " + UsbId(*port, false)});
                break;
            }
        }
    }
    std::sort(serial.begin(), serial.end(),
              [](const Serial& a, const Serial& b) { return std::tie(a.rank, a.com) < std::tie(b.rank, b.com); });
    std::sort(network.begin(), network.end());
    std::sort(cdDrives.begin(), cdDrives.end());
    std::vector<std::string> entries;
    for (Serial& s : serial)
        entries.push_back(std::move(s.entry));
    for (auto& n : network)
        entries.push_back(std::move(n.second));
    for (auto& c : cdDrives)
        entries.push_back(std::move(c.second));
    return entries;
}

}  // namespace kestle_portlib
