#include "device/at_ops_network.h"

#include <cstdio>
#include <cstring>

namespace {

// Field texts of fixed records may fill their whole width.
int Width(const char* text, size_t size)
{
    return static_cast<int>(strnlen(text, size));
}

} // namespace

// --- inner routines ------------------------------------------------------

int ZCGDCONT_READ(PdpContextList* list)
{
    TraceInnerAtEntry("ZCGDCONT_READ");
    if (list == nullptr)
        return RejectInnerAtCall("ZCGDCONT_READ");
    // An error reply holds no context: its text must not be read as one.
    return RunInnerAtExchange({AT_CMD_CGDCONT, AT_TYPE_READ, 15, true}, nullptr, [&](AtResponseRecord& r) {
        ParsePdpContextList(r.szText, list);
        return true;
    });
}

int ZCGDCONT_READ_ONLY_MODIFY_APN(char* text)
{
    TraceInnerAtEntry("ZCGDCONT_READ_ONLY_MODIFY_APN");
    if (text == nullptr)
        return RejectInnerAtCall("ZCGDCONT_READ_ONLY_MODIFY_APN");
    // An error reply holds no context line: its text must not be spliced into a command.
    return RunInnerAtExchange({AT_CMD_CGDCONT, AT_TYPE_READ, 5, true}, nullptr, [&](AtResponseRecord& r) {
        GetFirstAtField(r.szText, text);
        return true;
    });
}

int ZCGDCONT_SET(const PdpContextEntry* entry)
{
    TraceInnerAtEntry("ZCGDCONT_SET");
    if (entry == nullptr)
        return RejectInnerAtCall("ZCGDCONT_SET");
    // a context the device refused is not written: report it
    return RunInnerAtExchange(
        {AT_CMD_CGDCONT, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) {
            return FormatText(c.szParam, sizeof(c.szParam), "%d,\"%.*s\",\"%.*s\"", entry->cid,
                              Width(entry->pdpType, sizeof(entry->pdpType)), entry->pdpType,
                              Width(entry->apn, sizeof(entry->apn)), entry->apn) == 0;
        },
        nullptr);
}

int ZCGDCONT_SET_ONLY_MODIFY_APN(const char* param)
{
    TraceInnerAtEntry("ZCGDCONT_SET_ONLY_MODIFY_APN");
    if (param == nullptr)
        return RejectInnerAtCall("ZCGDCONT_SET_ONLY_MODIFY_APN");
    return RunInnerAtExchange(
        {AT_CMD_CGDCONT, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) { return FormatText(c.szParam, sizeof(c.szParam), "%s", param) == 0; }, nullptr);
}

int ZCGDCONT_DELETE(int cid)
{
    TraceInnerAtEntry("ZCGDCONT_DELETE");
    return RunInnerAtExchange(
        {AT_CMD_CGDCONT, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) { return FormatText(c.szParam, sizeof(c.szParam), "%d", cid) == 0; }, nullptr);
}

int ZGET_NETWORK_STATE(int* state)
{
    TraceInnerAtEntry("ZGET_NETWORK_STATE");
    if (state == nullptr)
        return RejectInnerAtCall("ZGET_NETWORK_STATE");
    return RunInnerAtExchange({AT_CMD_ZSNT, AT_TYPE_READ, 5, true}, nullptr, [&](AtResponseRecord& r) {
        NormalizeReply(r);
        switch (ReplyChar(r, 0)) {
        case '2': *state = 1; return true;
        case '6': *state = 2; return true;
        case '7': *state = 3; return true;
        default: return false;
        }
    });
}

int ZGET_NETWORK_SELECT_STATE(int* mode, int* select)
{
    TraceInnerAtEntry("ZGET_NETWORK_SELECT_STATE");
    if (mode == nullptr || select == nullptr)
        return RejectInnerAtCall("ZGET_NETWORK_SELECT_STATE");
    return RunInnerAtExchange({AT_CMD_ZSNT, AT_TYPE_READ, 5, true}, nullptr, [&](AtResponseRecord& r) {
        NormalizeReply(r);
        const char m = ReplyChar(r, 0);
        if (m == '2')
            *mode = 1;
        else if (m == '6' || m == '7')
            *mode = 2;
        const char s = ReplyChar(r, 2);
        if (s == '0' || s == '1')
            *select = s - '0';
        return true;
    });
}

