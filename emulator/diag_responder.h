#pragma once
// The DIAG requests the tools send, answered as the device does.
#include <cstdint>
#include <vector>

#include "emulator/device_state.h"

namespace modemsim {

struct DiagAnswer {
    std::vector<uint8_t> packet;  // unframed reply
    AfterAnswer after = AfterAnswer::None;
};

DiagAnswer RunDiagPacket(DeviceState& state, const std::vector<uint8_t>& request);

}  // namespace modemsim
