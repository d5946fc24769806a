// Round trips through the port library: an AT exchange over a pseudo-terminal
// whose peer answers at once, and a goform GET on a loopback web server.
// Prints the median and the 99th percentile of each. Also the first listing,
// in real time, of a modem with four unlabelled option ports (DIAG, silent,
// AT, silent) on a umockdev testbed, and the listing after it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/portlib/KestlePortServer.h"
#include "tests/hardware/usb_modem/mock_usb.h"

namespace {

using Clock = std::chrono::steady_clock;

void Report(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    std::printf("%-28s n=%zu median %.3f ms  p99 %.3f ms\n", what, ms.size(), median, p99);
}

// Answers every "\r"-ended line on the master side with "\r\nOK\r\n".
void ServeAt(int master, std::atomic<bool>* stop)
{
    std::string pending;
    while (!*stop) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
            continue;
        char chunk[512];
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0)
            continue;
        pending.append(chunk, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\r')) != std::string::npos;) {
            pending.erase(0, end + 1);
            const char ok[] = "\r\nOK\r\n";
            if (::write(master, ok, sizeof ok - 1) < 0)
                return;
        }
    }
}

// Answers every request with a short 200.
void ServeHttp(int listener, std::atomic<bool>* stop)
{
    while (!*stop) {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0)
            continue;
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        std::string head;
        char chunk[1024];
        while (head.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            head.append(chunk, static_cast<size_t>(n));
        }
        const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 21\r\nConnection: close\r\n\r\n{\"imei\":\"0123456789\"}";
        ::send(fd, answer, sizeof answer - 1, MSG_NOSIGNAL);
        ::close(fd);
    }
}

// A new plug-in of the modem each round: probed afresh.
int BenchFirstListing(int rounds)
{
    portlib_test::TempDir config;
    portlib_test::EnvGuard home("XDG_CONFIG_HOME", config.Path().c_str());
    portlib_test::EnvGuard dirs("XDG_CONFIG_DIRS", (config.Path() + "/none").c_str());
    std::vector<double> first, second;
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        hwtest::MockUsb usb;
        const std::string dev = usb.AddDevice(3, "2031", "0501", 10 + i);
        const portlib_test::PtyPeer::Handler handlers[] = {hwtest::DiagPort(), hwtest::SilentPort(),
                                                           hwtest::AtPort(), hwtest::SilentPort()};
        for (int n = 0; n < 4; ++n) {
            const std::string tty = "ttyUSB" + std::to_string(n);
            usb.AddTty(usb.AddInterface(dev, {n, "option", ""}), tty);
            usb.Serve(tty, handlers[n]);
        }
        auto start = Clock::now();
        const std::vector<std::string> listing = hwtest::Listing();
        first.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        start = Clock::now();
        hwtest::Listing();
        second.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (listing.size() != 4 || listing[0].find("Diagnostics") != 0 || listing[2].find("UI AT") == std::string::npos)
            ++failures;
    }
    Report("first listing, 4 ports (umockdev)", first);
    std::printf("%-28s max %.1f ms\n", "first listing", *std::max_element(first.begin(), first.end()));
    Report("next listing, 4 ports (umockdev)", second);
    return failures;
}

int BenchAt(const std::string& dir, int rounds)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return 1;
    const std::string link = dir + "/COM6";
    if (::symlink(ptsname(master), link.c_str()) != 0)
        return 1;
    std::atomic<bool> stop{false};
    std::thread peer(ServeAt, master, &stop);
    std::vector<double> ms;
    const unsigned char request[] = "AT\r";
    std::vector<unsigned char> reply(102400);
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        int length = static_cast<int>(reply.size());
        if (KestleInitPort(PORT_KIND_AT, "6") != 0 ||
            KestleReadMsgFromPort_sync(PORT_KIND_AT, "6", request, 3, reply.data(), &length, 5) != 0)
            ++failures;
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    KestleClosePort(PORT_KIND_AT, "6");
    stop = true;
    peer.join();
    ::close(master);
    Report("AT round trip (pty)", ms);
    return failures;
}

int BenchHttp(const std::string& dir, int rounds)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 64) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 1;
    const std::string mapping = "device.bench " + std::to_string(ntohs(addr.sin_port)) + "\n";
    if (FILE* f = std::fopen((dir + "/http").c_str(), "w")) {
        std::fputs(mapping.c_str(), f);
        std::fclose(f);
    }
    std::atomic<bool> stop{false};
    std::thread server(ServeHttp, listener, &stop);
    std::vector<double> ms;
    const unsigned char request[] = "cmd=imei";
    unsigned char reply[256];
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        int length = sizeof reply;
        if (KestleInitPort(PORT_KIND_HTTP, "") != 0 ||
            KestleReadMsgFromPort_sync(PORT_KIND_HTTP, "http://device.bench/goform/goform_get_cmd_process", request, 8,
                                       reply, &length, 5) != 0)
            ++failures;
        KestleClosePort(PORT_KIND_HTTP, "");
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    stop = true;
    server.join();
    ::close(listener);
    Report("goform GET (loopback)", ms);
    return failures;
}

}  // namespace

int main(int argc, char** argv)
{
    // libudev and the device nodes see the testbed only under umockdev's preload
    if (!std::getenv("HWTEST_UNDER_UMOCKDEV")) {
        setenv("HWTEST_UNDER_UMOCKDEV", "1", 1);
        setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);
        execv("/proc/self/exe", argv);
        return 1;
    }
    // real time throughout: the probes' waits are what is measured
    setenv("SETWELL_TIME_SCALE", "1", 1);
    setenv("SETWELL_TIMEOUT_SCALE", "1", 1);
    unsetenv("KESTLE_DEVICE_DIR");
    unsetenv("KESTLE_SYSFS_ROOT");
    const int listingFailures = BenchFirstListing(argc > 1 ? std::atoi(argv[1]) : 5);
    char pattern[] = "/tmp/portlib-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string dir = pattern;
    setenv("KESTLE_DEVICE_DIR", dir.c_str(), 1);
    const int failures = listingFailures + BenchAt(dir, 2000) + BenchHttp(dir, 500);
    std::filesystem::remove_all(dir);
    if (failures)
        std::printf("failed exchanges: %d\n", failures);
    return failures ? 1 : 0;
}
