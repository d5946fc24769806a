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
#include <mutex>

#include "platform/portlib/portlib_internal.h"
#include "platform/win/clock.h"

namespace kestle_portlib {
namespace {

constexpr uint32_t kProbeMs = 1000;    // per question of a first probe, device time
constexpr uint32_t kReprobeMs = 400;       // per question of a later one
constexpr uint32_t kListingProbeMs = 1000;  // what a listing may spend on asking silent ports again
constexpr uint32_t kFirstPauseMs = 1000, kLongestPauseMs = 8000;  // program time between probes of a silent port

struct Learnt {
    std::string plug;
    PortRole role = PortRole::Unknown;
    int silent = 0;        // probes in a row that got no answer
    uint32_t retryAt = 0;  // program time of the next probe when silent
};

std::mutex g_probeLock;  // one probe at a time; listings wait for its answer
std::map<std::string, Learnt> g_learnt;  // by devnode
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

// Sends the question, then reads until done says so or the time is up.
template <class Done>
std::string Ask(int fd, const std::string& question, uint32_t waitMs, Done done)
{
    ::tcflush(fd, TCIOFLUSH);
    if (::write(fd, question.data(), question.size()) != static_cast<ssize_t>(question.size()))
        return {};
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutScaledMs(waitMs));
    std::string answer;
    char chunk[512];
    while (!done(answer) && answer.size() < 4096) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0 || (p.revents & (POLLERR | POLLNVAL)))
            break;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0)
            answer.append(chunk, static_cast<size_t>(n));
        else if (n == 0 && (p.revents & POLLHUP))
            break;
        else if (n == 0)
            ::poll(nullptr, 0, 10);
    }
    return answer;
}

bool AtAnswered(const std::string& text)
{
    return text.find("\r\nOK\r\n") != std::string::npos || text.compare(0, 4, "OK\r\n") == 0 ||
           text.find("\rOK\r\n") != std::string::npos;
}

// True when another process has the tty open (one of this user's, or any for
// root: /proc shows only those). Our own process knows its descriptors.
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

// Unknown with *busy set when the port could not be had or another program has it.
PortRole Probe(const std::string& devnode, uint32_t waitMs, bool* busy)
{
    *busy = false;
    const int fd = OpenSerialDevice(devnode);
    if (fd < 0) {
        *busy = true;
        return PortRole::Unknown;
    }
    // our open passed the flock; the tty may still be another program's:
    // exclusive (root passes TIOCEXCL), or open without any lock
    int exclusive = 0;
    if ((::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) || OpenElsewhere(fd)) {
        ::close(fd);  // the exclusive flag is theirs: left as it is
        *busy = true;
        DebugLine("KESTLE: " + devnode + ": open in another program: not probed\n");
        return PortRole::Unknown;
    }
    ::ioctl(fd, TIOCEXCL);
    ++g_probes;
    PortRole role = PortRole::Unknown;
    const std::string at =
        Ask(fd, "AT\r", waitMs, [](const std::string& a) { return AtAnswered(a) || HasNmeaSentence(a); });
    if (AtAnswered(at))
        role = PortRole::At;
    else if (HasNmeaSentence(at))
        role = PortRole::Gps;
    else if (CrcValidFrame(Ask(fd, Frame(std::string(1, '\0')), waitMs,
                               [](const std::string& a) { return DiagReplyComplete(a); })))
        role = PortRole::Diag;  // a version request; any CRC-valid answer will do
    ::tcflush(fd, TCIOFLUSH);
    CloseSerialDevice(fd);
    DebugLine("KESTLE: probed " + devnode + ": " +
              (role == PortRole::At ? "AT" : role == PortRole::Gps ? "GPS" : role == PortRole::Diag ? "DIAG" : "no answer") +
              "\n");
    return role;
}

}  // namespace

PortRole CachedProbe(const UsbPort& port, ProbeBudget* budget)
{
    if (port.devnode.empty())
        return PortRole::Unknown;
    std::lock_guard<std::mutex> hold(g_probeLock);
    auto it = g_learnt.find(port.devnode);
    const bool again = it != g_learnt.end() && it->second.plug == port.plug;
    if (again && (it->second.role != PortRole::Unknown || static_cast<int32_t>(GetTickCount() - it->second.retryAt) < 0))
        return it->second.role;
    // a port first seen is always probed; asking silent ones again stays
    // within the listing's budget, so the watch threads keep their pace
    using Clock = std::chrono::steady_clock;
    const auto budgetLeft = [&] {
        // a silent port costs both questions
        return !budget || budget->start == Clock::time_point{} ||
               Clock::now() - budget->start < std::chrono::milliseconds(TimeoutScaledMs(kListingProbeMs - 2 * kReprobeMs));
    };
    if (again && !budgetLeft())
        return PortRole::Unknown;
    if (SerialDeviceOpen(port.devnode, port.plug))
        return PortRole::Unknown;  // ours and in use: never disturbed
    if (budget && budget->start == Clock::time_point{})
        budget->start = Clock::now();
    bool busy = false;
    const PortRole role = Probe(port.devnode, again ? kReprobeMs : kProbeMs, &busy);
    if (busy)
        return role;  // asked again on the next listing
    Learnt& learnt = g_learnt[port.devnode];
    learnt.silent = again ? learnt.silent + 1 : 1;
    learnt.plug = port.plug;
    learnt.role = role;
    const uint32_t pause = std::min<uint32_t>(kFirstPauseMs << std::min(learnt.silent - 1, 3), kLongestPauseMs);
    learnt.retryAt = GetTickCount() + pause;
    return role;
}

int ProbeCount() { return g_probes; }

}  // namespace kestle_portlib
