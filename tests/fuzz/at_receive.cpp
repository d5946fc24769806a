// Device text into the AT receive buffer and the response parser.
#include "device/at_engine.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// Commands whose replies take the different roads of the parser.
const uint16_t kCommands[] = {AT_CMD_NONE, AT_CMD_CIMI,      AT_CMD_CPIN, AT_CMD_CGDCONT, AT_CMD_COPS,
                              AT_CMD_ZCPE, AT_CMD_COPS_SCAN, AT_CMD_ZSNT, AT_CMD_ZPINPUK};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool installed = (InstallAtEngineTables(), true);
    (void)installed;
    static auto reply = std::make_unique<AtResponseRecord>();
    static auto response = std::make_unique<AtResponseRecord>();
    if (size < 2)
        return 0;

    ResetAtEngineState();
    AtCommandRecord command{};
    command.CmdID = kCommands[data[0] % (sizeof(kCommands) / sizeof(kCommands[0]))];
    command.Type = static_cast<uint8_t>(1 + data[0] / 64);
    command.pReply = reply.get();
    if (command.CmdID != AT_CMD_NONE)
        SetAtAwaitingResponse(command);

    // The reply arrives in two reads split where the second byte says.
    const char* text = reinterpret_cast<const char*>(data + 2);
    const size_t length = size - 2;
    const size_t split = length == 0 ? 0 : data[1] % (length + 1);
    ReceiveAtData(text, static_cast<int>(split));
    ReceiveAtData(text + split, static_cast<int>(length - split));

    memset(response.get(), 0, sizeof(AtResponseRecord));
    ParseAtResponse(response.get(), &command);
    return 0;
}
