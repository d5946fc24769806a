// AT operations on the emulator's timeline, in program time: the wait after
// one timeout, three tries of the band write on a modem that answers nothing,
// the first exchange with a modem whose echo is off, and the healthy round
// trip of an operation against the raw pseudo-terminal floor (a line written
// and its answer read straight from the same emulator port).
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "device/at_ops_network.h"
#include "device/at_ops_sim.h"
#include "device/port_manager.h"
#include "device/port_scanner.h"
#include "emulator/modem_emulator.h"
#include "platform/win/clock.h"

namespace {

using Clock = std::chrono::steady_clock;

// Real ms since start, as program ms.
double ProgramMsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / TimeScale();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One line written to the tty and its answer read up to the final OK.
double RawRoundTrip(int fd)
{
    const char line[] = "AT+ZAPNLOCK?\r";
    const Clock::time_point start = Clock::now();
    if (::write(fd, line, sizeof line - 1) < 0)
        return -1;
    std::string got;
    while (got.find("\r\nOK\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            return -1;
        char chunk[512];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0)
            got.append(chunk, static_cast<size_t>(n));
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double OperationRoundTrip()
{
    int lock = -1;
    const Clock::time_point start = Clock::now();
    if (AT_GET_APN_LOCK_STATE(&lock) != 0)
        return -1;
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Silence(modemsim::ModemEmulator& e, const std::string& prefix, int times)
{
    modemsim::Fault fault;
    fault.kind = modemsim::FaultKind::NoAnswer;
    fault.times = times;
    e.InjectAtFault(prefix, fault);
}

} // namespace

int main()
{
    // waits and timeouts at a tenth: the figures are program time
    setenv("SETWELL_TIME_SCALE", "0.1", 0);
    setenv("SETWELL_TIMEOUT_SCALE", getenv("SETWELL_TIME_SCALE"), 0);
    modemsim::ModemEmulator emulator;
    std::string error;
    if (!emulator.Start(&error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    setenv("KESTLE_DEVICE_DIR", emulator.DeviceDir().c_str(), 1);
    CMarlPortManager ports;
    const std::string com = std::to_string(emulator.ComNumber(modemsim::Port::At));
    SetATPort(com.c_str());
    int value = 0;
    std::printf("program time at a scale of %.2f\n", TimeScale());

    // the wait after one timeout: a read that gets no answer, then the next
    AT_GET_APN_LOCK_STATE(&value);
    Silence(emulator, "AT+ZDATAROAM?", 1);
    AT_GetRoaming(&value);
    Clock::time_point start = Clock::now();
    const int next = AT_GET_APN_LOCK_STATE(&value);
    std::printf("%-44s %8.0f ms (result %d)\n", "next read after one timeout (5 s)", ProgramMsSince(start), next);

    // three tries of the band write, a pause of 1 s after each failure
    Silence(emulator, "", -1);
    start = Clock::now();
    int result = 1;
    for (int attempt = 0; attempt < 3 && result != 0; ++attempt) {
        result = AT_SET_BAND("1");
        if (result != 0)
            Sleep(1000);
    }
    std::printf("%-44s %8.0f ms (result %d; 3 x 5 s + 3 s = 18000)\n", "band write, 3 tries, modem silent",
                ProgramMsSince(start), result);
    emulator.ClearFaults();
    AT_GET_APN_LOCK_STATE(&value);

    // the first exchanges with a modem whose echo is off
    emulator.SetAtTimeline(modemsim::AtTimeline{0, modemsim::EchoMode::Off});
    ResetAtEngineState();
    start = Clock::now();
    result = AT_GET_APN_LOCK_STATE(&value);
    std::printf("%-44s %8.0f ms (result %d)\n", "first read, echo off (5 s timeout)", ProgramMsSince(start), result);
    ResetAtEngineState();
    PdpContextList contexts{};
    start = Clock::now();
    result = AT_CGDCONT_READ(&contexts);
    std::printf("%-44s %8.0f ms (result %d)\n", "first profile list, echo off (15 s timeout)", ProgramMsSince(start),
                result);
    emulator.SetAtTimeline(modemsim::AtTimeline{});
    AT_GET_APN_LOCK_STATE(&value);

    // healthy round trip against the raw floor, taken in turns: the floor on
    // the emulator's modem port, which answers AT lines the same way
    const int fd = ::open((emulator.DeviceDir() + "/COM" + std::to_string(emulator.ComNumber(modemsim::Port::Modem))).c_str(),
                          O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    std::vector<double> operation, raw;
    for (int i = 0; i < 1000; ++i) {
        const double o = OperationRoundTrip(), r = RawRoundTrip(fd);
        if (o > 0 && r > 0) {
            operation.push_back(o);
            raw.push_back(r);
        }
    }
    ::close(fd);
    SetATPort("");
    const double op = Median(operation), floor = Median(raw);
    std::printf("%-44s %8.3f ms real\n", "healthy read, median", op);
    std::printf("%-44s %8.3f ms real\n", "raw pty floor, median", floor);
    // each pair taken back to back: the median of their ratios leaves out the machine's drift
    std::vector<double> ratios;
    for (size_t i = 0; i < operation.size(); ++i)
        ratios.push_back(operation[i] / raw[i]);
    std::printf("%-44s %8.2f x (median of the pairs' ratios %.2f x)\n", "healthy read / floor", op / floor,
                Median(ratios));
    emulator.Stop();
    return 0;
}
