// AT and DIAG ports: ttys (or the emulator's pseudo-terminals) in raw mode.
// A port stays open from KestleInitPort to KestleClosePort; an exchange
// returns as soon as the reply is complete, else at its timeout.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/portlib/portlib_internal.h"

namespace kestle_portlib {
namespace {

struct SerialPort {
    std::mutex lock;  // one exchange at a time on a port
    int fd = -1;
    std::string path;
    dev_t device = 0;         // the tty the path named when it was opened
    std::string plug;         // the USB device's plug-in the tty belonged to then
    std::string lastRequest;  // the last text sent, for the follow-up read's end rule
    bool scanListRead = false;  // the scan's "+COPS: " list came in an earlier read
    std::string pending;      // bytes read behind a DIAG answer, for a follow-up read
};

std::mutex g_portsLock;
std::map<int, std::shared_ptr<SerialPort>> g_ports;  // by COM number
std::map<std::string, std::string> g_held;  // devnode: plug, of every open descriptor (under g_portsLock)

// Every descriptor that has set a tty's exclusive flag, ports and probes
// alike: the program's end clears the flag of each (a descriptor is closed
// only after it left the set, so the end never touches a reused number).
std::mutex g_exclusiveLock;
std::set<int> g_exclusive;

std::string PathOfCom(int com)
{
    const std::string dir = DeviceDir();
    if (!dir.empty())
        return dir + "/COM" + std::to_string(com);
    const std::string tty = TtyNameOfCom(com);
    return tty.empty() ? std::string() : "/dev/" + tty;
}

void CloseFd(SerialPort& port)
{
    if (port.fd >= 0) {
        CloseSerialDevice(port.fd);
        std::lock_guard<std::mutex> guard(g_portsLock);
        g_held.erase(port.path);
    }
    port.fd = -1;
    port.pending.clear();
}

bool Healthy(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

std::shared_ptr<SerialPort> FindPort(int com)
{
    std::lock_guard<std::mutex> guard(g_portsLock);
    auto it = g_ports.find(com);
    return it == g_ports.end() ? nullptr : it->second;
}

bool LineStartsAt(std::string_view reply, size_t i)
{
    return i == 0 || reply[i - 1] == '\n' || (reply[i - 1] == '\r' && reply[i] != '\n');
}

// Line starts at which a final result code may stand: the reply start and
// after every line end ("\r" alone too), skipping those inside double quotes.
template <class F>
bool AnyLineStart(std::string_view reply, F&& test)
{
    bool quoted = false;
    for (size_t i = 0; i < reply.size(); ++i) {
        if (LineStartsAt(reply, i) && !quoted && test(reply.substr(i)))
            return true;
        if (reply[i] == '"')
            quoted = !quoted;
    }
    return false;
}

bool StartsWith(std::string_view text, std::string_view head)
{
    return text.substr(0, head.size()) == head;
}

// A whole line of this text: "\r\n", or a "\n" or "\r" alone (S3/S4 changed) ends it.
bool IsWholeLine(std::string_view line, std::string_view text)
{
    return StartsWith(line, text) && (StartsWith(line.substr(text.size()), "\r") ||
                                      StartsWith(line.substr(text.size()), "\n"));
}

// What follows the echo of the line just sent (its last copy at a line
// start); all of reply when the echo is not there (echo off, a follow-up read).
std::string_view BehindEcho(std::string_view lastRequest, std::string_view reply)
{
    if (lastRequest.empty() || lastRequest == "\r")
        return reply;
    for (size_t at = reply.rfind(lastRequest); at != std::string_view::npos;
         at = at == 0 ? std::string_view::npos : reply.rfind(lastRequest, at - 1)) {
        if (LineStartsAt(reply, at))
            return reply.substr(at + lastRequest.size());
    }
    return reply;
}

bool IsOkLine(std::string_view line) { return IsWholeLine(line, "OK"); }

bool IsErrorLine(std::string_view line)
{
    // a bare "+CME ERROR" without a code is final too
    if (IsWholeLine(line, "ERROR") || IsWholeLine(line, "not support") || IsWholeLine(line, "+CME ERROR") ||
        IsWholeLine(line, "+CMS ERROR"))
        return true;
    // the error text must be whole: it ends at the next line end
    if (StartsWith(line, "+CME ERROR: ") || StartsWith(line, "+CMS ERROR: "))
        return line.find_first_of("\r\n", 12) != std::string_view::npos;
    return false;
}

bool IsPromptLine(std::string_view line) { return StartsWith(line, "> "); }

bool IsOperatorScan(std::string_view request)
{
    constexpr std::string_view scan = "AT+COPS=?";
    if (request.size() < scan.size())
        return false;
    for (size_t i = 0; i < scan.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(request[i])) != scan[i])
            return false;
    }
    return true;
}

}  // namespace

