#pragma once
// DIAG framing (HDLC-like, CRC-16/X.25), the packet builders of the four
// protocols and the reply parsers. Everything works on the transfer state of
// one exchange, which the caller owns and passes in.
#include <cstddef>
#include <cstdint>
#include <cwchar>

enum DiagProtocol : uint8_t {
    DIAG_PROTOCOL_TYPED = 0,     // typed DIAG packet
    DIAG_PROTOCOL_BOOT = 1,      // boot-loader download packet
    DIAG_PROTOCOL_STREAMING = 2, // streaming download packet
    DIAG_PROTOCOL_RAW = 3,       // raw subsystem request
};

constexpr uint8_t DIAG_FLAG = 0x7E;
constexpr uint8_t DIAG_ESCAPE = 0x7D;
constexpr uint8_t DIAG_ESCAPE_XOR = 0x20;

constexpr size_t DIAG_SEND_BUFFER_SIZE = 2048;
constexpr size_t DIAG_RECEIVE_BUFFER_SIZE = 1024;
constexpr size_t DIAG_TYPED_REQUEST_SIZE = 1284;
constexpr size_t DIAG_REPLY_RECORD_SIZE = 1040;
constexpr size_t DIAG_TEXT_SIZE = 1024; // DiagErrorText, DiagFrameLog (wide characters)
constexpr size_t DIAG_HELLO_TEXT_SIZE = 256;

// Codes of typed packets (request byte 0, reply byte 0). A code whose meaning
// this layer does not need is named by its number.
enum DiagCommand : uint8_t {
    DIAG_CMD_SERIAL_NUMBER = 0x01,
    DIAG_CMD_STATUS = 0x0C,
    DIAG_CMD_BAD_COMMAND = 0x13, // the BAD_ codes are the device's error replies
    DIAG_CMD_BAD_PARAMETERS = 0x14,
    DIAG_CMD_BAD_LENGTH = 0x15,
    DIAG_CMD_BAD_MODE = 0x18,
    DIAG_CMD_NV_READ = 0x26,
    DIAG_CMD_NV_WRITE = 0x27,
    DIAG_CMD_CONTROL = 0x29,
    DIAG_CMD_SHORT_VERSION = 0x38,
    DIAG_CMD_VERSION = 0x39,
    DIAG_CMD_DOWNLOAD = 0x3A,
    DIAG_CMD_ROAMING_LIST_WRITE = 0x48,
    DIAG_CMD_ROAMING_LIST_READ = 0x49,
    DIAG_CMD_SUBSYSTEM = 0x4B,
    DIAG_CMD_LEGACY_EFS = 0x59,
    DIAG_CMD_PORT_RATE = 0x5C,
    DIAG_CMD_BUILD_ID = 0x7C,
    DIAG_CMD_X89 = 0x89,
    DIAG_CMD_X8A = 0x8A,
    DIAG_CMD_NV_X9C = 0x9C, // laid out as NV read and write
};

// Subsystems of DIAG_CMD_SUBSYSTEM (request and reply byte 1).
constexpr uint8_t DIAG_SUBSYS_EFS2 = 0x13;
constexpr uint8_t DIAG_SUBSYS_CD = 0xCD;

// The request as the builders of protocols 0 and 1 read it: request bytes
// 0..1283 (byte 0 code, byte 1 sub byte, bytes 2-3 the word, data from 4).
struct DiagTypedRequest {
    uint8_t code;
    uint8_t sub;
    uint8_t word[2]; // little-endian
    uint8_t data[DIAG_TYPED_REQUEST_SIZE - 4];
};
static_assert(sizeof(DiagTypedRequest) == DIAG_TYPED_REQUEST_SIZE);

// Layout of the NV typed request (NV read, NV write, NV_X9C): item number in
// the word, item image in the data, then the NV status.
constexpr size_t DIAG_NV_ITEM_SIZE = 128;
constexpr size_t DIAG_NV_REQUEST_STATUS_OFFSET = offsetof(DiagTypedRequest, data) + DIAG_NV_ITEM_SIZE;

// Parsed reply; byte 0 is the reply's command code, the rest by code.
struct DiagReplyRecord {
    uint8_t bytes[DIAG_REPLY_RECORD_SIZE];
};

