#include "platform/win/clock.h"

#include <chrono>
#include <cstdlib>
#include <thread>

double TimeScale()
{
    static const double scale = [] {
        const char* text = std::getenv("SETWELL_TIME_SCALE");
        if (!text || !*text)
            return 1.0;
        char* end = nullptr;
        double v = std::strtod(text, &end);
        return (end != text && v > 0) ? v : 1.0;
    }();
    return scale;
}

uint32_t ScaledMs(uint32_t ms)
{
    if (ms == 0)
        return 0;
    double scaled = ms * TimeScale();
    return scaled < 1 ? 1 : static_cast<uint32_t>(scaled);
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
