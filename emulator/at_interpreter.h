#pragma once
// The AT command set of the emulated modem: one command line in, the answer
// (in timed bursts) out.
#include <cstdint>
#include <string>
#include <vector>

#include "emulator/device_state.h"

namespace modemsim {

struct AtBurst {
    uint32_t delayMs = 0;  // program time before this burst
    std::string text;
};

struct AtAnswer {
    std::vector<AtBurst> bursts;
    AfterAnswer after = AfterAnswer::None;
    Mode restartMode = Mode::Modem;
};

// line: the command line without its CR ("AT+CPIN?"). echo is the port's echo setting.
AtAnswer RunAtCommand(DeviceState& state, const std::string& line, bool& echo);

}  // namespace modemsim
