#pragma once
// The frame every AT operation shares. Public operations (AT_) return 0 or 1
// and hold DeviceOperationLock() for their whole length; inner routines (Z)
// send exactly one command and return 0, 1 or 41.
#include "device/at_engine.h"
#include "device/at_fields.h"

#include <cstdint>
#include <cstdlib>
#include <functional>

enum {
    AT_OP_SUCCESS = 0,
    AT_OP_FALSE = 1,
    AT_OP_INVALID_PARAMETER = 41,
    AT_OP_NAME_SIZE = 512,
};

// Two zero-filled heap records (released with FreeBufferPair); 0, or 1 when
// either allocation failed (what was obtained is still handed back).
int AllocAtBuffers(AtResponseRecord*& response, AtCommandRecord*& command);

// Releases each buffer that is present (from malloc/calloc) and nulls its reference.
template <typename A, typename B>
void FreeBufferPair(A*& first, B*& second)
{
    std::free(first);
    first = nullptr;
    std::free(second);
    second = nullptr;
}

// Public frame: traces "FUN:<name>", runs inner under the device lock,
// collapses its result to 0/1 and traces the result line. outParam, when set
// and the result is 0, is traced as " OutParam:pResult:%s" before the result.
int RunPublicAtOperation(const char* name, const std::function<int()>& inner, const char* outParam = nullptr);

// Inner frame, step 1: traces "FUN:<name>".
void TraceInnerAtEntry(const char* name);
// Inner frame, step 2: traces "FUN:<name> Result:41,..." and returns 41.
int RejectInnerAtCall(const char* name);

struct AtExchangeSpec {
    AtCommandId cmdId;
    uint8_t type;
    int timeoutSeconds;
    bool requireOk; // success also needs result code 1
};

// Inner frame, steps 3 to 7: records, parameters (fill returns false when the
// text does not fit: nothing is sent), exchange, success test, reading the
// reply (read returns false to fail the routine). 0 or 1.
int RunInnerAtExchange(const AtExchangeSpec& spec, const std::function<bool(AtCommandRecord&)>& fill,
                       const std::function<bool(AtResponseRecord&)>& read);

// Passes the reply text through NormalizeAtCsvLine (fields then stand at
// characters 0, 2, 4 ...).
void NormalizeReply(AtResponseRecord& response);
// The reply text's character at index, 0 past its end.
char ReplyChar(const AtResponseRecord& response, size_t index);
