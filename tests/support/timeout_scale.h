#pragma once
// Tests run their waits at SETWELL_TIME_SCALE=0.01 but their device timeouts at
// full length (SETWELL_TIMEOUT_SCALE=1), so that a slow answer is never taken
// for a missing one. A test whose point is the timeout itself shortens it here,
// so that its lower bounds in program time still hold.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/win/clock.h"

namespace tooltest {

// A tenth of their length: a silent device costs a tenth of each timeout, and
// the exchanges that do answer around it keep half a second of a 5 s timeout,
// which a loaded machine or a sanitizer still meets. Shorter timeouts would
// take a slow answer for a missing one again.
inline double ShortTimeoutScale() { return std::max(TimeScale(), 0.1); }

// The least program time (GetTickCount) a wait of ms program ms may show: the
// readings at both ends are truncated, and a wait the port library measures on
// the real clock in whole milliseconds may end one real millisecond early,
// which at a scale of 0.01 is 100 program ms. A lower bound uses this, never ms
// itself; waits is the number of such waits in ms that may each round so.
inline uint32_t AtLeastMs(uint32_t ms, uint32_t waits = 1)
{
    const uint32_t tick = waits * (static_cast<uint32_t>(std::ceil(1.0 / TimeScale())) + 1);
    return ms > tick ? ms - tick : 0;
}

// A device timeout of seconds at the current timeout factor, in program ms.
inline uint32_t TimeoutInProgramMs(uint32_t seconds)
{
    return static_cast<uint32_t>(seconds * 1000.0 * TimeoutScale() / TimeScale());
}

class ScopedTimeoutScale {
public:
    explicit ScopedTimeoutScale(double scale = ShortTimeoutScale()) : old_(TimeoutScale()) { SetTimeoutScale(scale); }
    ~ScopedTimeoutScale() { SetTimeoutScale(old_); }
    ScopedTimeoutScale(const ScopedTimeoutScale&) = delete;
    ScopedTimeoutScale& operator=(const ScopedTimeoutScale&) = delete;

private:
    double old_;
};

}  // namespace tooltest