// Where the fields of the replies the operations read stand in the record.
constexpr size_t DIAG_REPLY_FIRST_FIELD = 1;      // behind the code
constexpr size_t DIAG_REPLY_NV_ITEM_OFFSET = 1;   // 16-bit item number
constexpr size_t DIAG_REPLY_NV_DATA_OFFSET = 3;   // 128 bytes
constexpr size_t DIAG_REPLY_NV_STATUS_OFFSET = 131; // 16-bit, 0 = done
constexpr size_t DIAG_VERSION_TEXT_COUNT = 9;
constexpr size_t DIAG_VERSION_TEXT_SLOT = 31;     // text k at 1 + 31k
constexpr size_t DIAG_VERSION_DATE_OFFSET = 280;  // 12 characters
constexpr size_t DIAG_VERSION_EXTRA_OFFSET = 293; // 9 bytes
constexpr size_t DiagVersionTextOffset(size_t k) { return DIAG_REPLY_FIRST_FIELD + DIAG_VERSION_TEXT_SLOT * k; }

uint16_t DiagReplyU16(const DiagReplyRecord& reply, size_t offset);
uint32_t DiagReplyU32(const DiagReplyRecord& reply, size_t offset);

// The buffers and records of one exchange.
struct DiagTransferState {
    uint8_t sendBuffer[DIAG_SEND_BUFFER_SIZE];
    uint32_t sendLength;
    bool sendOverflow; // the laid-down bytes did not fit the send buffer
    // One byte more than the capacity given to the port library: the check
    // may put a missing leading flag in front of a full answer.
    uint8_t receiveBuffer[DIAG_RECEIVE_BUFFER_SIZE + 1];
    uint32_t receiveLength; // bytes received; after the check the parser's read position
    uint8_t protocol;
    uint32_t typedLength; // payload bytes behind the typed request (at most 1284)
    DiagTypedRequest typedRequest;
    DiagReplyRecord reply;
    uint16_t replyLength; // received length as received, flags and escapes included
    char helloText[DIAG_HELLO_TEXT_SIZE];
    uint32_t helloLength;
};

// Reason of the last rejected answer; never cleared.
extern wchar_t DiagErrorText[DIAG_TEXT_SIZE];
// Every dump line while it fits; never cleared.
extern wchar_t DiagFrameLog[DIAG_TEXT_SIZE];

// Builds the packet of the current protocol and frames it in the send buffer.
// Returns the frame length; 0 when the packet cannot be built within the
// typed request or the frame would not fit the send buffer.
uint32_t BuildDiagFrame(DiagTransferState& t);
// Un-escapes the received frame in place, checks end flag and CRC and runs
// the parser of the current protocol; true when the answer is good.
bool CheckDiagFrame(DiagTransferState& t);
// Whether bytes (a frame from its first data byte on) end in a flag and carry
// a good CRC; nothing is changed and no reason text is set.
bool DiagFrameIntact(const uint8_t* bytes, size_t length);
// The device's error replies: bad command, bad parameters, bad length, bad mode.
constexpr bool IsDiagErrorCode(uint8_t code)
{
    return code == DIAG_CMD_BAD_COMMAND || code == DIAG_CMD_BAD_PARAMETERS || code == DIAG_CMD_BAD_LENGTH ||
           code == DIAG_CMD_BAD_MODE;
}
// Appends "W: "/"R: " "Len n: " and up to ten bytes in hex to DiagFrameLog.
void DumpDiagFrame(const DiagTransferState& t, uint32_t count, bool written);

// Pure framing helpers behind BuildDiagFrame; false when out does not hold the frame.
bool FrameDiagPacket(const uint8_t* packet, size_t length, bool leadingFlag, uint8_t* out, size_t room,
                     size_t* frameLength);

// Reason texts.
const wchar_t* DiagEfsStatusText(unsigned status);
const wchar_t* DiagBootNakText(unsigned reason); // nullptr for a reason without text

extern const wchar_t* const DIAG_TEXT_NO_END_FLAG;
extern const wchar_t* const DIAG_TEXT_WRONG_CRC;