int ZSetNetSettingMode_Exec(int mode, int select)
{
    TraceInnerAtEntry("ZSetNetSettingMode_Exec");
    char text[32];
    snprintf(text, sizeof(text), "%s,%d,0", mode != 0 ? "6" : "0", select);
    return RunInnerAtExchange(
        {AT_CMD_ZSNT, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) { return FormatText(c.szParam, sizeof(c.szParam), "%s", text) == 0; }, nullptr);
}

int ZCOPS_READ(OperatorList* list)
{
    TraceInnerAtEntry("ZCOPS_READ");
    if (list == nullptr)
        return RejectInnerAtCall("ZCOPS_READ");
    return RunInnerAtExchange({AT_CMD_COPS_SCAN, AT_TYPE_READ, 15, true}, nullptr, [&](AtResponseRecord& r) {
        ParseOperatorList(r.szText, list);
        return true;
    });
}

int ZCOPS_SET(const OperatorList& list)
{
    TraceInnerAtEntry("ZCOPS_SET");
    const OperatorEntry& first = list.entries[0];
    char text[64];
    snprintf(text, sizeof(text), "1,2,\"%.*s\",%d", Width(first.numeric, sizeof(first.numeric)), first.numeric,
             first.accessTechnology);
    return RunInnerAtExchange(
        {AT_CMD_COPS, AT_TYPE_SET, 15, true},
        [&](AtCommandRecord& c) { return FormatText(c.szParam, sizeof(c.szParam), "%s", text) == 0; }, nullptr);
}

int ZENTER_RNDIS_MODE()
{
    TraceInnerAtEntry("ZENTER_RNDIS_MODE");
    return RunInnerAtExchange(
        {AT_CMD_ZCPE, AT_TYPE_SET, 5, true},
        [](AtCommandRecord& c) { return FormatText(c.szParam, sizeof(c.szParam), "%c", 'o') == 0; },
        [](AtResponseRecord& r) {
            int left = 0;
            sscanf(r.szText, "exit cpe mode result(0:FAIL 1:SUCCESS):%d", &left);
            return left == 1;
        });
}

int ZMARLRESTART_Exec()
{
    TraceInnerAtEntry("ZMARLRESTART_Exec");
    return RunInnerAtExchange({AT_CMD_ZRST, AT_TYPE_EXECUTE, 5, true}, nullptr, nullptr);
}

int ZSET_BAND(const char* band)
{
    TraceInnerAtEntry("ZSET_BAND");
    if (band == nullptr)
        return RejectInnerAtCall("ZSET_BAND");
    return RunInnerAtExchange(
        {AT_CMD_ZNLOCKBAND, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) { return FormatText(c.szParam, sizeof(c.szParam), "%s", band) == 0; }, nullptr);
}

int ZGET_ROAM_STATE(DeviceFlagRecord* flags)
{
    TraceInnerAtEntry("ZGET_ROAM_STATE");
    if (flags == nullptr)
        return RejectInnerAtCall("ZGET_ROAM_STATE");
    return RunInnerAtExchange({AT_CMD_ZEFSGET, AT_TYPE_READ, 5, true}, nullptr, [&](AtResponseRecord& r) {
        NormalizeReply(r);
        flags->flag0 = ReplyChar(r, 0) == '1';
        flags->flag1 = ReplyChar(r, 2) == '1';
        flags->flag2 = ReplyChar(r, 4) == '1';
        return true;
    });
}

int ZSET_ROAM_STATE(const DeviceFlagRecord* flags)
{
    TraceInnerAtEntry("ZSET_ROAM_STATE");
    if (flags == nullptr)
        return RejectInnerAtCall("ZSET_ROAM_STATE");
    return RunInnerAtExchange(
        {AT_CMD_ZEFSGET, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) {
            return FormatText(c.szParam, sizeof(c.szParam), "%d,%d,%d,%d", flags->flag0, 0, flags->flag2, 0) == 0;
        },
        nullptr);
}