bool AtReplyComplete(std::string_view lastRequest, std::string_view reply, bool scanListRead)
{
    // NUL bytes some modems put between lines are no part of the text
    std::string text;
    if (reply.find('\0') != std::string_view::npos) {
        text.assign(reply);
        text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
        reply = text;
    }
    // whatever came before the echo belongs to an earlier exchange
    reply = BehindEcho(lastRequest, reply);
    if (AnyLineStart(reply, [](std::string_view l) { return IsErrorLine(l); }))
        return true;
    if (IsOperatorScan(lastRequest) && !scanListRead) {
        // the scan's list comes in a burst of its own before the final OK; a
        // scan that found nothing still answers a "+COPS: " line (",,(0-4),(0-2)")
        const size_t list = reply.find("+COPS: ");
        return list != std::string_view::npos &&
               AnyLineStart(reply.substr(list), [](std::string_view l) { return IsOkLine(l); });
    }
    return AnyLineStart(reply, [](std::string_view l) { return IsOkLine(l) || IsPromptLine(l); });
}

bool DiagReplyComplete(std::string_view reply)
{
    // leading flags (download protocols) open the frame; the next flag ends it
    const size_t data = reply.find_first_not_of('\x7E');
    return data != std::string_view::npos && reply.find('\x7E', data) != std::string_view::npos;
}

size_t DiagReplyLength(std::string_view reply)
{
    const size_t data = reply.find_first_not_of('\x7E');
    const size_t end = data == std::string_view::npos ? std::string_view::npos : reply.find('\x7E', data);
    return end == std::string_view::npos ? reply.size() : end + 1;
}

int OpenSerialDevice(const std::string& path, bool refuseHeld)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        const int result = error == EACCES || error == EPERM ? kDenied : error == EBUSY ? kBusy : kNoPort;
        DebugLine(result == kNoPort ? "KESTLE: " + path + ": cannot open: " + std::strerror(error) + "\n"
                                    : OpenFailureLine(path, result));
        return -result;
    }
    // TIOCEXCL keeps other users' opens out; the flock also holds against
    // programs of the same user (and root, whom TIOCEXCL does not stop)
    // that take it before touching a modem port
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        DebugLine(OpenFailureLine(path, kBusy));
        return -kBusy;
    }
    // asked before our own flag is set: a flag found now is another program's
    // (root passes it), and so is a descriptor of another process
    int exclusive = 0;
    if (refuseHeld && ((::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) || OpenElsewhere(fd))) {
        ::close(fd);  // their flag stays as they set it
        DebugLine("KESTLE: " + path + ": open in another program: not probed\n");
        return -kBusy;
    }
    {
        std::lock_guard<std::mutex> hold(g_exclusiveLock);
        ::ioctl(fd, TIOCEXCL);
        g_exclusive.insert(fd);
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        CloseSerialDevice(fd);
        DebugLine("KESTLE: " + path + ": not a terminal\n");
        return -kPortFailed;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    // no flow control of any kind: XON/XOFF bytes would be taken out of or put
    // into the DIAG stream, and a modem port has no RTS/CTS to speak of
    tio.c_cflag &= ~(CRTSCTS | CSTOPB);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        CloseSerialDevice(fd);
        DebugLine("KESTLE: " + path + ": cannot set the terminal up\n");
        return -kPortFailed;
    }
    return fd;
}

std::string OpenFailureLine(const std::string& path, int result)
{
    if (result == kDenied)
        return "KESTLE: " + path + ": permission denied: add the user to the dialout group (or install the udev "
                                   "rule of the port library) and log in again\n";
    return "KESTLE: " + path + ": in use by another program (busy)\n";
}

