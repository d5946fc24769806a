#include "device/at_ops_sim.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The outputs get exactly the first 255 bytes; the record is zero behind the text.
bool CopySimText(const AtResponseRecord& response, char* out)
{
    memcpy(out, response.szText, AT_SIM_TEXT_COPY);
    return true;
}

bool ReadFlagOne(AtResponseRecord& response, int* state)
{
    NormalizeReply(response);
    *state = ReplyChar(response, 0) == '1' ? 1 : 0;
    return true;
}

int ReadPolicyLock(const char* name, AtCommandId cmdId, int* state)
{
    TraceInnerAtEntry(name);
    if (state == nullptr)
        return RejectInnerAtCall(name);
    return RunInnerAtExchange({cmdId, AT_TYPE_READ, 5, true}, nullptr,
                              [&](AtResponseRecord& r) { return ReadFlagOne(r, state); });
}

// A modem in numeric error mode names the SIM states by their codes; the
// callers read the verbose texts.
const char* SimStateTextOfCode(const char* code)
{
    static const struct {
        const char* code;
        const char* text;
    } kTexts[] = {
        {"10", "SIM not inserted"}, {"11", "SIM PIN required"},  {"12", "SIM PUK required"},
        {"13", "SIM failure"},      {"14", "SIM busy"},          {"15", "SIM wrong"},
        {"17", "SIM PIN2 required"}, {"18", "SIM PUK2 required"},
    };
    for (const auto& t : kTexts) {
        if (strcmp(code, t.code) == 0)
            return t.text;
    }
    return nullptr;
}

bool CopySimState(AtResponseRecord& response, char* out)
{
    if (response.Result == AT_RESULT_CME_ERROR) {
        response.szText[sizeof(response.szText) - 1] = '\0';
        if (const char* text = SimStateTextOfCode(response.szText))
            snprintf(response.szText, sizeof(response.szText), "%s", text);
    }
    return CopySimText(response, out);
}

} // namespace

int ZCPIN_Exec(char* result)
{
    TraceInnerAtEntry("ZCPIN_Exec");
    if (result == nullptr)
        return RejectInnerAtCall("ZCPIN_Exec");
    return RunInnerAtExchange({AT_CMD_CPIN, AT_TYPE_READ, 5, false}, nullptr,
                              [&](AtResponseRecord& r) { return CopySimState(r, result); });
}

int ZCHECK_PIN(const char* pin)
{
    TraceInnerAtEntry("ZCHECK_PIN");
    if (pin == nullptr)
        return RejectInnerAtCall("ZCHECK_PIN");
    return RunInnerAtExchange(
        {AT_CMD_CPIN, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) { return FormatText(c.szParam, sizeof(c.szParam), "\"%s\"", pin) == 0; }, nullptr);
}

int ZSET_PIN_PUK(const char* puk, const char* newPin)
{
    TraceInnerAtEntry("ZSET_PIN_PUK");
    if (puk == nullptr || newPin == nullptr)
        return RejectInnerAtCall("ZSET_PIN_PUK");
    return RunInnerAtExchange(
        {AT_CMD_CPIN, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) {
            return FormatText(c.szParam, sizeof(c.szParam), "\"%s\",\"%s\"", puk, newPin) == 0;
        },
        nullptr);
}

int ZGET_PIN_PUK_TIMES(int* pinTimes, int* pukTimes)
{
    TraceInnerAtEntry("ZGET_PIN_PUK_TIMES");
    if (pinTimes == nullptr || pukTimes == nullptr)
        return RejectInnerAtCall("ZGET_PIN_PUK_TIMES");
    return RunInnerAtExchange({AT_CMD_ZPINPUK, AT_TYPE_TEST, 5, true}, nullptr, [&](AtResponseRecord& r) {
        NormalizeReply(r);
        // A count the reply does not give keeps the caller's value.
        sscanf(r.szText, "%d %d", pinTimes, pukTimes);
        return true;
    });
}

int ZGET_PIN_STATE(int* state)
{
    TraceInnerAtEntry("ZGET_PIN_STATE");
    if (state == nullptr)
        return RejectInnerAtCall("ZGET_PIN_STATE");
    return RunInnerAtExchange(
        {AT_CMD_CLCK, AT_TYPE_SET, 5, true},
        [](AtCommandRecord& c) { return FormatText(c.szParam, sizeof(c.szParam), "\"%s\",%d", "sc", 2) == 0; },
        [&](AtResponseRecord& r) { return ReadFlagOne(r, state); });
}

int ZSET_PIN(const char* oldPin, const char* newPin)
{
    TraceInnerAtEntry("ZSET_PIN");
    if (oldPin == nullptr || newPin == nullptr)
        return RejectInnerAtCall("ZSET_PIN");
    return RunInnerAtExchange(
        {AT_CMD_CPWD, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) {
            return FormatText(c.szParam, sizeof(c.szParam), "\"%s\",\"%s\",\"%s\"", "sc", oldPin, newPin) == 0;
        },
        nullptr);
}

int ZGET_APN_LOCK_STATE(int* state)
{
    return ReadPolicyLock("ZGET_APN_LOCK_STATE", AT_CMD_ZAPNLOCK, state);
}

int ZGET_ACT_LOCK_STATE(int* state)
{
    return ReadPolicyLock("ZGET_ACT_LOCK_STATE", AT_CMD_ZACTLOCK, state);
}

int ZGET_ROAM_LOCK_STATE(int* state)
{
    return ReadPolicyLock("ZGET_ROAM_LOCK_STATE", AT_CMD_ZROAMLOCK, state);
}

int AT_CPIN(char* result)
{
    return RunPublicAtOperation("AT_CPIN", [&] { return ZCPIN_Exec(result); }, result);
}

