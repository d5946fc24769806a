// Answers of any shape through the DIAG frame check and the parsers of every
// protocol, and typed requests of any content through the builders.
#include "device/diag_codec.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static DiagTransferState t;
    size_t n = std::min(size, DIAG_RECEIVE_BUFFER_SIZE);
    for (uint8_t protocol = DIAG_PROTOCOL_TYPED; protocol <= DIAG_PROTOCOL_RAW; ++protocol) {
        t.protocol = protocol;
        std::memset(t.receiveBuffer, 0, sizeof t.receiveBuffer);
        std::memcpy(t.receiveBuffer, data, n);
        t.receiveLength = static_cast<uint32_t>(n);
        const bool good = CheckDiagFrame(t);
        // the check that changes nothing agrees with the one of raw answers
        if (protocol == DIAG_PROTOCOL_RAW && good != DiagFrameIntact(data, n))
            __builtin_trap();
        DumpDiagFrame(t, static_cast<uint32_t>(n), false);
    }
    for (uint8_t protocol = DIAG_PROTOCOL_TYPED; protocol <= DIAG_PROTOCOL_BOOT; ++protocol) {
        t.protocol = protocol;
        std::memset(&t.typedRequest, 0, sizeof t.typedRequest);
        std::memcpy(&t.typedRequest, data, std::min(size, sizeof t.typedRequest));
        t.typedLength = static_cast<uint32_t>(std::min(size, DIAG_TYPED_REQUEST_SIZE));
        t.sendOverflow = false;
        t.sendLength = static_cast<uint32_t>(std::min(size, DIAG_SEND_BUFFER_SIZE));
        std::memcpy(t.sendBuffer, data, t.sendLength);
        BuildDiagFrame(t);
    }
    DiagFrameLog[0] = L'\0';
    return 0;
}