void CloseSerialDevice(int fd)
{
    // the exclusive flag belongs to the tty, not the descriptor: left set, it
    // refuses every later open (ours too) while anyone else keeps the tty
    std::lock_guard<std::mutex> hold(g_exclusiveLock);
    g_exclusive.erase(fd);
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

void ReleaseHeldPorts()
{
    {
        // first the flags, on every descriptor: a port in an exchange keeps
        // its descriptor, which the process's end closes
        std::lock_guard<std::mutex> hold(g_exclusiveLock);
        for (int fd : g_exclusive)
            ::ioctl(fd, TIOCNXCL);
    }
    std::vector<std::shared_ptr<SerialPort>> ports;
    {
        std::lock_guard<std::mutex> guard(g_portsLock);
        for (auto& [com, port] : g_ports)
            ports.push_back(port);
    }
    for (auto& port : ports) {
        std::unique_lock<std::mutex> guard(port->lock, std::try_to_lock);
        if (guard.owns_lock())
            CloseFd(*port);
    }
}

bool ProbeHeldPort(const std::string& devnode, const std::string& plug, const std::function<void(int fd)>& probe)
{
    std::shared_ptr<SerialPort> held;
    {
        std::lock_guard<std::mutex> guard(g_portsLock);
        for (auto& [com, port] : g_ports) {
            if (port->path == devnode)
                held = port;
        }
    }
    if (!held)
        return false;
    // between two exchanges: the probe waits for a running one to end
    std::lock_guard<std::mutex> guard(held->lock);
    if (held->fd < 0 || (!plug.empty() && !held->plug.empty() && plug != held->plug))
        return false;
    probe(held->fd);
    held->pending.clear();
    return true;
}

bool SerialDeviceOpen(const std::string& devnode, const std::string& plug)
{
    std::lock_guard<std::mutex> guard(g_portsLock);
    auto it = g_held.find(devnode);
    return it != g_held.end() && (plug.empty() || it->second.empty() || it->second == plug);
}

int SerialInit(const char* name, std::string* triedPath)
{
    const int com = ParseComNumber(name);
    if (com == 0)
        return kBadArgument;
    const std::string path = PathOfCom(com);
    if (path.empty())
        return kNoPort;
    if (triedPath)
        *triedPath = path;

    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> guard(g_portsLock);
        auto& slot = g_ports[com];
        if (!slot)
            slot = std::make_shared<SerialPort>();
        port = slot;
    }
    std::lock_guard<std::mutex> guard(port->lock);
    struct stat st;
    const bool present = stat(path.c_str(), &st) == 0;
    const bool hidden = !present && errno != ENOENT && errno != ENOTDIR;  // e.g. a folder we may not enter
    // a re-plug may give the same tty names and numbers: the plug-in tells it apart
    const std::string plug = present ? PlugOfDevnode(path) : std::string();
    const bool replugged = !plug.empty() && !port->plug.empty() && plug != port->plug;
    if (port->fd >= 0 && (!present || port->path != path || st.st_rdev != port->device || replugged ||
                          !Healthy(port->fd)))
        CloseFd(*port);  // the device went away or came back: start afresh
    if (port->fd >= 0)
        return kOk;
    if (!present && !hidden) {
        DebugLine("KESTLE: " + path + ": no such port\n");
        return kNoPort;
    }
    const int fd = OpenSerialDevice(path);
    if (fd < 0)
        return -fd;
    port->fd = fd;
    port->device = st.st_rdev;
    port->plug = plug;
    port->lastRequest.clear();
    {
        // the path is read under either lock (ProbeHeldPort under the table's)
        std::lock_guard<std::mutex> held(g_portsLock);
        port->path = path;
        g_held[path] = plug;
    }
    return kOk;
}

int SerialClose(const char* name)
{
    const int com = ParseComNumber(name);
    if (com == 0)
        return kBadArgument;
    std::shared_ptr<SerialPort> port;
    {
        std::lock_guard<std::mutex> guard(g_portsLock);
        auto it = g_ports.find(com);
        if (it == g_ports.end())
            return kOk;
        port = it->second;
        g_ports.erase(it);
    }
    std::lock_guard<std::mutex> guard(port->lock);
    CloseFd(*port);
    return kOk;
}

