#pragma once
// The one road of a DIAG request to the modem: build and frame the packet,
// exchange it on the current port (port kind 1), check and parse the answer,
// retry as asked. Holds DeviceOperationLock() for the whole call.
// A try's outcome is the request's own answer (a subsystem answer repeats the
// request's header), the last of them when several come; frames that answer
// something else are read past for the rest of the try's time.
#include "device/diag_codec.h"

#include <cstdint>

constexpr size_t DIAG_REQUEST_PAYLOAD_SIZE = 204800;
constexpr size_t DIAG_RESPONSE_DATA_SIZE = 4132;

enum DiagResponseStatus : uint8_t {
    DIAG_STATUS_NONE = 0, // nothing tried
    DIAG_STATUS_OK = 1,   // answered, and the answer passed the check
    DIAG_STATUS_FAILED = 2,
};

struct DiagRequestRecord {
    uint8_t code;     // DIAG command code
    uint8_t protocol; // DiagProtocol
    uint16_t headerRow; // DiagSubsystemHeaderTable row put in front of a raw request
    uint32_t payloadLength;
    uint8_t reserved[8];
    // Protocols 0 and 1: the DiagTypedRequest in the first 1284 bytes;
    // protocols 2 and 3: the packet body.
    uint8_t payload[DIAG_REQUEST_PAYLOAD_SIZE];
};

struct DiagResponseRecord {
    uint8_t untouched[3];
    uint8_t status; // DiagResponseStatus
    int32_t dataLength;
    uint8_t reserved[8];
    // Protocols 0-2: the DiagReplyRecord; protocol 3: the un-escaped answer.
    uint8_t data[DIAG_RESPONSE_DATA_SIZE];
};

// Wire headers of subsystem commands: 4B, subsystem id, 16-bit command (LE).
constexpr size_t DIAG_SUBSYSTEM_HEADER_ROWS = 15;
extern const uint8_t DiagSubsystemHeaderTable[DIAG_SUBSYSTEM_HEADER_ROWS][4];
enum DiagHeaderRow : uint16_t {
    DIAG_HEADER_DOWNLOAD_MODE = 0,   // 4B AA 00 00
    DIAG_HEADER_RESTORE_FACTORY = 8, // 4B CD 18 00
    DIAG_HEADER_AUTORUN = 14,        // 4B A1 00 00
};

// 0 whenever both records are given (the outcome is response->status);
// 41 when either is missing. tries 0 sends nothing and leaves the status.
int DiagSendCmdToBack(const DiagRequestRecord* request, DiagResponseRecord* response, uint8_t tries, int timeout);