int AT_CHECK_PIN(const char* pin)
{
    return RunPublicAtOperation("AT_CHECK_PIN", [&] { return ZCHECK_PIN(pin); });
}

int AT_SET_PIN_PUK(const char* puk, const char* newPin)
{
    return RunPublicAtOperation("AT_SET_PIN_PUK", [&] { return ZSET_PIN_PUK(puk, newPin); });
}

int AT_GET_PIN_PUK_TIMES(int* pinTimes, int* pukTimes)
{
    return RunPublicAtOperation("AT_GET_PIN_PUK_TIMES", [&] { return ZGET_PIN_PUK_TIMES(pinTimes, pukTimes); });
}

int AT_GET_PIN_STATE(int* state)
{
    return RunPublicAtOperation("AT_GET_PIN_STATE", [&] { return ZGET_PIN_STATE(state); });
}

int AT_SET_PIN(const char* oldPin, const char* newPin)
{
    return RunPublicAtOperation("AT_SET_PIN", [&] { return ZSET_PIN(oldPin, newPin); });
}

int AT_GET_APN_LOCK_STATE(int* state)
{
    return RunPublicAtOperation("AT_GET_APN_LOCK_STATE", [&] { return ZGET_APN_LOCK_STATE(state); });
}

int AT_GET_ACT_LOCK_STATE(int* state)
{
    return RunPublicAtOperation("AT_GET_ACT_LOCK_STATE", [&] { return ZGET_ACT_LOCK_STATE(state); });
}

int AT_GET_ROAM_LOCK_STATE(int* state)
{
    return RunPublicAtOperation("AT_GET_ROAM_LOCK_STATE", [&] { return ZGET_ROAM_LOCK_STATE(state); });
}

#if defined(SETWELL_USER_AUTH)

int ZGET_IMSI(char* imsi)
{
    TraceInnerAtEntry("ZGET_IMSI");
    if (imsi == nullptr)
        return RejectInnerAtCall("ZGET_IMSI");
    return RunInnerAtExchange({AT_CMD_CIMI, AT_TYPE_EXECUTE, 5, false}, nullptr,
                              [&](AtResponseRecord& r) { return CopySimText(r, imsi); });
}

int ZGET_CRSM(char* reply)
{
    TraceInnerAtEntry("ZGET_CRSM");
    if (reply == nullptr)
        return RejectInnerAtCall("ZGET_CRSM");
    // READ BINARY of EF-GID1 (0x6F3E), offsets 0, length 0.
    return RunInnerAtExchange(
        {AT_CMD_CRSM, AT_TYPE_SET, 5, false},
        [](AtCommandRecord& c) {
            return FormatText(c.szParam, sizeof(c.szParam), "%d,%d,%d,%d,%d", 176, 28478, 0, 0, 0) == 0;
        },
        [&](AtResponseRecord& r) { return CopySimText(r, reply); });
}

int ZSET_ID_PASSWORD_AUTH(const char* userName, const char* password, int authType)
{
    TraceInnerAtEntry("ZSET_ID_PASSWORD_AUTH");
    if (authType != AT_AUTH_NONE && (userName == nullptr || password == nullptr))
        return RejectInnerAtCall("ZSET_ID_PASSWORD_AUTH");
    return RunInnerAtExchange(
        {AT_CMD_QCPDPP, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) {
            if (authType == AT_AUTH_NONE)
                return FormatText(c.szParam, sizeof(c.szParam), "%d,%d", AT_USER_AUTH_CID, AT_AUTH_NONE) == 0;
            // The device takes the password before the user name.
            return FormatText(c.szParam, sizeof(c.szParam), "%d,%d,\"%s\",\"%s\"", AT_USER_AUTH_CID, authType,
                              password, userName) == 0;
        },
        nullptr);
}

int ZGET_ID_AUTH(char* userName, int* authType)
{
    TraceInnerAtEntry("ZGET_ID_AUTH");
    if (userName == nullptr || authType == nullptr)
        return RejectInnerAtCall("ZGET_ID_AUTH");
    return RunInnerAtExchange({AT_CMD_QCPDPP, AT_TYPE_READ, 5, false}, nullptr, [&](AtResponseRecord& r) {
        IdAuthList list{};
        ParseIdAuthList(r.szText, &list);
        const int rows = std::clamp<int>(list.count, 0, AT_LIST_ROWS);
        for (int i = 0; i < rows; ++i) {
            const IdAuthEntry& row = list.entries[i];
            if (row.cid != AT_USER_AUTH_CID)
                continue;
            if (row.authType <= AT_AUTH_CHAP)
                *authType = row.authType;
            // Name characters only: the caller's zero-filled output terminates them.
            memcpy(userName, row.userName, strnlen(row.userName, sizeof(row.userName) - 1));
        }
        return true;
    });
}

int AT_GET_IMSI(char* imsi)
{
    return RunPublicAtOperation("AT_GET_IMSI", [&] { return ZGET_IMSI(imsi); });
}

int AT_GET_CRSM(char* reply)
{
    return RunPublicAtOperation("AT_GET_CRSM", [&] { return ZGET_CRSM(reply); });
}

int AT_SetUserNameaPasswordAuth(const char* userName, const char* password, int authType)
{
    return RunPublicAtOperation("AT_SetUserNameaPasswordAuth",
                                [&] { return ZSET_ID_PASSWORD_AUTH(userName, password, authType); });
}

int AT_GetUserNameaAuth(char* userName, int* authType)
{
    return RunPublicAtOperation("AT_GetUserNameaAuth", [&] { return ZGET_ID_AUTH(userName, authType); });
}

#endif
