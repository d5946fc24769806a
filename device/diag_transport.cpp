#include "device/diag_transport.h"

#include "device/device_lock.h"
#include "device/port_scanner.h"
#include "device/trace_log.h"
#include "platform/portlib/KestlePortServer.h"

#include "platform/win/clock.h"

#include <algorithm>
#include <chrono>
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

// What a frame of the exchange is to the request just sent.
enum class Verdict {
    Answer,  // the request's own answer
    Foreign, // a good frame that answers something else: an event report, a stale answer
    Refused, // a damaged frame or the device's error reply: the try fails at once
};

// The bytes an answer must begin with: a subsystem request's answer repeats
// its header (4B, subsystem id, command), any other raw answer its first byte.
struct AnswerHead {
    uint8_t bytes[4];
    uint32_t length;
};

AnswerHead HeadOf(const DiagTransferState& t)
{
    AnswerHead head{{t.sendBuffer[0]}, 1};
    if (t.sendBuffer[0] == DIAG_CMD_SUBSYSTEM && t.sendLength >= 4) {
        std::memcpy(head.bytes, t.sendBuffer, 4);
        head.length = 4;
    }
    return head;
}

Verdict ForeignUnlessBroken(const uint8_t* frame, uint32_t length)
{
    return DiagFrameIntact(frame, length) && !IsDiagErrorCode(frame[0]) ? Verdict::Foreign : Verdict::Refused;
}

// Judges the frame in the receive buffer.
Verdict JudgeFrame(const DiagRequestRecord& request, DiagTransferState& t, const AnswerHead& head)
{
    SkipLeadingFlags(t);
    DumpDiagFrame(t, t.receiveLength, false);
    switch (t.protocol) {
    case DIAG_PROTOCOL_TYPED:
        if (t.receiveBuffer[0] != request.code)
            return ForeignUnlessBroken(t.receiveBuffer, t.receiveLength);
        if (CheckDiagFrame(t))
            return Verdict::Answer;
        // legacy EFS: the parsed status is the answer, good or not
        return t.typedRequest.code == DIAG_CMD_LEGACY_EFS ? Verdict::Answer : Verdict::Refused;
    case DIAG_PROTOCOL_RAW:
        if (!CheckDiagFrame(t))
            return Verdict::Refused;
        if (t.receiveLength >= head.length && std::memcmp(t.receiveBuffer, head.bytes, head.length) == 0)
            return Verdict::Answer;
        return IsDiagErrorCode(t.receiveBuffer[0]) ? Verdict::Refused : Verdict::Foreign;
    case DIAG_PROTOCOL_BOOT:
    case DIAG_PROTOCOL_STREAMING:
        return CheckDiagFrame(t) ? Verdict::Answer : Verdict::Refused;
    default:
        return Verdict::Refused;
    }
}

// The port library cuts a read at the first end flag behind the data; bytes
// without one are the start of a frame whose rest is still to come.
bool EndsAFrame(const uint8_t* bytes, uint32_t length)
{
    const uint8_t* data = std::find_if(bytes, bytes + length, [](uint8_t b) { return b != DIAG_FLAG; });
    return std::find(data, bytes + length, DIAG_FLAG) != bytes + length;
}

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineOf(int timeout)
{
    const uint32_t seconds = static_cast<uint32_t>(std::clamp(timeout, 0, 86400));
    return Clock::now() + std::chrono::milliseconds(TimeoutScaledMs(seconds * 1000u));
}

// The rest of a try's time in the port library's whole seconds, rounded up so
// that a try never ends before its timeout; 0 when it is over.
int SecondsLeft(Clock::time_point deadline)
{
    const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    const long long second = std::max<uint32_t>(1, TimeoutScaledMs(1000));
    return static_cast<int>((left + second - 1) / second);
}

// A flood of frames (a modem streaming its log) ends a try all the same.
constexpr int kFramesPerTry = 64;

struct LastRead {
    uint8_t bytes[DIAG_RECEIVE_BUFFER_SIZE];
    uint32_t count = 0;
    bool got = false;
};

