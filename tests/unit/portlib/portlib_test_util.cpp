#include "tests/unit/portlib/portlib_test_util.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/win/clock.h"

namespace portlib_test {
namespace {

// run directly (outside ctest) the waits stay short as well
const bool g_scaled = [] { return setenv("SETWELL_TIME_SCALE", "0.01", 0) == 0; }();

}  // namespace

int AsNobody(const std::function<int()>& body, const std::string& stderrPath)
{
    std::fflush(stderr);
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (err < 0 || ::dup2(err, 2) < 0 || ::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 ||
            ::setuid(kNobody) != 0)
            ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

double ElapsedMs(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/portlib-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::WriteFile(const std::string& name, const std::string& text) const
{
    const std::string tmp = path_ + "/." + name + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::rename(tmp.c_str(), (path_ + "/" + name).c_str());
}

EnvGuard::EnvGuard(const char* name, const char* value) : name_(name)
{
    if (const char* old = std::getenv(name)) {
        hadOld_ = true;
        old_ = old;
    }
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

EnvGuard::~EnvGuard()
{
    if (hadOld_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

PtyPeer::PtyPeer(Handler handler) : handler_(std::move(handler))
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error("ptsname failed");
    slave_ = name;
    thread_ = std::thread([this] { Run(); });
}

PtyPeer::PtyPeer(int masterFd, Handler handler) : handler_(std::move(handler))
{
    master_ = ::fcntl(masterFd, F_DUPFD_CLOEXEC, 0);
    if (master_ < 0)
        throw std::runtime_error("bad master");
    thread_ = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer()
{
    stop_ = true;
    thread_.join();
    CloseMaster();
}

void PtyPeer::CloseMaster()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!closed_.exchange(true))
        ::close(master_);
}

void PtyPeer::Write(const std::string& bytes)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_)
        return;
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
        if (n <= 0)
            return;
        sent += static_cast<size_t>(n);
    }
}

std::vector<std::string> PtyPeer::Requests() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

void PtyPeer::Run()
{
    std::string pending;
    while (!stop_ && !closed_) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 5) <= 0 || !(p.revents & POLLIN)) {
            if (p.revents & POLLHUP)  // no slave open right now
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        char chunk[4096];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        pending.append(chunk, static_cast<size_t>(n));
        for (;;) {
            size_t end = pending.find('\r');
            const size_t data = pending.find_first_not_of('\x7E');
            const size_t flag = data == std::string::npos ? std::string::npos : pending.find('\x7E', data);
            end = std::min(end, flag);
            if (end == std::string::npos)
                break;
            const std::string request = pending.substr(0, end + 1);
            pending.erase(0, end + 1);
            {
                std::lock_guard<std::mutex> guard(lock_);
                requests_.push_back(request);
            }
            handler_(*this, request);
        }
    }
}

DeviceFolder::DeviceFolder() : env_("KESTLE_DEVICE_DIR", dir_.Path().c_str()) {}

void DeviceFolder::LinkCom(int com, const std::string& target) const
{
    const std::string link = Path() + "/COM" + std::to_string(com);
    ::unlink(link.c_str());
    if (::symlink(target.c_str(), link.c_str()) != 0)
        throw std::runtime_error("symlink failed");
}

void DeviceFolder::UnlinkCom(int com) const { ::unlink((Path() + "/COM" + std::to_string(com)).c_str()); }

void DeviceFolder::SetListing(const std::vector<std::string>& entries) const
{
    std::string text;
    for (const std::string& e : entries)
        text += e + "\n";
    dir_.WriteFile("listing", text);
}

void DeviceFolder::SetHttp(const std::string& lines) const { dir_.WriteFile("http", lines); }

LoopbackHttpServer::LoopbackHttpServer()
{
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_, 16) != 0 || ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("no loopback server");
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stop_ = true;
    thread_.join();
    ::close(listen_);
}

void LoopbackHttpServer::Answer(int status, const std::string& body, uint32_t delayMs)
{
    std::lock_guard<std::mutex> guard(lock_);
    status_ = status;
    body_ = body;
    delayMs_ = delayMs;
}

std::vector<HttpSeen> LoopbackHttpServer::Seen() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return seen_;
}

void LoopbackHttpServer::Run()
{
    while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 5) <= 0)
            continue;
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            Serve(fd);
            ::close(fd);
        }
    }
}

namespace {

std::string HeaderValue(const std::string& head, const std::string& name)
{
    std::string lower = head;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos)
        return {};
    size_t start = at + name.size() + 3;
    while (start < head.size() && head[start] == ' ')
        ++start;
    return head.substr(start, head.find("\r\n", start) - start);
}

}  // namespace

void LoopbackHttpServer::Serve(int fd)
{
    std::string data;
    char chunk[4096];
    size_t headEnd = std::string::npos;
    size_t bodyLength = 0;
    const auto start = std::chrono::steady_clock::now();
    while (ElapsedMs(start) < 5000) {
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                const std::string length = HeaderValue(data.substr(0, headEnd + 2), "content-length");
                bodyLength = length.empty() ? 0 : std::stoul(length);
            }
        }
        if (headEnd != std::string::npos && data.size() >= headEnd + 4 + bodyLength)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        data.append(chunk, static_cast<size_t>(n));
    }
    if (headEnd == std::string::npos)
        return;
    HttpSeen seen;
    const std::string head = data.substr(0, headEnd + 2);
    const size_t sp1 = head.find(' ');
    const size_t sp2 = head.find(' ', sp1 + 1);
    seen.method = head.substr(0, sp1);
    seen.target = head.substr(sp1 + 1, sp2 - sp1 - 1);
    seen.contentType = HeaderValue(head, "content-type");
    seen.body = data.substr(headEnd + 4, bodyLength);
    int status;
    std::string body;
    uint32_t delay;
    {
        std::lock_guard<std::mutex> guard(lock_);
        seen_.push_back(seen);
        status = status_;
        body = body_;
        delay = delayMs_;
    }
    if (delay)
        Sleep(delay);
    const std::string answer = "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
}

}  // namespace portlib_test
