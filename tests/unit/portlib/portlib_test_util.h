#pragma once
// Helpers of the port library tests: a private folder, a pseudo-terminal peer
// that plays the modem, a device folder and a loopback web server.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace portlib_test {

// A fresh folder under $TMPDIR, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    void WriteFile(const std::string& name, const std::string& text) const;  // atomic

private:
    std::string path_;
};

// Sets (or unsets, for nullptr) an environment variable for one scope.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value);
    ~EnvGuard();

private:
    std::string name_;
    std::string old_;
    bool hadOld_ = false;
};

// The master side of a pseudo-terminal. Each request (the bytes up to "\r",
// or a DIAG frame up to its end flag) is handed to the handler on the peer's
// own thread.
class PtyPeer {
public:
    using Handler = std::function<void(PtyPeer&, const std::string& request)>;
    explicit PtyPeer(Handler handler);
    // Plays on the master side of a terminal made elsewhere (a copy of masterFd).
    PtyPeer(int masterFd, Handler handler);
    ~PtyPeer();
    const std::string& SlavePath() const { return slave_; }
    void Write(const std::string& bytes);
    void CloseMaster();  // the device vanishes
    std::vector<std::string> Requests() const;

private:
    void Run();
    int master_ = -1;
    std::string slave_;
    Handler handler_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closed_{false};
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A device folder with COMn links, listing and http files; KESTLE_DEVICE_DIR
// points at it for its lifetime.
class DeviceFolder {
public:
    DeviceFolder();
    const std::string& Path() const { return dir_.Path(); }
    void LinkCom(int com, const std::string& target) const;
    void UnlinkCom(int com) const;
    void SetListing(const std::vector<std::string>& entries) const;
    void SetHttp(const std::string& lines) const;

private:
    TempDir dir_;
    EnvGuard env_;
};

struct HttpSeen {
    std::string method;
    std::string target;  // path and query
    std::string contentType;
    std::string body;
};

// A web server on 127.0.0.1 (port chosen by the system) answering every
// request with the configured status and body after the configured delay.
class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    int Port() const { return port_; }
    void Answer(int status, const std::string& body, uint32_t delayMs = 0);
    std::vector<HttpSeen> Seen() const;

private:
    void Run();
    void Serve(int fd);
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    int status_ = 200;
    std::string body_;
    uint32_t delayMs_ = 0;
    std::vector<HttpSeen> seen_;
    std::thread thread_;
};

constexpr uid_t kNobody = 65534;

// Runs body in a child process as nobody (no groups) with its standard error
// in the file stderrPath; the child's exit code, -1 when it did not exit.
int AsNobody(const std::function<int()>& body, const std::string& stderrPath = "/dev/null");

// Real milliseconds since start.
double ElapsedMs(std::chrono::steady_clock::time_point start);

}  // namespace portlib_test
