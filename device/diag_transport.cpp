#include "device/diag_transport.h"

#include "device/device_lock.h"
#include "device/port_scanner.h"
#include "device/trace_log.h"
#include "platform/portlib/KestlePortServer.h"

#include <algorithm>
#include <cstring>
#include <mutex>

// Rows no operation names are reserved (subsystem 0, command 0).
const uint8_t DiagSubsystemHeaderTable[DIAG_SUBSYSTEM_HEADER_ROWS][4] = {
    {0x4B, 0xAA, 0x00, 0x00}, // 0 maker's download mode
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0xCD, 0x18, 0x00}, // 8 restore factory settings
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0x00, 0x00, 0x00},
    {0x4B, 0xA1, 0x00, 0x00}, // 14 CD-ROM autorun
};

namespace {

// Lays the subsystem header and the payload into the send buffer; a packet
// that does not fit is marked, and is then never sent.
void LayDownPacket(const DiagRequestRecord& request, DiagTransferState& t)
{
    std::memset(t.sendBuffer, 0, sizeof t.sendBuffer);
    t.sendLength = 0;
    t.sendOverflow = false;
    if (request.code == DIAG_CMD_SUBSYSTEM && request.payload[1] != DIAG_SUBSYS_EFS2) {
        if (request.headerRow < DIAG_SUBSYSTEM_HEADER_ROWS) {
            std::memcpy(t.sendBuffer, DiagSubsystemHeaderTable[request.headerRow], 4);
            t.sendLength = 4;
        } else {
            t.sendOverflow = true; // no such row: nothing sensible to send
        }
    }
    size_t payload = std::min<size_t>(request.payloadLength, DIAG_REQUEST_PAYLOAD_SIZE);
    if (payload > 0) {
        if (payload > DIAG_SEND_BUFFER_SIZE - t.sendLength) {
            t.sendOverflow = true;
        } else {
            std::memcpy(t.sendBuffer + t.sendLength, request.payload, payload);
            t.sendLength += static_cast<uint32_t>(payload);
        }
    }
    t.typedLength = static_cast<uint32_t>(std::min<size_t>(payload, DIAG_TYPED_REQUEST_SIZE));
    std::memcpy(&t.typedRequest, request.payload, DIAG_TYPED_REQUEST_SIZE);
}

// Leading flags open a frame (some modems start every frame with one); the
// frame checks read from its first data byte.
void SkipLeadingFlags(DiagTransferState& t)
{
    uint32_t skip = 0;
    while (skip < t.receiveLength && t.receiveBuffer[skip] == DIAG_FLAG)
        ++skip;
    if (skip == 0)
        return;
    std::memmove(t.receiveBuffer, t.receiveBuffer + skip, t.receiveLength - skip);
    std::memset(t.receiveBuffer + t.receiveLength - skip, 0, skip);
    t.receiveLength -= skip;
}

// Whether the frame in the receive buffer is the answer to the request whose
// packet starts with head.
bool JudgeFrame(const DiagRequestRecord& request, DiagTransferState& t, uint8_t head)
{
    SkipLeadingFlags(t);
    DumpDiagFrame(t, t.receiveLength, false);
    switch (t.protocol) {
    case DIAG_PROTOCOL_TYPED:
        if (t.receiveBuffer[0] != request.code)
            return false;
        if (CheckDiagFrame(t))
            return true;
        // legacy EFS: the parsed status is the answer, good or not
        return t.typedRequest.code == DIAG_CMD_LEGACY_EFS;
    case DIAG_PROTOCOL_RAW:
        // a raw answer echoes the packet's first byte; an event report does not
        return CheckDiagFrame(t) && t.receiveLength > 0 && t.receiveBuffer[0] == head;
    case DIAG_PROTOCOL_BOOT:
    case DIAG_PROTOCOL_STREAMING:
        return CheckDiagFrame(t);
    default:
        return false;
    }
}

// Frames of one read judged before a try counts as failed.
constexpr int kFramesPerRead = 4;

// One exchange and its verdict: when the first frame is not the answer (an
// event report ahead of it), the next frame already read is judged too.
bool TryOnce(const DiagRequestRecord& request, DiagTransferState& t, uint32_t frameLength, uint8_t head, int timeout,
             uint8_t* lastBytes, uint32_t* lastCount, bool* gotBytes)
{
    DumpDiagFrame(t, frameLength, true);
    if (KestleInitPort(PORT_KIND_DIAG, g_szPortName) != 0)
        return false;
    const unsigned char* send = t.sendBuffer;
    int sendLength = static_cast<int>(frameLength);
    int wait = timeout;
    for (int frame = 0; frame < kFramesPerRead; ++frame) {
        std::memset(t.receiveBuffer, 0, sizeof t.receiveBuffer);
        int received = static_cast<int>(DIAG_RECEIVE_BUFFER_SIZE);
        t.receiveLength = 0;
        if (KestleReadMsgFromPort_sync(PORT_KIND_DIAG, g_szPortName, send, sendLength, t.receiveBuffer, &received,
                                       wait) != 0)
            return false;
        uint32_t count = static_cast<uint32_t>(std::clamp(received, 0, static_cast<int>(DIAG_RECEIVE_BUFFER_SIZE)));
        if (count == 0)
            return false;
        t.receiveLength = count;
        std::memcpy(lastBytes, t.receiveBuffer, count);
        *lastCount = count;
        *gotBytes = true;
        if (JudgeFrame(request, t, head))
            return true;
        // the rest of the same read: no wait for anything new
        send = nullptr;
        sendLength = 0;
        wait = 0;
    }
    return false;
}

} // namespace

int DiagSendCmdToBack(const DiagRequestRecord* request, DiagResponseRecord* response, uint8_t tries, int timeout)
{
    if (!request || !response)
        return TraceOperationResult(TRACE_SOURCE_DIAG, "FUN:DiagSendCmdToBack", 41);

    std::lock_guard<std::recursive_mutex> lock(DeviceOperationLock());
    // A fresh state per exchange: fields an answer does not carry read as zero,
    // never as an older answer's.
    DiagTransferState t{};
    t.protocol = request->protocol;
    LayDownPacket(*request, t);
    if (tries == 0)
        return 0;

    const uint8_t head = t.sendBuffer[0];
    uint32_t frameLength = BuildDiagFrame(t);
    uint32_t received = 0;
    uint8_t lastBytes[DIAG_RECEIVE_BUFFER_SIZE];
    uint32_t lastCount = 0;
    bool gotBytes = false;
    bool success = false;
    if (frameLength > 0) {
        for (unsigned attempt = 0; attempt < tries && !success; ++attempt) {
            success = TryOnce(*request, t, frameLength, head, timeout, lastBytes, &lastCount, &gotBytes);
            received = lastCount;
        }
    }

    if (success) {
        response->status = DIAG_STATUS_OK;
        if (t.protocol <= DIAG_PROTOCOL_STREAMING && t.receiveLength != 0) {
            std::memcpy(response->data, t.reply.bytes, DIAG_REPLY_RECORD_SIZE);
            response->dataLength = static_cast<int32_t>(DIAG_REPLY_RECORD_SIZE);
        } else {
            std::memcpy(response->data, t.receiveBuffer, received);
            response->dataLength = static_cast<int32_t>(received);
        }
    } else {
        response->status = DIAG_STATUS_FAILED;
        if (gotBytes) {
            std::memcpy(response->data, lastBytes, lastCount);
            response->dataLength = static_cast<int32_t>(lastCount);
        }
    }
    return 0;
}
