#pragma once
// Every wait of the program, the port library and the emulator goes through
// here. SETWELL_TIME_SCALE (a factor, default 1) shortens them for tests.
#include <cstdint>

// The factor read once from SETWELL_TIME_SCALE; values <= 0 or unreadable give 1.
double TimeScale();
// ms scaled by the factor (at least 1 when ms > 0).
uint32_t ScaledMs(uint32_t ms);
// Sleeps ms milliseconds of program time.
void Sleep(uint32_t ms);
// Milliseconds of program time since an arbitrary start: real time divided by
// the factor, so that timeouts measured with it keep their meaning.
uint32_t GetTickCount();

// Device timeouts (how long an exchange waits for an answer) have a factor of
// their own: SETWELL_TIMEOUT_SCALE, default the wait factor. Tests keep it at 1
// so that a slow machine never turns an answer into a timeout, and lower it
// (SetTimeoutScale) only where the timeout itself is what they check.
double TimeoutScale();
// Replaces the timeout factor for this process; values <= 0 restore the default.
void SetTimeoutScale(double scale);
// ms scaled by the timeout factor (at least 1 when ms > 0).
uint32_t TimeoutScaledMs(uint32_t ms);
