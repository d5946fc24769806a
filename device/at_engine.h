#pragma once
// AT engine: builds command lines from the command table, exchanges them on
// the current port and parses the replies. One exchange at a time: the
// receive buffer and the last-sent command are process-wide (the public AT
// operations hold DeviceOperationLock() around every use).
#include "device/at_command_ids.h"

#include <cstddef>
#include <cstdint>

enum {
    AT_PARAM_SIZE = 1152,     // parameter text of a command, terminator included
    AT_RECV_SIZE = 102400,    // receive capacity and reply text of a response
    AT_LINE_SIZE = 1024,      // a built command line, terminator included
    AT_COMMAND_TEXT_SIZE = 30,
    AT_RESULT_TEXT_SIZE = 32,
};

// Command types: the operator written after the command text.
enum AtCommandType : uint8_t {
    AT_TYPE_EXECUTE = 1,  // nothing
    AT_TYPE_SET = 2,      // "=" and the parameters
    AT_TYPE_READ = 3,     // "?"
    AT_TYPE_TEST = 4,     // "=?"
    AT_TYPE_RAW = 5,
};

// Result codes of a response.
enum AtResultCode : uint8_t {
    AT_RESULT_NONE = 0,  // nothing received
    AT_RESULT_OK = 1,
    AT_RESULT_ERROR = 2,
    AT_RESULT_CMS_ERROR = 3,
    AT_RESULT_CME_ERROR = 4,
    AT_RESULT_PROMPT = 11,
    AT_RESULT_NOT_SUPPORT = 13,
};

// Engine results besides 0 (and 1 for the operator scan and selection).
enum {
    AT_ERR_INCOMPLETE = 47,   // no complete response yet / no line built
    AT_ERR_INVALID_ARG = 48,
    AT_ERR_NO_COMMAND = 51,   // a response was taken out but matches no command
};

// Exchange state.
enum { AT_STATE_AWAITING = 2, AT_STATE_IDLE = 4097 };

struct AtResponseRecord;

struct AtCommandRecord {
    uint16_t CmdID;
    uint8_t Type;
    uint8_t Status;
    int16_t StepNo;
    uint32_t Handle;
    AtResponseRecord* pReply;
    char szParam[AT_PARAM_SIZE];
};

struct AtResponseRecord {
    int16_t CmdID;
    uint8_t Type;
    uint8_t Result;
    uint16_t ErrorLength;  // length of the +CMS / +CME error text
    uint32_t Handle;
    AtResponseRecord* pReply;
    char szText[AT_RECV_SIZE];
};

struct AtCommandRow {
    uint16_t CmdID;
    char szText[AT_COMMAND_TEXT_SIZE];
};

struct AtResultCodeRow {
    char szText[AT_RESULT_TEXT_SIZE];
    int32_t Result;
    int32_t RowNumber;
    int32_t Kind;  // 0 the text ends the response, 1 an error text follows up to the line end
    int32_t Reserved;
};

extern const AtResultCodeRow AtResultCodeTable[];
extern const size_t AtResultCodeTableRows;
extern const AtCommandRow AtCommandTable[];
extern const size_t AtCommandTableRows;

// Last command exchanged (copied by ExecuteAtCommand).
extern AtCommandRecord g_tLastSendCmd;

// Installs the command table, the final result code table and the ready mark
// (called by every CMarlPortManager constructor).
void InstallAtEngineTables();

// Runs one command on the current port; the reply record is filled when a
// response arrives. 0 when the exchange ran or could not run, 1 for the failed
// operator scan / selection, 47 when no line could be built.
int ExecuteAtCommand(AtResponseRecord* reply, AtCommandRecord* command, int timeoutSeconds);

// "AT" + text + operator + parameters + "\r" into line (AT_LINE_SIZE bytes); 0 or 47.
int BuildAtCommandLine(const AtCommandRecord* command, char* line);

// Marks command as sent and its response awaited (copied to g_tLastSendCmd).
void SetAtAwaitingResponse(const AtCommandRecord& command);

// Appends received bytes to the receive buffer and dispatches every complete
// response. 0, or 1 when the data was refused (or overflowed the buffer).
int ReceiveAtData(const char* bytes, int length);

// Takes one response out of the receive buffer: 0, 47, 48 or 51.
int ParseAtResponse(AtResponseRecord* response, const AtCommandRecord* last);

// Steps of ParseAtResponse for a result code found at codeOffset of the
// receive buffer. Each returns true on a match; consumed and removeAt say what
// leaves the buffer.
bool ParseAtFinalResult(AtResponseRecord* response, const AtCommandRecord* last, size_t codeOffset,
                        size_t* consumed, size_t* removeAt);
bool ParseAtErrorResult(AtResponseRecord* response, size_t codeOffset, size_t codeLength, size_t* consumed);

// Joins the information lines: name gets the line name (nameSize bytes),
// collected the texts (collectedSize bytes). See MatchAtResponseToCommand.
void CollectAtInfoLines(const char* info, char* name, size_t nameSize, char* collected, size_t collectedSize);

// Decides whether the information text in response->szText answers last;
// on a match the text is replaced by the collected text.
bool MatchAtResponseToCommand(AtResponseRecord* response, const AtCommandRecord* last);

// Hands a response to the reply record of the command.
void DispatchAtResponse(const AtCommandRecord* last, AtResponseRecord* response);

// First place of pattern in text with an even number of '"' before it, or null.
const char* FindOutsideQuotes(const char* text, const char* pattern);

// 0 and *row set when a row has this id / text (first row wins), else 47.
int FindAtCommandById(uint16_t id, const AtCommandRow** row);
int FindAtCommandByText(const char* text, const AtCommandRow** row);

// Engine state for tests and the fuzz target: the unparsed received text,
// the exchange state, and a return to the state at start (tables kept).
const char* AtReceiveBufferText();
int AtExchangeState();
void ResetAtEngineState();
