#pragma once
// Tests run their waits at SETWELL_TIME_SCALE=0.01 but their device timeouts at
// full length (SETWELL_TIMEOUT_SCALE=1), so that a slow answer is never taken
// for a missing one. A test whose point is the timeout itself shortens it here,
// to the wait factor, so that its lower bounds in program time still hold.
#include "platform/win/clock.h"

namespace tooltest {

class ScopedTimeoutScale {
public:
    explicit ScopedTimeoutScale(double scale = TimeScale()) : old_(TimeoutScale()) { SetTimeoutScale(scale); }
    ~ScopedTimeoutScale() { SetTimeoutScale(old_); }
    ScopedTimeoutScale(const ScopedTimeoutScale&) = delete;
    ScopedTimeoutScale& operator=(const ScopedTimeoutScale&) = delete;

private:
    double old_;
};

}  // namespace tooltest
