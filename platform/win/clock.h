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
