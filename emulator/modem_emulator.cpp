#include "emulator/modem_emulator.h"
#include "emulator/text_case.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <netinet/in.h>
#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>

#include "emulator/at_interpreter.h"
#include "emulator/device_state.h"
#include "emulator/diag_responder.h"
#include "emulator/goform_handler.h"
#include "emulator/hdlc.h"
#include "emulator/http_wire.h"
#include "platform/win/clock.h"

namespace modemsim {

namespace {

const char kDefaultAtGarbage[] = "\x01\xfe#%$garbage\x7f\r\n";
const char kDefaultUnsolicitedBefore[] = "\r\n+CREG: 1\r\n";
const char kDefaultUnsolicitedInside[] = "\r\nRING\r\n";
const char kDefaultBeforeEcho[] = "\r\nOK\r\n";
const char kDefaultTwoLineUnsolicited[] = "\r\n+CMT: \"+15551234567\",,\"26/12/11,05:00:00+00\"\r\nHello there\r\n";
const std::vector<uint8_t> kDefaultDiagEvent = {0x60, 0x00, 0x01};

std::string JoinBursts(const AtAnswer& answer) {
    std::string all;
    for (const auto& b : answer.bursts) all += b.text;
    return all;
}

// Where a line of its own goes into an answer: before its final result line.
size_t FinalLineStart(const std::string& all) {
    size_t at = all.size() > 2 ? all.rfind("\r\n", all.size() - 3) : std::string::npos;
    return at == std::string::npos ? 0 : at;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}
const char kCdromCommand[] = "99000000000000000000";

// Sleeps programMs of program time in small steps; false when stop was raised.
bool Nap(uint32_t programMs, const std::atomic<bool>& stop) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ScaledMs(programMs));
    while (!stop.load()) {
        auto now = std::chrono::steady_clock::now();
        if (now >= end) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(5)));
    }
    return false;
}

// Writes all bytes to a non-blocking fd; gives up when nobody drains it.
void WriteAll(int fd, const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    int stalls = 0;
    while (length > 0 && fd >= 0) {
        ssize_t n = ::write(fd, p, length);
        if (n > 0) {
            p += n;
            length -= static_cast<size_t>(n);
            stalls = 0;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN && ++stalls < 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else {
            return;
        }
    }
}

bool WriteFileAtomically(const std::string& dir, const std::string& name, const std::string& text) {
    std::string tmp = dir + "/." + name + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << text;
        if (!out.flush()) return false;
    }
    return ::rename(tmp.c_str(), (dir + "/" + name).c_str()) == 0;
}

struct PtyPort {
    Port which = Port::At;
    int com = 0;
    int master = -1;
    int slave = -1;  // held open so the master never sees a hang-up between clients
    std::string link;
    std::atomic<bool> stop{false};
    std::mutex writeMu;
    std::thread thread;
    // AT lines: the reader queues them, the worker takes them up one at a time
    std::thread worker;
    std::mutex queueMu;
    std::condition_variable queueCv;
    std::deque<std::pair<std::string, bool>> queue;  // line, echoed on arrival
    bool dropping = false;                            // busy: arriving lines are lost
    std::atomic<bool> echo{true};
};

struct AtFaultRule {
    std::string prefix;
    Fault fault;
};
struct DiagFaultRule {
    int code;
    Fault fault;
};
struct HttpFaultRule {
    std::string key;
    Fault fault;
};

// Takes the first rule that matches and counts one use off it.
template <typename Rules, typename Match>
bool TakeFault(Rules& rules, Match match, Fault* out) {
    for (auto it = rules.begin(); it != rules.end(); ++it) {
        if (!match(*it)) continue;
        *out = it->fault;
        if (it->fault.times > 0 && --it->fault.times == 0) rules.erase(it);
        return true;
    }
    return false;
}

enum class ControlKind { Restart, Unplug, Replug, SetModeNow, Quit };

struct ControlCommand {
    ControlKind kind;
    Mode mode = Mode::Modem;
    bool drainFirst = false;  // let an answer that is still queued reach the reader
    uint64_t ticket = 0;
};

}  // namespace

const char* ProductIdOf(Mode mode) {
    switch (mode) {
        case Mode::Modem: return "0125";
        case Mode::NetCard: return "0126";
        case Mode::Cdrom: return "0127";
    }
    return "0125";
}

const char* ModeName(Mode mode) {
    switch (mode) {
        case Mode::Modem: return "modem";
        case Mode::NetCard: return "netcard";
        case Mode::Cdrom: return "cdrom";
    }
    return "modem";
}

const char* SimStateName(SimState sim) {
    switch (sim) {
        case SimState::Ready: return "ready";
        case SimState::Pin: return "pin";
        case SimState::Puk: return "puk";
        case SimState::None: return "none";
        case SimState::Busy: return "busy";
        case SimState::Fail: return "fail";
    }
    return "ready";
}

bool ParseMode(const std::string& text, Mode* mode) {
    for (Mode m : {Mode::Modem, Mode::NetCard, Mode::Cdrom}) {
        if (text == ModeName(m)) {
            *mode = m;
            return true;
        }
    }
    return false;
}

bool ParseSimState(const std::string& text, SimState* sim) {
    for (SimState s : {SimState::Ready, SimState::Pin, SimState::Puk, SimState::None, SimState::Busy, SimState::Fail}) {
        if (text == SimStateName(s)) {
            *sim = s;
            return true;
        }
    }
    return false;
}

struct ModemEmulator::Impl {
    EmulatorOptions opts;
    std::string dir;
    bool madeDir = false;
    bool started = false;

