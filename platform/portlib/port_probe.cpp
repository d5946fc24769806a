// Probing a serial port nothing else names: does it answer AT, stream NMEA
// sentences, or give a CRC-valid DIAG answer? What a probe learnt is kept per
// port and plug-in, so the once-a-second listings never probe it again.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/portlib/portlib_internal.h"
#include "platform/win/clock.h"

namespace kestle_portlib {
namespace {

constexpr uint32_t kProbeMs = 1000;  // per question, device time

std::mutex g_probeLock;  // one probe at a time; listings wait for its answer
std::map<std::string, std::pair<std::string, PortRole>> g_learnt;  // devnode: plug, role
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
std::string Ask(int fd, const std::string& question, Done done)
{
    ::tcflush(fd, TCIOFLUSH);
    if (::write(fd, question.data(), question.size()) != static_cast<ssize_t>(question.size()))
        return {};
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutScaledMs(kProbeMs));
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

// Unknown with *busy set when the port could not be had.
PortRole Probe(const std::string& devnode, bool* busy)
{
    *busy = false;
    const int fd = OpenSerialDevice(devnode);
    if (fd < 0) {
        *busy = true;
        return PortRole::Unknown;
    }
    ++g_probes;
    PortRole role = PortRole::Unknown;
    const std::string at = Ask(fd, "AT\r", [](const std::string& a) { return AtAnswered(a) || HasNmeaSentence(a); });
    if (AtAnswered(at))
        role = PortRole::At;
    else if (HasNmeaSentence(at))
        role = PortRole::Gps;
    else if (CrcValidFrame(Ask(fd, Frame(std::string(1, '\0')), [](const std::string& a) { return DiagReplyComplete(a); })))
        role = PortRole::Diag;  // a version request; any CRC-valid answer will do
    ::tcflush(fd, TCIOFLUSH);
    ::close(fd);
    DebugLine("KESTLE: probed " + devnode + ": " +
              (role == PortRole::At ? "AT" : role == PortRole::Gps ? "GPS" : role == PortRole::Diag ? "DIAG" : "no answer") +
              "\n");
    return role;
}

}  // namespace

PortRole CachedProbe(const UsbPort& port)
{
    if (port.devnode.empty())
        return PortRole::Unknown;
    std::lock_guard<std::mutex> hold(g_probeLock);
    auto it = g_learnt.find(port.devnode);
    if (it != g_learnt.end() && it->second.first == port.plug)
        return it->second.second;
    if (SerialDeviceOpen(port.devnode))
        return PortRole::Unknown;  // ours and in use: never disturbed
    bool busy = false;
    const PortRole role = Probe(port.devnode, &busy);
    if (!busy)
        g_learnt[port.devnode] = {port.plug, role};
    return role;
}

int ProbeCount() { return g_probes; }

}  // namespace kestle_portlib
