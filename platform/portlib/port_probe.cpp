// Probing a serial port nothing else names: does it answer AT, stream NMEA
// sentences, or give a CRC-valid DIAG answer? A role a probe found is kept
// for the port's plug-in, so the once-a-second listings never probe it again;
// "no answer" is asked again with a growing pause, as a modem that was just
// plugged in or switched may take seconds before it answers.
#include <dirent.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "platform/portlib/portlib_internal.h"
#include "platform/win/clock.h"

namespace kestle_portlib {
namespace {

// A probe is one window: "AT\r" first, then, when nothing answered it by
// half the window, the DIAG question; an answer to either counts to the end.
constexpr uint32_t kProbeMs = 1000;   // the window of a first probe, device time
constexpr uint32_t kReprobeMs = 800;  // of a later one
constexpr uint32_t kFirstPauseMs = 1000;  // program time before a silent port is asked again; doubles
constexpr int kRetries = 4;               // then the port is left alone

struct Learnt {
    std::string plug;
    PortRole role = PortRole::Unknown;
    int silent = 0;        // probes in a row that got no answer
    uint32_t retryAt = 0;  // program time of the next probe when silent
};

std::mutex g_learntLock;  // held only to read or write the table, never during a probe
std::map<std::string, Learnt> g_learnt;  // by devnode
std::map<std::string, std::shared_ptr<std::mutex>> g_probing;  // by devnode: one probe of a port at a time
std::atomic<int> g_probes{0};

uint16_t Crc16X25(const std::string& data)
{
    uint16_t crc = 0xFFFF;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
    }
    return static_cast<uint16_t>(~crc);
}

std::string Frame(const std::string& packet)
{
    const uint16_t crc = Crc16X25(packet);
    const std::string raw = packet + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8);
    std::string out;
    for (char c : raw) {
        if (c == '\x7E' || c == '\x7D') {
            out += '\x7D';
            out += static_cast<char>(c ^ 0x20);
        } else {
            out += c;
        }
    }
    return out + '\x7E';
}

bool CrcValidFrame(std::string_view reply)
{
    const size_t start = reply.find_first_not_of('\x7E');
    if (start == std::string_view::npos)
        return false;
    const size_t end = reply.find('\x7E', start);
    if (end == std::string_view::npos)
        return false;
    std::string packet;
    for (size_t i = start; i < end; ++i) {
        if (reply[i] == '\x7D' && i + 1 < end)
            packet += static_cast<char>(reply[++i] ^ 0x20);
        else
            packet += reply[i];
    }
    if (packet.size() < 3)
        return false;
    const uint16_t crc = Crc16X25(packet.substr(0, packet.size() - 2));
    return static_cast<unsigned char>(packet[packet.size() - 2]) == (crc & 0xFF) &&
           static_cast<unsigned char>(packet[packet.size() - 1]) == (crc >> 8);
}

bool HasNmeaSentence(const std::string& text)
{
    for (size_t at = text.find('$'); at != std::string::npos && at + 6 <= text.size(); at = text.find('$', at + 1)) {
        if (text[at + 1] == 'G' && std::isupper(static_cast<unsigned char>(text[at + 2])) &&
            std::isupper(static_cast<unsigned char>(text[at + 3])))
            return true;
    }
    return false;
}

bool AtAnswered(const std::string& text)
{
    return text.find("\r\nOK\r\n") != std::string::npos || text.compare(0, 4, "OK\r\n") == 0 ||
           text.find("\rOK\r\n") != std::string::npos;
}

}  // namespace

bool OpenElsewhere(int fd)
{
    struct stat mine;
    if (::fstat(fd, &mine) != 0)
        return false;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    const std::string self = std::to_string(::getpid());
    bool found = false;
    while (dirent* process = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(process->d_name[0])) || self == process->d_name)
            continue;
        const std::string fds = std::string("/proc/") + process->d_name + "/fd";
        DIR* dir = ::opendir(fds.c_str());
        if (!dir)
            continue;  // another user's, or gone
        while (dirent* entry = ::readdir(dir)) {
            const std::string link = fds + "/" + entry->d_name;
            char target[16];
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
            struct stat st;
            // only links to device files can be the tty
            if (n < 5 || std::string_view(target, 5) != "/dev/" || ::stat(link.c_str(), &st) != 0)
                continue;
            if (st.st_dev == mine.st_dev && st.st_ino == mine.st_ino) {
                found = true;
                break;
            }
        }
        ::closedir(dir);
        if (found)
            break;
    }
    ::closedir(proc);
    return found;
}