    mutable std::mutex mu;
    mutable std::condition_variable changed;
    DeviceState state;
    bool attached = false;  // answering on its ports and servers
    bool visible = false;   // attached and shown in the listing (what waiters see)
    int restartCount = 0;

    std::vector<std::string> atLines;
    std::vector<HttpRequest> httpRequests;
    std::vector<std::vector<uint8_t>> diagRequests;
    int badDiagFrames = 0;
    std::vector<CdromCommand> cdromCommands;

    std::vector<AtFaultRule> atFaults;
    AtTimeline timeline;
    std::vector<DiagFaultRule> diagFaults;
    std::vector<HttpFaultRule> httpFaults;

    std::mutex portsMu;
    std::vector<std::unique_ptr<PtyPort>> ports;

    std::mutex controlMu;
    std::condition_variable controlCv;
    std::deque<ControlCommand> controlQueue;
    uint64_t nextTicket = 1;
    uint64_t doneTicket = 0;
    std::thread controlThread;

    std::atomic<bool> shutdown{false};
    int httpListen = -1;
    int httpPort = 0;
    int cdromListen = -1;
    std::thread serverThread;
    struct Connection {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex connMu;
    std::vector<Connection> connections;

    // --- publishing -------------------------------------------------------

    std::vector<std::string> WebHosts() const {
        std::vector<std::string> hosts{opts.webHost};
        for (const auto& h : opts.moreWebHosts)
            if (std::find(hosts.begin(), hosts.end(), h) == hosts.end()) hosts.push_back(h);
        return hosts;
    }

    std::string ListingFor(Mode mode) const {
        std::string vid = opts.vendorId;
        std::string usb = "USB\\VID_" + vid + "&PID_" + ProductIdOf(mode);
        std::string text;
        if (mode == Mode::Modem) {
            text += "Kestle Diagnostics Interface (COM" + std::to_string(opts.diagCom) + ") " + usb + "&MI_00\n";
            text += "Kestle USB nmea UI AT Interface (COM" + std::to_string(opts.atCom) + ") " + usb + "&MI_01\n";
            text += "Kestle USB Modem (COM" + std::to_string(opts.modemCom) + ") " + usb + "&MI_02\n";
        } else if (mode == Mode::NetCard) {
            text += "Windows Mobile-based Internet Sharing Device usb_rndisx " + usb + "&MI_00\n";
        }
        text += "USB Mass Storage Device Kestle CD-ROM " + usb + "\n";
        return text;
    }

