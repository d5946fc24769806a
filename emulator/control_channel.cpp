#include "emulator/control_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace modemsim {

namespace {

using Words = std::vector<std::string>;

bool ParseNumber(const std::string& text, long low, long high, long* out)
{
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end || errno || v < low || v > high)
        return false;
    *out = v;
    return true;
}

// "\r", "\n" and "\\" in texts typed on a command line
std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        out += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    }
    return out;
}

// One line per fault kind; the option it needs, if any ("ms", "status").
struct FaultName {
    const char* name;
    FaultKind kind;
    const char* needs;
    const char* help;
};
const FaultName kFaults[] = {
    {"no-answer", FaultKind::NoAnswer, "", "the request is swallowed"},
    {"slow", FaultKind::Slow, "ms", "the answer comes after ms=N milliseconds"},
    {"late", FaultKind::Late, "ms", "the answer comes ms=N after the echo; the port waits for it, as a busy modem"},
    {"late-drop", FaultKind::LateDropping, "ms", "AT: as late, but lines that come meanwhile are dropped, as a busy modem"},
    {"before-echo", FaultKind::BeforeEcho, "", "AT: text (default a stray OK) just before the echo (text=...)"},
    {"ok-only", FaultKind::OkOnly, "", "AT: the answer is OK alone"},
    {"nul", FaultKind::NulBytes, "", "AT: NUL bytes before the answer and before its final code"},
    {"lf", FaultKind::LfLineEnds, "", "AT: lines end in \\n alone"},
    {"two-line-unsolicited", FaultKind::TwoLineUnsolicited, "", "AT: a two-line unsolicited result inside the answer (text=...)"},
    {"leading-flag", FaultKind::LeadingFlag, "", "DIAG: the answer frame opens with a flag"},
    {"event-first", FaultKind::EventFirst, "", "DIAG: an event frame before the answer, in one write (text=...)"},
    {"cut", FaultKind::Partial, "", "only the first part of the answer is sent"},
    {"garbage", FaultKind::Garbage, "", "garbage instead of the answer (text=...)"},
    {"unsolicited-before", FaultKind::UnsolicitedBefore, "", "an unsolicited line before the answer (text=...)"},
    {"unsolicited-inside", FaultKind::UnsolicitedInside, "", "an unsolicited line inside the answer (text=...)"},
    {"wrong-crc", FaultKind::WrongCrc, "", "DIAG: the answer frame carries a wrong CRC"},
    {"vanish", FaultKind::Vanish, "", "the device vanishes instead of answering"},
    {"status", FaultKind::HttpStatus, "status", "HTTP: the answer is status=N (body text=...)"},
};

// words: KIND [ms=N] [status=N] [text=T] [times=N]
bool ParseFault(const Words& words, size_t from, Fault* fault, std::string* reply)
{
    const FaultName* name = nullptr;
    for (const auto& f : kFaults)
        if (words[from] == f.name)
            name = &f;
    if (!name) {
        *reply = "unknown fault kind: " + words[from];
        return false;
    }
    fault->kind = name->kind;
    bool haveNeeded = !*name->needs;
    for (size_t i = from + 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        size_t eq = w.find('=');
        std::string key = w.substr(0, eq), value = eq == std::string::npos ? "" : w.substr(eq + 1);
        long n = 0;
        bool ok = eq != std::string::npos;
        if (ok && key == "ms" && (ok = ParseNumber(value, 0, 3600000, &n)))
            fault->delayMs = static_cast<uint32_t>(n);
        else if (ok && key == "status" && (ok = ParseNumber(value, 100, 999, &n)))
            fault->httpStatus = static_cast<int>(n);
        else if (ok && key == "times" && (ok = ParseNumber(value, -1, 1000000, &n) && n != 0))
            fault->times = static_cast<int>(n);
        else if (ok && key == "text")
            fault->text = Unescape(value);
        else
            ok = false;
        if (!ok) {
            *reply = "bad fault option: " + w;
            return false;
        }
        haveNeeded |= key == name->needs;
    }
    if (!haveNeeded) {
        *reply = std::string("fault ") + name->name + " needs " + name->needs + "=N";
        return false;
    }
    return true;
}

bool ModeArg(const std::string& text, Mode* mode, std::string* reply)
{
    if (ParseMode(text, mode))
        return true;
    *reply = "unknown mode: " + text + " (modem, netcard, cdrom)";
    return false;
}

bool RunFault(ModemEmulator& e, const Words& w, std::string* reply)
{
    Fault fault;
    if (!ParseFault(w, 3, &fault, reply))
        return false;
    const std::string& where = w[1];
    const std::string target = w[2] == "*" ? "" : w[2];
    if (where == "at") {
        e.InjectAtFault(target, fault);
    } else if (where == "http") {
        e.InjectHttpFault(target, fault);
    } else if (where == "diag") {
        long code = -1;
        if (!target.empty() && !ParseNumber(target, 0, 255, &code)) {
            *reply = "bad DIAG code: " + w[2];
            return false;
        }
        e.InjectDiagFault(static_cast<int>(code), fault);
    } else {
        *reply = "fault goes to at, diag or http, not " + where;
        return false;
    }
    return true;
}