namespace {

PortRole Judge(const std::string& answer, size_t diagFrom)
{
    if (AtAnswered(answer))
        return PortRole::At;
    if (HasNmeaSentence(answer))
        return PortRole::Gps;
    // a version request; any CRC-valid answer will do (some answer "AT" with an error frame)
    if (CrcValidFrame(answer) || (diagFrom < answer.size() && CrcValidFrame(answer.substr(diagFrom))))
        return PortRole::Diag;
    return PortRole::Unknown;
}

// Asks the two questions within one window on an open tty.
PortRole ProbeOn(int fd, uint32_t windowMs)
{
    ++g_probes;
    ::tcflush(fd, TCIOFLUSH);
    const std::string at = "AT\r";
    if (::write(fd, at.data(), at.size()) != static_cast<ssize_t>(at.size()))
        return PortRole::Unknown;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto half = start + std::chrono::milliseconds(TimeoutScaledMs(windowMs / 2));
    const auto deadline = start + std::chrono::milliseconds(TimeoutScaledMs(windowMs));
    std::string answer;
    size_t diagFrom = std::string::npos;
    char chunk[512];
    PortRole role = PortRole::Unknown;
    while ((role = Judge(answer, diagFrom)) == PortRole::Unknown && answer.size() < 4096) {
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        if (diagFrom == std::string::npos && now >= half) {
            diagFrom = answer.size();
            const std::string diag = Frame(std::string(1, '\0'));
            if (::write(fd, diag.data(), diag.size()) != static_cast<ssize_t>(diag.size()))
                break;
        }
        const auto until = diagFrom == std::string::npos ? half : deadline;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1)));
        if (ready < 0 || (ready > 0 && (p.revents & (POLLERR | POLLNVAL))))
            break;
        if (ready == 0)
            continue;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0)
            answer.append(chunk, static_cast<size_t>(n));
        else if (n == 0 && (p.revents & POLLHUP))
            break;
        else if (n == 0)
            ::poll(nullptr, 0, 10);
    }
    ::tcflush(fd, TCIOFLUSH);
    return role;
}

const char* RoleWord(PortRole role)
{
    return role == PortRole::At ? "AT" : role == PortRole::Gps ? "GPS" : role == PortRole::Diag ? "DIAG" : "no answer";
}

// Unknown with *busy set when the port could not be had or another program has it.
PortRole Probe(const UsbPort& port, uint32_t windowMs, bool* busy)
{
    *busy = false;
    PortRole role = PortRole::Unknown;
    // ours already (a tool opened it before its first listing): asked through our descriptor
    if (SerialDeviceOpen(port.devnode, port.plug) &&
        ProbeHeldPort(port.devnode, port.plug, [&](int fd) { role = ProbeOn(fd, windowMs); })) {
        DebugLine("KESTLE: probed " + port.devnode + " (open here): " + RoleWord(role) + "\n");
        return role;
    }
    const int fd = OpenSerialDevice(port.devnode, true);
    if (fd < 0) {
        *busy = true;
        return PortRole::Unknown;
    }
    role = ProbeOn(fd, windowMs);
    CloseSerialDevice(fd);
    DebugLine("KESTLE: probed " + port.devnode + ": " + RoleWord(role) + "\n");
    return role;
}

}  // namespace

PortRole CachedProbe(const UsbPort& port)
{
    if (port.devnode.empty())
        return PortRole::Unknown;
    std::shared_ptr<std::mutex> portLock;
    {
        std::lock_guard<std::mutex> hold(g_learntLock);
        auto& slot = g_probing[port.devnode];
        if (!slot)
            slot = std::make_shared<std::mutex>();
        portLock = slot;
    }
    // a second listing waits for the probe of this port in progress and takes its answer
    std::lock_guard<std::mutex> probing(*portLock);
    bool again = false;
    {
        std::lock_guard<std::mutex> hold(g_learntLock);
        auto it = g_learnt.find(port.devnode);
        again = it != g_learnt.end() && it->second.plug == port.plug;
        if (again && (it->second.role != PortRole::Unknown || it->second.silent > kRetries ||
                      static_cast<int32_t>(GetTickCount() - it->second.retryAt) < 0))
            return it->second.role;
    }
    bool busy = false;
    const PortRole role = Probe(port, again ? kReprobeMs : kProbeMs, &busy);
    if (busy)
        return role;  // asked again on the next listing
    std::lock_guard<std::mutex> hold(g_learntLock);
    Learnt& learnt = g_learnt[port.devnode];
    learnt.silent = again && role == PortRole::Unknown ? learnt.silent + 1 : role == PortRole::Unknown ? 1 : 0;
    learnt.plug = port.plug;
    learnt.role = role;
    learnt.retryAt = GetTickCount() + (kFirstPauseMs << std::min(std::max(learnt.silent - 1, 0), kRetries - 1));
    if (role != PortRole::Unknown) {
        // a device that begins to answer may have woken its other ports: a
        // port left alone gets one more round
        for (auto& [devnode, other] : g_learnt) {
            if (other.plug == port.plug && other.silent > kRetries) {
                other.silent = 1;
                other.retryAt = GetTickCount();
            }
        }
    }
    return role;
}

int ProbeCount() { return g_probes; }

}  // namespace kestle_portlib