    bool OpenPty(PtyPort& port, std::string* error) {
        port.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (port.master < 0 || ::grantpt(port.master) != 0 || ::unlockpt(port.master) != 0) {
            if (error) *error = "cannot open a pseudo-terminal";
            return false;
        }
        char name[128] = {};
        if (::ptsname_r(port.master, name, sizeof name) != 0) {
            if (error) *error = "cannot name the pseudo-terminal";
            return false;
        }
        port.slave = ::open(name, O_RDWR | O_NOCTTY);
        if (port.slave < 0) {
            if (error) *error = "cannot open the pseudo-terminal slave";
            return false;
        }
        termios tio{};
        ::tcgetattr(port.slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(port.slave, TCSANOW, &tio);
        port.link = dir + "/COM" + std::to_string(port.com);
        ::unlink(port.link.c_str());
        if (::symlink(name, port.link.c_str()) != 0) {
            if (error) *error = "cannot link " + port.link;
            return false;
        }
        return true;
    }

    static void ClosePty(PtyPort& port) {
        if (!port.link.empty()) ::unlink(port.link.c_str());
        std::lock_guard<std::mutex> lock(port.writeMu);
        if (port.master >= 0) ::close(port.master);
        if (port.slave >= 0) ::close(port.slave);
        port.master = port.slave = -1;
    }

    bool BringUp(Mode mode, bool afterRestart, std::string* error) {
        {
            std::lock_guard<std::mutex> lock(mu);
            state.mode = mode;
            state.modeAfterReboot.reset();
            // a restarted SIM with PIN verification on asks for its PIN again
            if (afterRestart && state.pinVerification && state.sim == SimState::Ready) state.sim = SimState::Pin;
            state.offline = false;
        }
        std::vector<std::unique_ptr<PtyPort>> made;
        if (mode == Mode::Modem) {
            for (auto [which, com] : {std::pair{Port::Diag, opts.diagCom}, {Port::At, opts.atCom}, {Port::Modem, opts.modemCom}}) {
                auto port = std::make_unique<PtyPort>();
                port->which = which;
                port->com = com;
                bool ok = OpenPty(*port, error);
                made.push_back(std::move(port));
                if (!ok) {
                    for (auto& p : made) ClosePty(*p);
                    return false;
                }
            }
        }
        {
            std::lock_guard<std::mutex> lock(mu);
            for (auto& p : made) p->echo = timeline.echo != EchoMode::Off;
        }
        for (auto& p : made) {
            PtyPort* raw = p.get();
            p->thread = std::thread([this, raw] { ServePort(*raw); });
            if (p->which != Port::Diag) p->worker = std::thread([this, raw] { TakeUpAtLines(*raw); });
        }
        {
            std::lock_guard<std::mutex> lock(portsMu);
            ports = std::move(made);
        }
        std::string http;
        if (mode == Mode::NetCard)
            for (const auto& host : WebHosts()) http += host + " " + std::to_string(httpPort) + "\n";
        {
            // answering before the listing shows it, so a reader of the listing finds it there
            std::lock_guard<std::mutex> lock(mu);
            attached = true;
        }
        WriteFileAtomically(dir, "http", http);
        WriteFileAtomically(dir, "listing", ListingFor(mode));
        {
            std::lock_guard<std::mutex> lock(mu);
            visible = true;
            if (afterRestart) ++restartCount;
        }
        changed.notify_all();
        return true;
    }

    // Gives the reader of an answer that is still queued a moment to take it.
    void Drain() {
        std::lock_guard<std::mutex> lock(portsMu);
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200 + ScaledMs(500));
        for (auto& p : ports) {
            while (std::chrono::steady_clock::now() < end) {
                int queued = 0;
                if (p->slave < 0 || ::ioctl(p->slave, TIOCINQ, &queued) != 0 || queued == 0) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
    }

    void TearDown() {
        WriteFileAtomically(dir, "listing", "");
        WriteFileAtomically(dir, "http", "");
        {
            std::lock_guard<std::mutex> lock(mu);
            attached = false;
            visible = false;
        }
        std::vector<std::unique_ptr<PtyPort>> gone;
        {
            std::lock_guard<std::mutex> lock(portsMu);
            gone = std::move(ports);
            ports.clear();
        }
        for (auto& p : gone) {
            std::lock_guard<std::mutex> lock(p->queueMu);
            p->stop = true;
            p->queueCv.notify_all();
        }
        for (auto& p : gone) {
            if (p->thread.joinable()) p->thread.join();
            if (p->worker.joinable()) p->worker.join();
        }
        for (auto& p : gone) ClosePty(*p);
        changed.notify_all();
    }

    // --- control thread ---------------------------------------------------

    uint64_t Post(ControlCommand c) {
        std::lock_guard<std::mutex> lock(controlMu);
        c.ticket = nextTicket++;
        controlQueue.push_back(c);
        controlCv.notify_all();
        return c.ticket;
    }

    void PostAndWait(ControlCommand c) {
        if (!started) return;
        uint64_t ticket = Post(c);
        std::unique_lock<std::mutex> lock(controlMu);
        controlCv.wait(lock, [&] { return doneTicket >= ticket; });
    }

    void RunControl() {
        using Clock = std::chrono::steady_clock;
        bool comeBackPending = false;
        bool unplugged = false;
        Mode comeBackMode = state.mode;
        Clock::time_point comeBackAt{};
        for (;;) {
            ControlCommand c;
            {
                std::unique_lock<std::mutex> lock(controlMu);
                if (comeBackPending) {
                    controlCv.wait_until(lock, comeBackAt, [&] { return !controlQueue.empty(); });
                } else {
                    controlCv.wait(lock, [&] { return !controlQueue.empty(); });
                }
                if (controlQueue.empty()) {
                    lock.unlock();
                    comeBackPending = false;
                    if (!unplugged) {
                        BringUp(comeBackMode, true, nullptr);
                    }
                    continue;
                }
                c = controlQueue.front();
                controlQueue.pop_front();
            }
            bool isAttached;
            {
                std::lock_guard<std::mutex> lock(mu);
                isAttached = attached;
            }
            switch (c.kind) {
                case ControlKind::Restart:
                    if (c.drainFirst) Drain();
                    if (isAttached) TearDown();
                    if (!unplugged) {
                        comeBackPending = true;
                        comeBackMode = c.mode;
                        uint32_t ms;
                        {
                            std::lock_guard<std::mutex> lock(mu);
                            ms = opts.restartMs;
                        }
                        comeBackAt = Clock::now() + std::chrono::milliseconds(ScaledMs(ms));
                    }
                    break;
                case ControlKind::Unplug:
                    if (isAttached) {
                        std::lock_guard<std::mutex> lock(mu);
                        comeBackMode = state.mode;
                    }
                    unplugged = true;
                    if (isAttached) TearDown();
                    break;
                case ControlKind::Replug:
                    unplugged = false;
                    if (!isAttached) {
                        comeBackPending = false;
                        BringUp(comeBackMode, true, nullptr);
                    }
                    break;
                case ControlKind::SetModeNow:
                    if (isAttached) TearDown();
                    comeBackMode = c.mode;
                    if (!unplugged) {
                        comeBackPending = false;
                        BringUp(c.mode, false, nullptr);
                    } else {
                        std::lock_guard<std::mutex> lock(mu);
                        state.mode = c.mode;
                    }
                    break;
                case ControlKind::Quit: break;
            }
            {
                std::lock_guard<std::mutex> lock(controlMu);
                doneTicket = c.ticket;
            }
            controlCv.notify_all();
            if (c.kind == ControlKind::Quit) return;
        }
    }

    void RestartAfterAnswer(Mode mode) { Post(ControlCommand{ControlKind::Restart, mode, true}); }

    void VanishNow() {
        Mode mode;
        {
            std::lock_guard<std::mutex> lock(mu);
            mode = state.mode;
        }
        Post(ControlCommand{ControlKind::Restart, mode, false});
    }

    // --- serial ports -----------------------------------------------------

    void Write(PtyPort& port, const std::string& text) {
        std::lock_guard<std::mutex> lock(port.writeMu);
        WriteAll(port.master, text.data(), text.size());
    }

    void ServePort(PtyPort& port) {
        std::string line;
        std::vector<uint8_t> frame;
        char buf[4096];
        while (!port.stop.load()) {
            pollfd pfd{port.master, POLLIN, 0};
            int r = ::poll(&pfd, 1, 10);
            if (r <= 0 || !(pfd.revents & POLLIN)) continue;
            ssize_t n = ::read(port.master, buf, sizeof buf);
            if (n <= 0) continue;
            for (ssize_t i = 0; i < n && !port.stop.load(); ++i) {
                unsigned char b = static_cast<unsigned char>(buf[i]);
                if (port.which == Port::Diag) {
                    if (b != 0x7E) {
                        if (frame.size() < 8192) frame.push_back(b);
                    } else if (!frame.empty()) {
                        HandleDiagFrame(port, frame);
                        frame.clear();
                    }
                } else if (b == '\r' || b == '\n') {
                    if (!line.empty()) LineArrived(port, line);
                    line.clear();
                } else if (line.size() < 4096) {
                    line += static_cast<char>(b);
                }
            }
        }
    }

    EchoMode EchoTiming() {
        std::lock_guard<std::mutex> lock(mu);
        return timeline.echo;
    }

    // A line in: echoed now when the modem echoes on arrival, then queued for
    // the worker, or lost while the modem is busy and drops lines.
    void LineArrived(PtyPort& port, const std::string& line) {
        std::unique_lock<std::mutex> lock(port.queueMu);
        if (port.dropping) return;
        const bool echoNow = port.echo && EchoTiming() == EchoMode::OnArrival;
        if (echoNow) {
            std::string stray;
            {
                std::lock_guard<std::mutex> state(mu);
                const std::string upper = UpperAscii(line);
                Fault fault;
                if (TakeFault(atFaults, [&](const AtFaultRule& r) { return r.fault.kind == FaultKind::BeforeEcho && upper.compare(0, r.prefix.size(), r.prefix) == 0; }, &fault))
                    stray = fault.text.empty() ? kDefaultBeforeEcho : fault.text;
            }
            Write(port, stray + line + "\r");
        }
        port.queue.emplace_back(line, echoNow);
        port.queueCv.notify_all();
    }

    void TakeUpAtLines(PtyPort& port) {
        for (;;) {
            std::pair<std::string, bool> next;
            {
                std::unique_lock<std::mutex> lock(port.queueMu);
                port.queueCv.wait(lock, [&] { return port.stop.load() || !port.queue.empty(); });
                if (port.stop.load()) return;
                next = std::move(port.queue.front());
                port.queue.pop_front();
            }
            HandleAtLine(port, next.first, next.second);
        }
    }

    // Naps while the modem is busy with a late answer; a dropping modem loses
    // the lines that arrive meanwhile.
    bool BusyNap(PtyPort& port, uint32_t ms, bool drop) {
        if (drop) {
            std::lock_guard<std::mutex> lock(port.queueMu);
            port.dropping = true;
        }
        const bool done = Nap(ms, port.stop);
        std::lock_guard<std::mutex> lock(port.queueMu);
        port.dropping = false;
        return done;
    }

    void HandleAtLine(PtyPort& port, const std::string& line, bool echoedOnArrival) {
        Fault fault;
        bool faulty;
        bool echoLine;
        uint32_t lineMs;
        AtAnswer answer;
        {
            std::lock_guard<std::mutex> lock(mu);
            atLines.push_back(line);
            lineMs = timeline.lineMs;
            std::string upper = UpperAscii(line);
            faulty = TakeFault(atFaults, [&](const AtFaultRule& r) { return upper.compare(0, r.prefix.size(), r.prefix) == 0; }, &fault);
            bool swallowed = faulty && (fault.kind == FaultKind::NoAnswer || fault.kind == FaultKind::Garbage || fault.kind == FaultKind::Vanish);
            // the line is echoed as it came, before an ATE0 in it takes effect
            echoLine = port.echo && !echoedOnArrival && timeline.echo != EchoMode::OnArrival;
            bool echo = port.echo;
            if (!swallowed) answer = RunAtCommand(state, line, echo);
            port.echo = echo;
        }
        if (faulty && fault.kind == FaultKind::NoAnswer) return;
        // a stray code and the echo in one write, as they stand on the line
        std::string head;
        if (faulty && fault.kind == FaultKind::BeforeEcho) head = fault.text.empty() ? kDefaultBeforeEcho : fault.text;
        if (echoLine) head += line + "\r";
        if (!head.empty()) Write(port, head);
        if (lineMs > 0 && !Nap(lineMs, port.stop)) return;
        if (faulty) {
            switch (fault.kind) {
                case FaultKind::Garbage: Write(port, fault.text.empty() ? kDefaultAtGarbage : fault.text); return;
                case FaultKind::Vanish: VanishNow(); return;
                case FaultKind::Slow:
                case FaultKind::Late:
                case FaultKind::LateDropping:
                    if (!BusyNap(port, fault.delayMs, fault.kind == FaultKind::LateDropping)) return;
                    break;
                case FaultKind::UnsolicitedBefore: Write(port, fault.text.empty() ? kDefaultUnsolicitedBefore : fault.text); break;
                case FaultKind::Partial: {
                    std::string all = JoinBursts(answer);
                    Write(port, all.substr(0, all.size() / 2));
                    return;
                }
                case FaultKind::UnsolicitedInside:
                case FaultKind::TwoLineUnsolicited: {
                    const char* standard = fault.kind == FaultKind::UnsolicitedInside ? kDefaultUnsolicitedInside : kDefaultTwoLineUnsolicited;
                    std::string all = JoinBursts(answer);
                    // between the information lines and the final result code
                    size_t at = FinalLineStart(all);
                    answer.bursts = {AtBurst{0, all.substr(0, at) + (fault.text.empty() ? standard : fault.text) + all.substr(at)}};
                    break;
                }
                case FaultKind::OkOnly: answer.bursts = {AtBurst{0, "\r\nOK\r\n"}}; break;
                case FaultKind::NulBytes: {
                    std::string all = JoinBursts(answer);
                    size_t at = FinalLineStart(all);
                    answer.bursts = {AtBurst{0, std::string(1, '\0') + all.substr(0, at) + std::string(1, '\0') + all.substr(at)}};
                    break;
                }
                case FaultKind::LfLineEnds:
                    for (auto& b : answer.bursts) b.text = Replaced(b.text, "\r\n", "\n");
                    break;
                default: break;
            }
        }
        for (const auto& burst : answer.bursts) {
            if (burst.delayMs > 0 && !Nap(burst.delayMs, port.stop)) return;
            Write(port, burst.text);
        }
        if (answer.after == AfterAnswer::Restart) RestartAfterAnswer(answer.restartMode);
    }

    void HandleDiagFrame(PtyPort& port, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> packet;
        Fault fault;
        bool faulty = false;
        DiagAnswer answer;
        {
            std::lock_guard<std::mutex> lock(mu);
            if (!UnframeDiagPacket(body, &packet)) {
                ++badDiagFrames;  // a bad frame gets no answer
                return;
            }
            diagRequests.push_back(packet);
            int code = packet.empty() ? -1 : packet[0];
            faulty = TakeFault(diagFaults, [&](const DiagFaultRule& r) { return r.code < 0 || r.code == code; }, &fault);
            bool swallowed = faulty && (fault.kind == FaultKind::NoAnswer || fault.kind == FaultKind::Garbage || fault.kind == FaultKind::Vanish);
            if (!swallowed) answer = RunDiagPacket(state, packet);
        }
        std::vector<uint8_t> out = FrameDiagPacket(answer.packet);
        if (faulty) {
            switch (fault.kind) {
                case FaultKind::NoAnswer: return;
                case FaultKind::Vanish: VanishNow(); return;
                case FaultKind::Garbage: {
                    std::string g = fault.text.empty() ? std::string("\x13\x37\xbe\xef\x7e", 5) : fault.text;
                    Write(port, g);
                    return;
                }
                case FaultKind::Slow:
                case FaultKind::Late:
                    if (!Nap(fault.delayMs, port.stop)) return;
                    break;
                case FaultKind::Partial: out.resize(out.size() / 2); break;
                case FaultKind::LeadingFlag: out.insert(out.begin(), 0x7E); break;
                case FaultKind::EventFirst: {
                    std::vector<uint8_t> event(fault.text.begin(), fault.text.end());
                    std::vector<uint8_t> framed = FrameDiagPacket(event.empty() ? kDefaultDiagEvent : event);
                    out.insert(out.begin(), framed.begin(), framed.end());
                    break;
                }
                case FaultKind::WrongCrc: {
                    std::vector<uint8_t> raw = answer.packet;
                    uint16_t bad = static_cast<uint16_t>(Crc16X25(raw.data(), raw.size()) ^ 0x5A5A);
                    raw.push_back(static_cast<uint8_t>(bad & 0xFF));
                    raw.push_back(static_cast<uint8_t>(bad >> 8));
                    out = EscapeDiagBytes(raw);
                    break;
                }
                case FaultKind::UnsolicitedBefore:
                case FaultKind::UnsolicitedInside: {
                    // an event report ahead of the answer
                    std::vector<uint8_t> event(fault.text.begin(), fault.text.end());
                    if (event.empty()) event = kDefaultDiagEvent;
                    std::vector<uint8_t> ev = FrameDiagPacket(event);
                    Write(port, std::string(ev.begin(), ev.end()));
                    break;
                }
                default: break;
            }
        }
        Write(port, std::string(out.begin(), out.end()));
        if (answer.after == AfterAnswer::Restart) RestartAfterAnswer(CurrentModeLocked());
    }

    Mode CurrentModeLocked() const {
        std::lock_guard<std::mutex> lock(mu);
        return state.mode;
    }

    // --- web server and CD drive -------------------------------------------

    bool OpenServers(std::string* error) {
        httpListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (httpListen < 0 || ::bind(httpListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(httpListen, 16) != 0 ||
            ::getsockname(httpListen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            if (error) *error = "cannot listen on loopback";
            return false;
        }
        httpPort = ntohs(addr.sin_port);

        std::string path = dir + "/cdrom";
        sockaddr_un un{};
        un.sun_family = AF_UNIX;
        if (path.size() >= sizeof un.sun_path) {
            if (error) *error = "device folder path too long for the cdrom socket";
            return false;
        }
        std::memcpy(un.sun_path, path.c_str(), path.size() + 1);
        ::unlink(path.c_str());
        cdromListen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (cdromListen < 0 || ::bind(cdromListen, reinterpret_cast<sockaddr*>(&un), sizeof un) != 0 || ::listen(cdromListen, 8) != 0) {
            if (error) *error = "cannot make the cdrom socket";
            return false;
        }
        return true;
    }

    void RunServers() {
        while (!shutdown.load()) {
            pollfd fds[2] = {{httpListen, POLLIN, 0}, {cdromListen, POLLIN, 0}};
            if (::poll(fds, 2, 10) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & POLLIN)) continue;
                int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0) continue;
                auto done = std::make_shared<std::atomic<bool>>(false);
                bool http = i == 0;
                std::lock_guard<std::mutex> lock(connMu);
                connections.push_back(Connection{std::thread([this, fd, done, http] {
                                                     if (http) ServeHttp(fd);
                                                     else ServeCdrom(fd);
                                                     ::close(fd);
                                                     *done = true;
                                                 }),
                                                 done});
            }
            ReapConnections(false);
        }
    }

    void ServeCdrom(int fd) {
        std::string line;
        if (!ReadLine(fd, &line, shutdown)) return;
        CdromCommand c;
        size_t a = line.find(' ');
        size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
        if (b != std::string::npos) {
            c.vendor = line.substr(0, a);
            c.product = line.substr(a + 1, b - a - 1);
            c.command = line.substr(b + 1);
        }
        auto bare = [](std::string id) {
            id = UpperAscii(id);
            if (id.rfind("0X", 0) == 0) id = id.substr(2);
            return id;
        };
        bool switchNow = false;
        {
            std::lock_guard<std::mutex> lock(mu);
            if (!attached) {
                cdromCommands.push_back(c);
                return;  // nothing is there to answer
            }
            c.accepted = bare(c.vendor) == bare(opts.vendorId) && bare(c.product) == ProductIdOf(state.mode) && c.command == kCdromCommand;
            cdromCommands.push_back(c);
            switchNow = c.accepted && state.mode != Mode::Modem;
        }
        std::string reply = c.accepted ? "0\n" : "1\n";
        WriteAll(fd, reply.data(), reply.size());
        if (switchNow) Post(ControlCommand{ControlKind::Restart, Mode::Modem, false});
    }

    bool WebUp() const {
        std::lock_guard<std::mutex> lock(mu);
        return attached && state.mode == Mode::NetCard;
    }

    void ServeHttp(int fd) {
        HttpRequest request;
        if (!ReadHttpRequest(fd, &request, shutdown)) return;
        Fault fault;
        bool faulty;
        WebAnswer answer;
        {
            std::lock_guard<std::mutex> lock(mu);
            httpRequests.push_back(request);
            if (!attached || state.mode != Mode::NetCard) return;
            std::string key = UpperAscii(GoformKeyOf(request));
            std::string path = UpperAscii(request.path);
            faulty = TakeFault(httpFaults, [&](const HttpFaultRule& r) { return r.key == path || (!key.empty() && r.key == key); }, &fault);
            bool swallowed = faulty && fault.kind != FaultKind::Slow && fault.kind != FaultKind::Partial;
            if (!swallowed) answer = RunGoform(state, request);
        }
        if (faulty) {
            switch (fault.kind) {
                case FaultKind::HttpStatus: WriteHttpResponse(fd, fault.httpStatus, fault.text); return;
                case FaultKind::NoAnswer: WaitForPeerClose(fd, 60000, shutdown); return;
                case FaultKind::Vanish: VanishNow(); return;
                case FaultKind::Garbage: {
                    std::string g = fault.text.empty() ? "\x01\x02 not http \xff\r\n\r\n" : fault.text;
                    WriteAll(fd, g.data(), g.size());
                    return;
                }
                case FaultKind::Partial: WriteHttpPartial(fd, answer.status, answer.body); return;
                case FaultKind::Slow:
                    if (!Nap(fault.delayMs, shutdown) || !WebUp()) return;
                    break;
                default: break;
            }
        }
        WriteHttpResponse(fd, answer.status, answer.body);
        if (answer.after == AfterAnswer::Restart) Post(ControlCommand{ControlKind::Restart, answer.restartMode, false});
    }

    void ReapConnections(bool all) {
        std::vector<Connection> finished;
        {
            std::lock_guard<std::mutex> lock(connMu);
            for (auto it = connections.begin(); it != connections.end();) {
                if (all || it->done->load()) {
                    finished.push_back(std::move(*it));
                    it = connections.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& c : finished) c.thread.join();
    }
};

ModemEmulator::ModemEmulator(EmulatorOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->opts = std::move(options);
    impl_->state = DefaultDeviceState();
    impl_->state.mode = impl_->opts.mode;
    PutSimInState(impl_->state, impl_->opts.sim);
}

ModemEmulator::~ModemEmulator() { Stop(); }

bool ModemEmulator::Start(std::string* error) {
    Impl& d = *impl_;
    if (d.started) return true;
    if (d.opts.dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/modemsim-XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        if (!::mkdtemp(buf.data())) {
            if (error) *error = "cannot make a device folder";
            return false;
        }
        d.dir = buf.data();
        d.madeDir = true;
    } else {
        d.dir = d.opts.dir;
        struct stat st{};
        if (::lstat(d.dir.c_str(), &st) != 0) {
            if (::mkdir(d.dir.c_str(), 0700) != 0) {
                if (error) *error = "cannot make " + d.dir;
                return false;
            }
            d.madeDir = true;
        } else if (!S_ISDIR(st.st_mode)) {
            if (error) *error = d.dir + " is not a folder";
            return false;
        }
    }
    d.shutdown = false;
    if (!d.OpenServers(error) || !d.BringUp(d.state.mode, false, error)) {
        d.started = true;
        Stop();
        return false;
    }
    d.serverThread = std::thread([&d] { d.RunServers(); });
    d.controlThread = std::thread([&d] { d.RunControl(); });
    d.started = true;
    return true;
}

void ModemEmulator::Stop() {
    Impl& d = *impl_;
    if (!d.started) return;
    if (d.controlThread.joinable()) {
        d.Post(ControlCommand{ControlKind::Quit});
        d.controlThread.join();
    }
    d.TearDown();
    d.shutdown = true;
    if (d.serverThread.joinable()) d.serverThread.join();
    d.ReapConnections(true);
    if (d.httpListen >= 0) ::close(d.httpListen);
    if (d.cdromListen >= 0) ::close(d.cdromListen);
    d.httpListen = d.cdromListen = -1;
    for (const char* name : {"listing", "http", "cdrom", ".listing.tmp", ".http.tmp"}) ::unlink((d.dir + "/" + name).c_str());
    if (d.madeDir) ::rmdir(d.dir.c_str());
    d.started = false;
}

const std::string& ModemEmulator::DeviceDir() const { return impl_->dir; }

Mode ModemEmulator::CurrentMode() const { return impl_->CurrentModeLocked(); }

bool ModemEmulator::Attached() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->visible;
}

void ModemEmulator::SetMode(Mode mode) {
    if (!impl_->started) {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->state.mode = mode;
        return;
    }
    impl_->PostAndWait(ControlCommand{ControlKind::SetModeNow, mode});
}

void ModemEmulator::SwitchMode(Mode mode) { impl_->PostAndWait(ControlCommand{ControlKind::Restart, mode}); }
void ModemEmulator::Restart() { impl_->PostAndWait(ControlCommand{ControlKind::Restart, CurrentMode()}); }
void ModemEmulator::Unplug() { impl_->PostAndWait(ControlCommand{ControlKind::Unplug}); }
void ModemEmulator::Replug() { impl_->PostAndWait(ControlCommand{ControlKind::Replug}); }

void ModemEmulator::SetRestartMs(uint32_t ms) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->opts.restartMs = ms;
}

bool ModemEmulator::WaitForMode(Mode mode, uint32_t timeoutMs) const {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->changed.wait_for(lock, std::chrono::milliseconds(TimeoutScaledMs(timeoutMs)),
                                   [&] { return impl_->visible && impl_->state.mode == mode; });
}

bool ModemEmulator::WaitForAttached(bool attached, uint32_t timeoutMs) const {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->changed.wait_for(lock, std::chrono::milliseconds(TimeoutScaledMs(timeoutMs)), [&] { return impl_->visible == attached; });
}

bool ModemEmulator::WaitForRestarts(int count, uint32_t timeoutMs) const {
    std::unique_lock<std::mutex> lock(impl_->mu);
    return impl_->changed.wait_for(lock, std::chrono::milliseconds(TimeoutScaledMs(timeoutMs)),
                                   [&] { return impl_->visible && impl_->restartCount >= count; });
}

int ModemEmulator::RestartCount() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->restartCount;
}

int ModemEmulator::ComNumber(Port port) const {
    switch (port) {
        case Port::Diag: return impl_->opts.diagCom;
        case Port::At: return impl_->opts.atCom;
        case Port::Modem: return impl_->opts.modemCom;
    }
    return 0;
}

std::string ModemEmulator::WebHost() const { return impl_->opts.webHost; }

int ModemEmulator::WebPort() const { return impl_->WebUp() ? impl_->httpPort : 0; }

// --- state access -----------------------------------------------------------

#define WITH_STATE std::lock_guard<std::mutex> lock(impl_->mu); DeviceState& s = impl_->state

void ModemEmulator::SetSim(SimState sim) {
    WITH_STATE;
    PutSimInState(s, sim);
}
SimState ModemEmulator::Sim() const { WITH_STATE; return s.sim; }
void ModemEmulator::SetPinCodes(const std::string& pin, const std::string& puk) { WITH_STATE; s.pin = pin; s.puk = puk; }
std::string ModemEmulator::PinCode() const { WITH_STATE; return s.pin; }
void ModemEmulator::SetPinCounters(int pinLeft, int pukLeft) { WITH_STATE; s.pinLeft = pinLeft; s.pukLeft = pukLeft; }
std::pair<int, int> ModemEmulator::PinCounters() const { WITH_STATE; return {s.pinLeft, s.pukLeft}; }
void ModemEmulator::SetPinVerification(bool on) { WITH_STATE; s.pinVerification = on; }
bool ModemEmulator::PinVerification() const { WITH_STATE; return s.pinVerification; }
void ModemEmulator::SetImsi(const std::string& imsi) { WITH_STATE; s.imsi = imsi; }
void ModemEmulator::SetGid1(const std::string& hex) { WITH_STATE; s.gid1 = hex; }

void ModemEmulator::SetPdpContext(const PdpContext& context) { WITH_STATE; s.contexts[context.cid] = context; }
void ModemEmulator::DeletePdpContext(int cid) { WITH_STATE; s.contexts.erase(cid); }
std::vector<PdpContext> ModemEmulator::PdpContexts() const {
    WITH_STATE;
    std::vector<PdpContext> out;
    for (const auto& [cid, c] : s.contexts) out.push_back(c);
    return out;
}
void ModemEmulator::SetNetworkSelect(int mode, int selection, int order) { WITH_STATE; s.networkSelect = {mode, selection, order}; }
std::array<int, 3> ModemEmulator::NetworkSelect() const { WITH_STATE; return s.networkSelect; }
void ModemEmulator::SetOperators(const std::vector<Operator>& operators) { WITH_STATE; s.operators = operators; }
std::vector<Operator> ModemEmulator::Operators() const { WITH_STATE; return s.operators; }
std::pair<std::string, int> ModemEmulator::SelectedOperator() const { WITH_STATE; return {s.selectedNumeric, s.selectedAct}; }
void ModemEmulator::SetRoaming(bool on) { WITH_STATE; s.roaming = on; }
bool ModemEmulator::Roaming() const { WITH_STATE; return s.roaming; }
void ModemEmulator::SetLocks(bool apnLock, bool actLock, bool roamLock) {
    WITH_STATE;
    s.apnLock = apnLock;
    s.actLock = actLock;
    s.roamLock = roamLock;
}
void ModemEmulator::SetDeviceFlags(const std::array<int, 4>& flags) { WITH_STATE; s.flags = flags; }
std::array<int, 4> ModemEmulator::DeviceFlags() const { WITH_STATE; return s.flags; }
std::string ModemEmulator::BandLock() const { WITH_STATE; return s.band; }
void ModemEmulator::SetAuthProfile(const AuthProfile& profile) { WITH_STATE; s.auth[9] = profile; }
AuthProfile ModemEmulator::GetAuthProfile() const {
    WITH_STATE;
    auto it = s.auth.find(9);
    return it == s.auth.end() ? AuthProfile{} : it->second;
}
bool ModemEmulator::CpeModeLeft() const { WITH_STATE; return s.cpeLeft; }
void ModemEmulator::SetCpeExitResult(int result) { WITH_STATE; s.cpeExitResult = result; }
void ModemEmulator::SetScanTimes(uint32_t listDelayMs, uint32_t okDelayMs) {
    WITH_STATE;
    s.scanListDelayMs = listDelayMs;
    s.scanOkDelayMs = okDelayMs;
}

void ModemEmulator::SetNvItem(uint16_t item, const std::vector<uint8_t>& data) {
    WITH_STATE;
    std::vector<uint8_t> v(kNvItemSize, 0);
    std::copy_n(data.begin(), std::min<size_t>(data.size(), kNvItemSize), v.begin());
    s.nv[item] = v;
}
std::vector<uint8_t> ModemEmulator::NvItem(uint16_t item) const {
    WITH_STATE;
    auto it = s.nv.find(item);
    return it == s.nv.end() ? std::vector<uint8_t>(kNvItemSize, 0) : it->second;
}
void ModemEmulator::SetImei(const std::string& imei15) { WITH_STATE; s.nv[kImeiNvItem] = PackImei(imei15); }
std::string ModemEmulator::Imei() const {
    WITH_STATE;
    auto it = s.nv.find(kImeiNvItem);
    return it == s.nv.end() ? "" : UnpackImei(it->second);
}
void ModemEmulator::SetVersions(const std::array<std::string, 9>& versions) { WITH_STATE; s.versions = versions; }
void ModemEmulator::SetNvWriteStatus(uint16_t status) { WITH_STATE; s.nvWriteStatus = status; }
bool ModemEmulator::AutoRunOpen() const { WITH_STATE; return s.autoRun; }
int ModemEmulator::DownloadMode() const { WITH_STATE; return s.downloadMode; }

void ModemEmulator::SetWebSetting(const std::string& key, const std::string& value) { WITH_STATE; s.web[key] = value; }
std::string ModemEmulator::WebSetting(const std::string& key) const {
    WITH_STATE;
    auto it = s.web.find(key);
    return it == s.web.end() ? "" : it->second;
}
std::vector<WebApnProfile> ModemEmulator::WebApnProfiles() const { WITH_STATE; return s.apnProfiles; }
std::string ModemEmulator::UploadedRestoreFile() const { WITH_STATE; return s.uploadedRestoreFile; }

#undef WITH_STATE

// --- received ---------------------------------------------------------------

std::vector<std::string> ModemEmulator::AtLines() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->atLines;
}
size_t ModemEmulator::CountAtLines(const std::string& prefix, bool anyCase) const {
    const std::string wanted = anyCase ? UpperAscii(prefix) : prefix;
    std::lock_guard<std::mutex> lock(impl_->mu);
    size_t n = 0;
    for (const std::string& line : impl_->atLines)
        n += (anyCase ? UpperAscii(line) : line).rfind(wanted, 0) == 0;
    return n;
}
std::vector<HttpRequest> ModemEmulator::HttpRequests() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->httpRequests;
}
std::vector<std::vector<uint8_t>> ModemEmulator::DiagRequests() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->diagRequests;
}
int ModemEmulator::BadDiagFrames() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->badDiagFrames;
}
std::vector<CdromCommand> ModemEmulator::CdromCommands() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->cdromCommands;
}
void ModemEmulator::ClearReceived() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->atLines.clear();
    impl_->httpRequests.clear();
    impl_->diagRequests.clear();
    impl_->badDiagFrames = 0;
    impl_->cdromCommands.clear();
}