const char* const kEchoModes[] = {"off", "arrival", "takeup"};

// timeline [line-ms=N] [echo=off|arrival|takeup]; without options it tells the timeline
bool RunTimeline(ModemEmulator& e, const Words& w, std::string* reply)
{
    AtTimeline t = e.GetAtTimeline();
    for (size_t i = 1; i < w.size(); ++i) {
        const size_t eq = w[i].find('=');
        const std::string key = w[i].substr(0, eq), value = eq == std::string::npos ? "" : w[i].substr(eq + 1);
        long n = 0;
        bool ok = false;
        if (key == "line-ms" && ParseNumber(value, 0, 3600000, &n)) {
            t.lineMs = static_cast<uint32_t>(n);
            ok = true;
        }
        for (int m = 0; key == "echo" && m < 3; ++m) {
            if (value == kEchoModes[m]) {
                t.echo = static_cast<EchoMode>(m);
                ok = true;
            }
        }
        if (!ok)
            return *reply = "bad timeline option: " + w[i], false;
    }
    e.SetAtTimeline(t);
    *reply = "line-ms " + std::to_string(t.lineMs) + "\necho " + kEchoModes[static_cast<int>(t.echo)] + "\n";
    return true;
}

bool RunStatus(ModemEmulator& e, const Words&, std::string* reply)
{
    std::ostringstream s;
    s << "mode " << ModeName(e.CurrentMode()) << "\nattached " << (e.Attached() ? "yes" : "no") << "\nsim "
      << SimStateName(e.Sim()) << "\nrestarts " << e.RestartCount() << "\nweb-port " << e.WebPort() << "\n";
    *reply = s.str();
    return true;
}

bool RunReceived(ModemEmulator& e, const Words&, std::string* reply)
{
    std::string out;
    for (const auto& line : e.AtLines())
        out += "AT " + line + "\n";
    for (const auto& r : e.HttpRequests())
        out += "HTTP " + r.method + " " + r.path + (r.query.empty() ? "" : "?" + r.query) +
               (r.body.empty() ? "" : " " + r.body) + "\n";
    *reply = out;
    return true;
}

struct Command {
    const char* name;
    size_t minArgs;
    const char* args;
    const char* help;
    bool (*run)(ModemEmulator&, const Words&, std::string*);
};
const Command kCommands[] = {
    {"status", 0, "", "mode, presence, SIM state, restarts, web server port",  RunStatus},
    {"unplug", 0, "", "the modem leaves the bus until replug",
     [](ModemEmulator& e, const Words&, std::string*) { return e.Unplug(), true; }},
    {"replug", 0, "", "the modem comes back (also ends a restart at once)",
     [](ModemEmulator& e, const Words&, std::string*) { return e.Replug(), true; }},
    {"restart", 0, "", "the modem reboots: gone for the boot time, back in its mode",
     [](ModemEmulator& e, const Words&, std::string*) { return e.Restart(), true; }},
    {"mode", 1, "MODE", "switches to MODE at once (modem, netcard, cdrom)",
     [](ModemEmulator& e, const Words& w, std::string* r) {
         Mode m;
         return ModeArg(w[1], &m, r) && (e.SetMode(m), true);
     }},
    {"switch", 1, "MODE", "reboots into MODE: gone for the boot time first",
     [](ModemEmulator& e, const Words& w, std::string* r) {
         Mode m;
         return ModeArg(w[1], &m, r) && (e.SwitchMode(m), true);
     }},
    {"slow-boot", 1, "MS", "each restart and switch keeps the modem away MS milliseconds",
     [](ModemEmulator& e, const Words& w, std::string* r) {
         long ms = 0;
         if (!ParseNumber(w[1], 0, 3600000, &ms))
             return *r = "bad boot time: " + w[1], false;
         return e.SetRestartMs(static_cast<uint32_t>(ms)), true;
     }},
    {"sim", 1, "STATE", "the SIM state (ready, pin, puk, none, busy, fail)",
     [](ModemEmulator& e, const Words& w, std::string* r) {
         SimState s;
         if (!ParseSimState(w[1], &s))
             return *r = "unknown SIM state: " + w[1], false;
         return e.SetSim(s), true;
     }},
    {"fault", 3, "at|diag|http TARGET KIND [ms=N] [status=N] [text=T] [times=N]",
     "the next request(s) to TARGET (an AT command prefix, a DIAG code, a goform path, id or cmd; * any) meet KIND",
     RunFault},
    {"timeline", 0, "[line-ms=N] [echo=off|arrival|takeup]",
     "AT lines are taken one at a time and answered N ms after; the echo comes never, on arrival or when taken up",
     RunTimeline},
    {"clear-faults", 0, "", "drops every fault not yet used",
     [](ModemEmulator& e, const Words&, std::string*) { return e.ClearFaults(), true; }},
    {"unsolicited", 1, "TEXT", "sends TEXT on the AT port now (\\r and \\n allowed)",
     [](ModemEmulator& e, const Words& w, std::string*) { return e.SendUnsolicited(Port::At, Unescape(w[1])), true; }},
    {"count", 1, "PREFIX", "how many AT lines received start with PREFIX (any case)",
     [](ModemEmulator& e, const Words& w, std::string* r) {
         return *r = std::to_string(e.CountAtLines(w[1], true)) + "\n", true;
     }},
    {"received", 0, "", "the AT lines and HTTP requests received",  RunReceived},
    {"clear-received", 0, "", "forgets what was received",
     [](ModemEmulator& e, const Words&, std::string*) { return e.ClearReceived(), true; }},
};