int ZGET_ROAMING_STATE(int* value)
{
    TraceInnerAtEntry("ZGET_ROAMING_STATE");
    if (value == nullptr)
        return RejectInnerAtCall("ZGET_ROAMING_STATE");
    return RunInnerAtExchange({AT_CMD_ZDATAROAM, AT_TYPE_READ, 5, true}, nullptr, [&](AtResponseRecord& r) {
        NormalizeReply(r);
        *value = ReplyChar(r, 0) == '1' ? 1 : 0;
        return true;
    });
}

int ZSET_ROAMING_STATE(int value)
{
    TraceInnerAtEntry("ZSET_ROAMING_STATE");
    return RunInnerAtExchange(
        {AT_CMD_ZDATAROAM, AT_TYPE_SET, 5, true},
        [&](AtCommandRecord& c) { return FormatText(c.szParam, sizeof(c.szParam), "%d", value) == 0; }, nullptr);
}

// --- public operations ---------------------------------------------------

int AT_CGDCONT_READ(PdpContextList* list)
{
    return RunPublicAtOperation("AT_CGDCONT_READ", [&] { return ZCGDCONT_READ(list); });
}

int AT_CGDCONT_READ_ONLY_MODIFY_APN(char* text)
{
    return RunPublicAtOperation("AT_CGDCONT_READ_ONLY_MODIFY_APN", [&] { return ZCGDCONT_READ_ONLY_MODIFY_APN(text); });
}

int AT_CGDCONT_SET(const PdpContextEntry* entry)
{
    return RunPublicAtOperation("AT_CGDCONT_SET", [&] { return ZCGDCONT_SET(entry); });
}

int AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN(const char* param)
{
    return RunPublicAtOperation("AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN",
                                [&] { return ZCGDCONT_SET_ONLY_MODIFY_APN(param); });
}

int AT_CGDCONT_DELETE(int cid)
{
    return RunPublicAtOperation("AT_CGDCONT_DELETE", [&] { return ZCGDCONT_DELETE(cid); });
}

int AT_GET_DEVICE_NETWORK_STATE(int* state)
{
    return RunPublicAtOperation("AT_GET_DEVICE_NETWORK_STATE", [&] { return ZGET_NETWORK_STATE(state); });
}

int AT_GET_DEVICE_NETWORK_STATE_SELECT(int* mode, int* select)
{
    return RunPublicAtOperation("AT_GET_DEVICE_NETWORK_STATE_SELECT",
                                [&] { return ZGET_NETWORK_SELECT_STATE(mode, select); });
}

int AT_SET_DEVICE_NETWORK_STATE_SELECT(int mode, int select)
{
    return RunPublicAtOperation("AT_SET_DEVICE_NETWORK_STATE_SELECT",
                                [&] { return ZSetNetSettingMode_Exec(mode, select); });
}

int AT_COPS_READ(OperatorList* list)
{
    return RunPublicAtOperation("AT_COPS_READ", [&] { return ZCOPS_READ(list); });
}

int AT_COPS_SET(OperatorList list)
{
    return RunPublicAtOperation("AT_COPS_SET", [&] { return ZCOPS_SET(list); });
}

int AT_ENTER_RNDIS_MODE()
{
    return RunPublicAtOperation("AT_ENTER_RNDIS_MODE", [] { return ZENTER_RNDIS_MODE(); });
}

int AT_MarlRestart()
{
    return RunPublicAtOperation("AT_MarlRestart", [] { return ZMARLRESTART_Exec(); });
}

int AT_SET_BAND(const char* band)
{
    return RunPublicAtOperation("AT_SET_BAND", [&] { return ZSET_BAND(band); });
}

int AT_GET_DEVICE_FLAG_STATE(DeviceFlagRecord* flags)
{
    return RunPublicAtOperation("AT_GET_DEVICE_FLAG_STATE", [&] { return ZGET_ROAM_STATE(flags); });
}

int AT_SET_DEVICE_FLAG_STATE(const DeviceFlagRecord* flags)
{
    return RunPublicAtOperation("AT_SET_DEVICE_FLAG_STATE", [&] { return ZSET_ROAM_STATE(flags); });
}

int AT_GetRoaming(int* value)
{
    return RunPublicAtOperation("AT_GetRoaming", [&] { return ZGET_ROAMING_STATE(value); });
}

int AT_SetRoaming(int value)
{
    return RunPublicAtOperation("AT_SetRoaming", [&] { return ZSET_ROAMING_STATE(value); });
}
