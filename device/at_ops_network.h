#pragma once
// AT operations on data profiles, network mode and selection, operators,
// mode switch, band lock, device flags and data roaming, and the frame that
// every AT operation shares. Public operations (AT_) return 0 or 1 and hold
// DeviceOperationLock() for their whole length; inner routines (Z) send
// exactly one command and return 0, 1 or 41.
#include "device/at_engine.h"
#include "device/at_fields.h"

#include <cstdint>
#include <cstdlib>
#include <functional>

struct DeviceFlagRecord {
    uint8_t flag0;
    uint8_t flag1;
    uint8_t flag2;
};

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

// --- frame shared by the AT operations -----------------------------------

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

// --- public operations ---------------------------------------------------

int AT_CGDCONT_READ(PdpContextList* list);
int AT_CGDCONT_READ_ONLY_MODIFY_APN(char* text); // text: at least 1024 bytes
int AT_CGDCONT_SET(const PdpContextEntry* entry);
int AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN(const char* param);
int AT_CGDCONT_DELETE(int cid);
int AT_GET_DEVICE_NETWORK_STATE(int* state);
int AT_GET_DEVICE_NETWORK_STATE_SELECT(int* mode, int* select);
int AT_SET_DEVICE_NETWORK_STATE_SELECT(int mode, int select);
int AT_COPS_READ(OperatorList* list);
int AT_COPS_SET(OperatorList list);
int AT_ENTER_RNDIS_MODE();
int AT_MarlRestart();
int AT_SET_BAND(const char* band);
int AT_GET_DEVICE_FLAG_STATE(DeviceFlagRecord* flags);
int AT_SET_DEVICE_FLAG_STATE(const DeviceFlagRecord* flags);
int AT_GetRoaming(int* value);
int AT_SetRoaming(int value);

// --- inner routines ------------------------------------------------------

int ZCGDCONT_READ(PdpContextList* list);
int ZCGDCONT_READ_ONLY_MODIFY_APN(char* text);
int ZCGDCONT_SET(const PdpContextEntry* entry);
int ZCGDCONT_SET_ONLY_MODIFY_APN(const char* param);
int ZCGDCONT_DELETE(int cid);
int ZGET_NETWORK_STATE(int* state);
int ZGET_NETWORK_SELECT_STATE(int* mode, int* select);
int ZSetNetSettingMode_Exec(int mode, int select);
int ZCOPS_READ(OperatorList* list);
int ZCOPS_SET(const OperatorList& list);
int ZENTER_RNDIS_MODE();
int ZMARLRESTART_Exec();
int ZSET_BAND(const char* band);
int ZGET_ROAM_STATE(DeviceFlagRecord* flags);
int ZSET_ROAM_STATE(const DeviceFlagRecord* flags);
int ZGET_ROAMING_STATE(int* value);
int ZSET_ROAMING_STATE(int value);
