#pragma once
// Lays a small window over a spot of a tool every 50 ms, takes it away and
// times how long the tool takes to paint the spot again (the tool's windows
// keep no background of their own: until it draws, the spot shows what lay
// over it). Its own X connection; Xlib stays out of the tests' headers.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RepaintProbe {
public:
    RepaintProbe();
    ~RepaintProbe();
    // The spot at x,y of the window toolXid ("0x..."); false without a display.
    bool Open(const std::string& toolXid, int x, int y);
    void Start();
    void Stop();
    // Milliseconds of real time from the cover's removal to the repaint, one per round.
    std::vector<long> Latencies() const;

private:
    struct X;
    void Run();
    std::unique_ptr<X> x_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex lock_;
    std::vector<long> latencies_;
};