struct Outcome {
    DiagTransferState state; // as the answer's check left it
    uint32_t received = 0;   // bytes of the answer as received
};

// One exchange and its verdict. Behind a frame that is not the answer the port
// is read on for the rest of the try's time; behind the answer only what is
// already there is read, and the last answer of them is the outcome (an
// earlier one is a late answer to an earlier try).
bool TryOnce(const DiagRequestRecord& request, DiagTransferState& t, uint32_t frameLength, const AnswerHead& head,
             int timeout, Outcome* outcome, LastRead* last)
{
    DumpDiagFrame(t, frameLength, true);
    if (KestleInitPort(PORT_KIND_DIAG, g_szPortName) != 0)
        return false;
    const Clock::time_point deadline = DeadlineOf(timeout);
    const unsigned char* send = t.sendBuffer;
    int sendLength = static_cast<int>(frameLength);
    int wait = timeout;
    bool answered = false;
    int frames = 0;
    uint32_t carry = 0; // bytes of a frame whose end is still to come
    for (;;) {
        if (carry == 0)
            std::memset(t.receiveBuffer, 0, sizeof t.receiveBuffer);
        const int room = static_cast<int>(DIAG_RECEIVE_BUFFER_SIZE - carry);
        int received = room;
        t.receiveLength = 0;
        const int result = KestleReadMsgFromPort_sync(PORT_KIND_DIAG, g_szPortName, send, sendLength,
                                                      t.receiveBuffer + carry, &received, wait);
        send = nullptr;
        sendLength = 0;
        const uint32_t count = static_cast<uint32_t>(std::clamp(received, 0, room));
        if (result != 0 || count == 0)
            break;
        t.receiveLength = carry + count;
        std::memcpy(last->bytes, t.receiveBuffer, t.receiveLength);
        last->count = t.receiveLength;
        last->got = true;
        if (!EndsAFrame(t.receiveBuffer, t.receiveLength)) {
            carry = t.receiveLength;
            wait = SecondsLeft(deadline);
            if (wait > 0 && carry < DIAG_RECEIVE_BUFFER_SIZE)
                continue;
            break;
        }
        carry = 0;
        switch (JudgeFrame(request, t, head)) {
        case Verdict::Answer:
            answered = true;
            outcome->state = t;
            outcome->received = last->count;
            wait = 0;
            break;
        case Verdict::Foreign:
            wait = answered ? 0 : SecondsLeft(deadline);
            if (wait == 0 && !answered)
                return false; // the try's time is over
            break;
        case Verdict::Refused:
            wait = 0;
            break;
        }
        if (++frames >= kFramesPerTry)
            break;
    }
    // a cut frame is judged all the same, for the reason it leaves
    if (carry > 0 && !answered) {
        t.receiveLength = carry;
        JudgeFrame(request, t, head);
    }
    return answered;
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

    const AnswerHead head = HeadOf(t);
    uint32_t frameLength = BuildDiagFrame(t);
    Outcome outcome;
    LastRead last;
    bool success = false;
    if (frameLength > 0) {
        for (unsigned attempt = 0; attempt < tries && !success; ++attempt)
            success = TryOnce(*request, t, frameLength, head, timeout, &outcome, &last);
    }

    if (success) {
        const DiagTransferState& answer = outcome.state;
        response->status = DIAG_STATUS_OK;
        if (answer.protocol <= DIAG_PROTOCOL_STREAMING && answer.receiveLength != 0) {
            std::memcpy(response->data, answer.reply.bytes, DIAG_REPLY_RECORD_SIZE);
            response->dataLength = static_cast<int32_t>(DIAG_REPLY_RECORD_SIZE);
        } else {
            std::memcpy(response->data, answer.receiveBuffer, outcome.received);
            response->dataLength = static_cast<int32_t>(outcome.received);
        }
    } else {
        response->status = DIAG_STATUS_FAILED;
        if (last.got) {
            std::memcpy(response->data, last.bytes, last.count);
            response->dataLength = static_cast<int32_t>(last.count);
        }
    }
    return 0;
}