// --- faults -----------------------------------------------------------------

void ModemEmulator::InjectAtFault(const std::string& commandPrefix, const Fault& fault) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->atFaults.push_back(AtFaultRule{UpperAscii(commandPrefix), fault});
}
void ModemEmulator::InjectDiagFault(int code, const Fault& fault) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->diagFaults.push_back(DiagFaultRule{code, fault});
}
void ModemEmulator::InjectHttpFault(const std::string& key, int status, int times) {
    Fault f;
    f.kind = FaultKind::HttpStatus;
    f.httpStatus = status;
    f.times = times;
    InjectHttpFault(key, f);
}
void ModemEmulator::InjectHttpFault(const std::string& key, const Fault& fault) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->httpFaults.push_back(HttpFaultRule{UpperAscii(key), fault});
}
void ModemEmulator::SetAtTimeline(const AtTimeline& timeline) {
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        impl_->timeline = timeline;
    }
    std::lock_guard<std::mutex> lock(impl_->portsMu);
    for (auto& p : impl_->ports) p->echo = timeline.echo != EchoMode::Off;
}
AtTimeline ModemEmulator::GetAtTimeline() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->timeline;
}
void ModemEmulator::ClearFaults() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->atFaults.clear();
    impl_->diagFaults.clear();
    impl_->httpFaults.clear();
}

void ModemEmulator::SendUnsolicited(Port port, const std::string& text) {
    std::lock_guard<std::mutex> lock(impl_->portsMu);
    for (auto& p : impl_->ports)
        if (p->which == port) impl_->Write(*p, text);
}

}  // namespace modemsim