bool WriteAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads until the peer ends its side; false past limit bytes or on a timeout.
bool ReadAll(int fd, std::string* out, size_t limit)
{
    char buf[4096];
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out->append(buf, static_cast<size_t>(n));
        if (out->size() > limit)
            return false;
    }
}

bool SocketAddress(const std::string& path, sockaddr_un* addr, std::string* error)
{
    std::memset(addr, 0, sizeof(*addr));
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr->sun_path)) {
        *error = "folder path too long for its control socket: " + path;
        return false;
    }
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

constexpr size_t kRequestLimit = 64 * 1024;

}  // namespace

std::string ControlSocketPath(const std::string& dir) { return dir + "/control"; }

bool RunControlCommand(ModemEmulator& emulator, const Words& words, std::string* reply)
{
    reply->clear();
    if (words.empty()) {
        *reply = "no command";
        return false;
    }
    for (const auto& c : kCommands) {
        if (words[0] != c.name)
            continue;
        if (words.size() < 1 + c.minArgs) {
            *reply = std::string("usage: ") + c.name + " " + c.args;
            return false;
        }
        return c.run(emulator, words, reply);
    }
    *reply = "unknown command: " + words[0];
    return false;
}

std::string ControlHelp()
{
    std::string out;
    for (const auto& c : kCommands) {
        std::string head = std::string("  ") + c.name + (*c.args ? " " : "") + c.args;
        out += head + "\n      " + c.help + "\n";
    }
    out += "fault kinds:\n";
    for (const auto& f : kFaults) {
        size_t name = std::strlen(f.name);
        out += std::string("  ") + f.name + std::string(name < 22 ? 22 - name : 1, ' ') + f.help + "\n";
    }
    return out;
}

ControlChannel::~ControlChannel() { Stop(); }

bool ControlChannel::Start(std::string* error)
{
    path_ = ControlSocketPath(emulator_.DeviceDir());
    sockaddr_un addr;
    if (!SocketAddress(path_, &addr, error))
        return false;
    // a socket left by an emulator that was killed
    struct stat st;
    if (::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
        ::unlink(path_.c_str());
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(listenFd_, 8) != 0 || ::pipe2(wakeFd_, O_CLOEXEC) != 0) {
        *error = "control socket " + path_ + ": " + std::strerror(errno);
        Stop();
        return false;
    }
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void ControlChannel::Stop()
{
    if (thread_.joinable()) {
        char c = 0;
        (void)!::write(wakeFd_[1], &c, 1);
        thread_.join();
    }
    for (int* fd : {&listenFd_, &wakeFd_[0], &wakeFd_[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    if (!path_.empty())
        ::unlink(path_.c_str());
    path_.clear();
}

void ControlChannel::Serve()
{
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // a client that never finishes its request does not hold the channel
        timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
        std::string request, reply;
        bool done = false;
        if (ReadAll(fd, &request, kRequestLimit)) {
            Words words;
            for (size_t start = 0; start < request.size();) {
                size_t end = request.find('\0', start);
                if (end == std::string::npos)
                    end = request.size();
                words.push_back(request.substr(start, end - start));
                start = end + 1;
            }
            done = RunControlCommand(emulator_, words, &reply);
        } else {
            reply = "request too long or unfinished";
        }
        WriteAll(fd, std::string(done ? "0" : "1") + reply);
        ::close(fd);
    }
}

int SendControlCommand(const std::string& dir, const Words& words, std::string* reply)
{
    reply->clear();
    sockaddr_un addr;
    if (!SocketAddress(ControlSocketPath(dir), &addr, reply))
        return 2;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        *reply = "no emulator serves " + dir + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return 2;
    }
    std::string request;
    for (const auto& w : words)
        request += w + '\0';
    std::string answer;
    bool ok = WriteAll(fd, request) && ::shutdown(fd, SHUT_WR) == 0 && ReadAll(fd, &answer, 16 * 1024 * 1024);
    ::close(fd);
    if (!ok || answer.empty()) {
        *reply = "the emulator serving " + dir + " gave no answer";
        return 2;
    }
    *reply = answer.substr(1);
    return answer[0] == '0' ? 0 : 1;
}

}  // namespace modemsim
