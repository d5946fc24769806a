#include "platform/win/clock.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

double ReadFactor(const char* name, double fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    return (end != text && v > 0) ? v : fallback;
}

uint32_t Scale(uint32_t ms, double factor)
{
    if (ms == 0)
        return 0;
    double scaled = ms * factor;
    if (scaled >= 4294967295.0)
        return 4294967295u;
    return scaled < 1 ? 1 : static_cast<uint32_t>(scaled);
}

double DefaultTimeoutScale()
{
    static const double scale = ReadFactor("SETWELL_TIMEOUT_SCALE", TimeScale());
    return scale;
}

}  // namespace

// 0 means "the default"; a test may set its own. One slot per process: the port
// library, a shared library with its own copy of this file, binds to the
// program's copy of this function, so that a factor set by a test reaches its
// timeouts too.
// (a pointer: a C function may not return a reference)
extern "C" __attribute__((visibility("default"), noinline)) std::atomic<double>* setwell_timeout_scale_slot()
{
    static std::atomic<double> slot{0};
    return &slot;
}

double TimeScale()
{
    static const double scale = ReadFactor("SETWELL_TIME_SCALE", 1.0);
    return scale;
}

uint32_t ScaledMs(uint32_t ms)
{
    return Scale(ms, TimeScale());
}

void Sleep(uint32_t ms)
{
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int64_t>(ms * TimeScale() * 1000.0)));
}

uint32_t GetTickCount()
{
    using namespace std::chrono;
    auto us = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(static_cast<int64_t>(us / 1000.0 / TimeScale()));
}

double TimeoutScale()
{
    const double set = setwell_timeout_scale_slot()->load();
    return set > 0 ? set : DefaultTimeoutScale();
}

void SetTimeoutScale(double scale)
{
    setwell_timeout_scale_slot()->store(scale > 0 ? scale : 0);
}

uint32_t TimeoutScaledMs(uint32_t ms)
{
    return Scale(ms, TimeoutScale());
}
