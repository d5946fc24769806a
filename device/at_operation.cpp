#include "device/at_operation.h"

#include "device/device_lock.h"
#include "device/trace_log.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// Written before each trace line; carry nothing between calls.
char g_szAtPublicName[AT_OP_NAME_SIZE];
char g_szAtInnerName[AT_OP_NAME_SIZE];

void SetName(char* text, const char* name)
{
    snprintf(text, AT_OP_NAME_SIZE, "FUN:%s", name);
}

// Reads whose answer is a line of their own; a device without data profiles
// answers the profile list with OK alone.
bool NeedsAnswerLine(const AtExchangeSpec& spec)
{
    return !(spec.cmdId == AT_CMD_CGDCONT && spec.type == AT_TYPE_READ);
}

} // namespace

int AllocAtBuffers(AtResponseRecord*& response, AtCommandRecord*& command)
{
    response = static_cast<AtResponseRecord*>(calloc(1, sizeof(AtResponseRecord)));
    command = static_cast<AtCommandRecord*>(calloc(1, sizeof(AtCommandRecord)));
    return response != nullptr && command != nullptr ? 0 : 1;
}

int RunPublicAtOperation(const char* name, const std::function<int()>& inner, const char* outParam)
{
    std::lock_guard<std::recursive_mutex> lock(DeviceOperationLock());
    SetName(g_szAtPublicName, name);
    TraceOperationLine(TRACE_SOURCE_AT, TRACE_LEVEL_FUNCTION, "%s", g_szAtPublicName);

    const int result = inner() == AT_OP_SUCCESS ? AT_OP_SUCCESS : AT_OP_FALSE;

    if (outParam != nullptr && result == AT_OP_SUCCESS) {
        // The output holds at most 255 bytes of text (its 256th byte is the caller's zero).
        TraceOperationLine(TRACE_SOURCE_AT, TRACE_LEVEL_PARAM, "%s OutParam:pResult:%.255s", g_szAtPublicName,
                           outParam);
    }
    SetName(g_szAtPublicName, name);
    return TraceOperationResult(TRACE_SOURCE_AT, g_szAtPublicName, result);
}

void TraceInnerAtEntry(const char* name)
{
    SetName(g_szAtInnerName, name);
    TraceOperationLine(TRACE_SOURCE_AT, TRACE_LEVEL_FUNCTION, "%s", g_szAtInnerName);
}

int RejectInnerAtCall(const char* name)
{
    SetName(g_szAtInnerName, name);
    return TraceOperationResult(TRACE_SOURCE_AT, g_szAtInnerName, AT_OP_INVALID_PARAMETER);
}

int RunInnerAtExchange(const AtExchangeSpec& spec, const std::function<bool(AtCommandRecord&)>& fill,
                       const std::function<bool(AtResponseRecord&)>& read)
{
    AtResponseRecord* response = nullptr;
    AtCommandRecord* command = nullptr;
    if (AllocAtBuffers(response, command) != 0) {
        FreeBufferPair(response, command);
        return AT_OP_FALSE;
    }
    command->CmdID = spec.cmdId;
    command->Type = spec.type;
    // A parameter text that does not fit is not sent cut.
    if (fill && !fill(*command)) {
        FreeBufferPair(response, command);
        return AT_OP_FALSE;
    }
    bool ok = ExecuteAtCommand(response, command, spec.timeoutSeconds) == 0 &&
              (!spec.requireOk || response->Result == AT_RESULT_OK);
    // OK alone carries no value: the outputs would keep the caller's values
    if (ok && read && response->Result == AT_RESULT_OK && response->szText[0] == '\0' && NeedsAnswerLine(spec))
        ok = false;
    if (ok && read)
        ok = read(*response);
    FreeBufferPair(response, command);
    return ok ? AT_OP_SUCCESS : AT_OP_FALSE;
}

void NormalizeReply(AtResponseRecord& response)
{
    response.szText[sizeof(response.szText) - 1] = '\0';
    NormalizeAtCsvLine(response.szText);
}

char ReplyChar(const AtResponseRecord& response, size_t index)
{
    return index < strnlen(response.szText, sizeof(response.szText)) ? response.szText[index] : '\0';
}