int SerialExchange(int kind, const char* name, const unsigned char* request, int requestLength,
                   unsigned char* reply, int* replyLength, int timeoutSeconds)
{
    const int room = *replyLength;
    *replyLength = 0;
    const int com = ParseComNumber(name);
    std::shared_ptr<SerialPort> port = com ? FindPort(com) : nullptr;
    if (!port)
        return kNoPort;
    std::lock_guard<std::mutex> guard(port->lock);
    if (port->fd < 0)
        return kNoPort;

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs(timeoutSeconds));
    auto remainingMs = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    };
    auto vanish = [&] {
        DebugLine("KESTLE: " + port->path + ": the port went away during the exchange\n");
        CloseFd(*port);
        return kPortFailed;
    };

    char chunk[4096];
    std::string received;
    if (requestLength == 0)
        received.swap(port->pending);  // a follow-up read starts with what came behind the last answer
    port->pending.clear();
    if (requestLength > 0) {
        // a late answer to an earlier request must not pass for this one's
        for (;;) {
            const ssize_t n = ::read(port->fd, chunk, sizeof chunk);
            if (n > 0)
                continue;
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return vanish();
            break;
        }
        int sent = 0;
        while (sent < requestLength) {
            const ssize_t n = ::write(port->fd, request + sent, static_cast<size_t>(requestLength - sent));
            if (n > 0) {
                sent += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return vanish();
            pollfd p{port->fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, remainingMs());
            if (ready == 0)
                return kTimeout;
            if (ready < 0 && errno != EINTR)
                return vanish();
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
                return vanish();
        }
        port->lastRequest.assign(reinterpret_cast<const char*>(request), static_cast<size_t>(requestLength));
        port->scanListRead = false;
    }

    // AT replies are texts and keep a terminator inside the room
    const size_t capacity = kind == PORT_KIND_AT ? static_cast<size_t>(room - 1) : static_cast<size_t>(room);
    int result = kOk;
    for (;;) {
        const bool complete = kind == PORT_KIND_AT ? AtReplyComplete(port->lastRequest, received, port->scanListRead)
                                                   : DiagReplyComplete(received);
        if (complete)
            break;
        if (received.size() > capacity) {
            result = kReplyTooLong;
            break;
        }
        pollfd p{port->fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, remainingMs());
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            result = vanish();
            break;
        }
        if (ready == 0) {
            if (received.empty())
                result = kTimeout;
            break;
        }
        if (p.revents & (POLLERR | POLLNVAL)) {
            result = vanish();
            break;
        }
        const ssize_t n = ::read(port->fd, chunk, sizeof chunk);
        if (n > 0) {
            received.append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n == 0 && !(p.revents & POLLHUP)) {
            // no data yet (someone else took the bytes): wait a little, not spin
            ::poll(nullptr, 0, std::min(10, remainingMs()));
            continue;
        }
        result = vanish();  // EIO or a hang-up: the other side is gone
        break;
    }
    // a scan's list that came before its OK: the follow-up read ends at the OK
    if (kind == PORT_KIND_AT && IsOperatorScan(port->lastRequest) && received.find("+COPS: ") != std::string::npos)
        port->scanListRead = true;
    // a DIAG answer ends at its first end flag; a frame behind it is not part of it
    if (kind == PORT_KIND_DIAG && result == kOk && DiagReplyComplete(received)) {
        const size_t length = DiagReplyLength(received);
        port->pending = received.substr(length);
        received.resize(length);
    }

    const size_t stored = std::min(received.size(), capacity);
    if (received.size() > capacity)
        result = kReplyTooLong;
    std::memcpy(reply, received.data(), stored);
    if (stored < static_cast<size_t>(room))
        reply[stored] = 0;
    *replyLength = static_cast<int>(stored);
    return result;
}

namespace {
// A normal exit (also the end a close signal leads to): no exclusive flag of
// ours outlives the process. Defined after the port table, so it runs first.
struct ReleaseAtExit {
    ~ReleaseAtExit() { ReleaseHeldPorts(); }
} g_releaseAtExit;
}  // namespace

}  // namespace kestle_portlib
