#include "device/goform.h"
#include "device/goform_reply.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/portlib/KestlePortServer.h"

namespace {

constexpr int HTTP_TIMEOUT_SECONDS = 5;
constexpr int UPLOAD_TIMEOUT_SECONDS = 10;
constexpr const char* CD_SWITCH_COMMAND = "99000000000000000000";

bool FitsTextRoom(const std::string& text) { return text.size() < static_cast<size_t>(GOFORM_TEXT_ROOM); }
bool FitsUrlRoom(const std::string& url) { return url.size() < static_cast<size_t>(GOFORM_URL_ROOM); }

std::string TextOrBuiltIn(const char* text, const char* builtIn)
{
    return (text && *text) ? std::string(text) : std::string(builtIn);
}

// A zero-filled reply of the request's room.
struct ReplyBuffer {
    explicit ReplyBuffer(int room) : room(room), bytes(static_cast<size_t>(room), '\0') {}
    int room;
    std::string bytes;
};

// Init, one exchange, close whatever it gave; no close after a failed init.
// The library keeps the reply within its room; we make sure of it.
template <typename Exchange>
int ExchangeOnHttpPort(const char* url, char* reply, int* replyRoom, Exchange exchange)
{
    if (!url || !reply || !replyRoom || *replyRoom <= 0)
        return 1;
    if (strnlen(url, GOFORM_URL_ROOM) >= static_cast<size_t>(GOFORM_URL_ROOM))
        return 1;
    int room = *replyRoom;
    if (KestleInitPort(PORT_KIND_HTTP, "") != 0)
        return 1;
    int received = room;
    int rc = exchange(reinterpret_cast<unsigned char*>(reply), &received);
    KestleClosePort(PORT_KIND_HTTP, "");
    if (rc != 0 || received < 0)
        received = 0;
    if (received > room - 1)
        received = room - 1;
    reply[received] = '\0';
    *replyRoom = received;
    return rc == 0 ? 0 : 1;
}

struct Request {
    const char* path;
    const char* builtIn;
    GoformReplyKind kind;
    int room = GOFORM_REPLY_ROOM;
};

// One member of the family: URL and text by the rule, one exchange, the
// reply copied out when asked, then the result test.
int RunRequest(const Request& r, const char* host, const std::string& text, char* replyOut, int* flag)
{
    if (!host)
        return 1;
    std::string url = std::string("http://") + host + r.path;
    if (!FitsUrlRoom(url) || !FitsTextRoom(text))
        return 1;
    ReplyBuffer reply(r.room);
    int room = reply.room;
    int exchange = Http_SendGoformRequest(url.c_str(), text.c_str(), static_cast<int>(text.size()),
                                          reply.bytes.data(), &room);
    return EvaluateGoformReply(r.kind, exchange, reply.bytes.data(), reply.room, replyOut, flag);
}

int RunFamily(const Request& r, const char* host, const char* request, char* replyOut, int* flag = nullptr)
{
    return RunRequest(r, host, TextOrBuiltIn(request, r.builtIn), replyOut, flag);
}

}  // namespace

int EvaluateGoformReply(GoformReplyKind kind, int exchange, const char* reply, int room, char* replyOut, int* flag)
{
    if (exchange != 0)
        return 1;
    // the port library need not terminate what it received
    std::string_view text;
    if (reply && room > 0)
        text = std::string_view(reply, strnlen(reply, static_cast<size_t>(room) - 1));
    if (replyOut && room > 0) {
        memcpy(replyOut, text.data(), text.size());
        replyOut[text.size()] = '\0';
    }
    switch (kind) {
    case GoformReplyKind::Exchange:
        return 0;
    case GoformReplyKind::Success:
        return text.find("success") != std::string_view::npos ? 0 : 1;
    case GoformReplyKind::Version:
        return text.empty() ? 1 : 0;
    case GoformReplyKind::NotFailure:
        return text.find("failure") != std::string_view::npos ? 1 : 0;
    case GoformReplyKind::OnOff:
        if (text.find("on") != std::string_view::npos) {
            if (flag)
                *flag = 1;
            return 0;
        }
        if (text.find("off") != std::string_view::npos) {
            if (flag)
                *flag = 0;
            return 0;
        }
        return 1;
    }
    return 1;
}

int Http_SendGoformRequest(const char* url, const char* request, int requestLength, char* reply, int* replyRoom)
{
    if (!request || requestLength < 0 || requestLength >= GOFORM_TEXT_ROOM)
        return 1;
    return ExchangeOnHttpPort(url, reply, replyRoom, [&](unsigned char* buffer, int* received) {
        return KestleReadMsgFromPort_sync(PORT_KIND_HTTP, url, reinterpret_cast<const unsigned char*>(request),
                                          requestLength, buffer, received, HTTP_TIMEOUT_SECONDS);
    });
}

int Http_UploadGoformFile(const char* url, const char* filePath, int length, char* reply, int* replyRoom)
{
    if (!filePath)
        return 1;
    return ExchangeOnHttpPort(url, reply, replyRoom, [&](unsigned char* buffer, int* received) {
        return KestleReadMsgFromPortUploadFile(PORT_KIND_HTTP, url, filePath, length, buffer, received,
                                               UPLOAD_TIMEOUT_SECONDS);
    });
}

namespace {
const Request kGetCurrentVersion{GOFORM_PROCESS_PATH, "goformId=ONLINE_UPGRADE_TOOL&command=get_current_version",
                                 GoformReplyKind::Version, GOFORM_VERSION_REPLY_ROOM};
const Request kGetImei{GOFORM_GET_PATH, "cmd=imei", GoformReplyKind::Exchange};
// A refusal says so; a device that answers otherwise (or not at all in words) took it.
const Request kSetDeviceMode{GOFORM_SET_PATH, "goformId=SET_DEVICE_MODE&debug_enable=2", GoformReplyKind::NotFailure};
const Request kRebootDevice{GOFORM_SET_PATH, "goformId=REBOOT_DEVICE", GoformReplyKind::Exchange};
const Request kRestoreFactorySettings{GOFORM_SET_PATH, "goformId=RESTORE_FACTORY_SETTINGS", GoformReplyKind::Success};
const Request kSetProductModeForMarl{GOFORM_SET_PATH, "goformId=SET_PRODUCT_MODE_FOR_MARL&debug_enable=1",
                                     GoformReplyKind::Success};
// The placeholder goes out as it stands.
const Request kSaveApn{GOFORM_SET_PATH, "goformId=APN_PROC_EX&apn_action=save&wan_apn=%s&pdp_type=IP",
                       GoformReplyKind::Success};
const Request kDeleteApn{GOFORM_SET_PATH, "goformId=APN_PROC_EX&apn_action=delete&apn_mode=manual&index=1",
                         GoformReplyKind::Success};
const Request kSetDefaultApn{GOFORM_SET_PATH,
                             "goformId=APN_PROC_EX&apn_mode=manual&apn_action=set_default&set_default_flag=1"
                             "&pdp_type=IPv4&index=1",
                             GoformReplyKind::Success};
const Request kGetPrivacySetting{GOFORM_GET_PATH, "cmd=privacy_setting", GoformReplyKind::OnOff};
const Request kGetRestrictDefaultProfile{GOFORM_GET_PATH, "cmd=restrict_default_profile", GoformReplyKind::OnOff};
const Request kGetWimax2Enable{GOFORM_GET_PATH, "cmd=wimax2_enable", GoformReplyKind::OnOff};
const Request kSetWimax2Enable{GOFORM_SET_PATH, "goformId=wimax2_enable=on", GoformReplyKind::Success};
constexpr const char* kUploadRestoreQuery = "goformId=UPLOADFILE_RESTORE&isTest=false";
}  // namespace

int Http_GetCurrentVersion(const char* host, const char* request, char* reply)
{
    return RunFamily(kGetCurrentVersion, host, request, reply);
}

int Http_GetIMEI(const char* host, const char* request, char* reply)
{
    return RunFamily(kGetImei, host, request, reply);
}

int Http_SetDeviceMode(const char* host, const char* request, char* reply)
{
    return RunFamily(kSetDeviceMode, host, request, reply);
}

int Http_RebootDevice(const char* host, char* reply)
{
    return RunFamily(kRebootDevice, host, nullptr, reply);
}

int Http_RestoreFactorySettings(const char* host, const char* request, char* reply)
{
    return RunFamily(kRestoreFactorySettings, host, request, reply);
}

int Http_SetProductModeForMarl(const char* host, const char* request, char* reply)
{
    return RunFamily(kSetProductModeForMarl, host, request, reply);
}

int Http_SaveApn(const char* host, const char* request, char* reply)
{
    return RunFamily(kSaveApn, host, request, reply);
}

int Http_DeleteApn(const char* host, const char* request)
{
    return RunFamily(kDeleteApn, host, request, nullptr);
}

int Http_SetDefaultApn(const char* host, const char* request, char* reply)
{
    return RunFamily(kSetDefaultApn, host, request, reply);
}

int Http_GetPrivacySetting(const char* host, const char* request, int* flag)
{
    return RunFamily(kGetPrivacySetting, host, request, nullptr, flag);
}

int Http_GetRestrictDefaultProfile(const char* host, const char* request, int* flag)
{
    return RunFamily(kGetRestrictDefaultProfile, host, request, nullptr, flag);
}

int Http_GetWimax2Enable(const char* host, const char* request, int* flag)
{
    return RunFamily(kGetWimax2Enable, host, request, nullptr, flag);
}

int Http_SetWimax2Enable(const char* host, const char* request, int flag)
{
    std::string text = (request && *request) ? std::string(request) + (flag ? "on" : "off")
                                             : std::string(kSetWimax2Enable.builtIn);
    return RunRequest(kSetWimax2Enable, host, text, nullptr, nullptr);
}

int Http_UploadRestoreFile(const char* host, const char* query, const char* filePath, char* reply)
{
    if (!host || !filePath)
        return 1;
    std::string url = std::string("http://") + host + GOFORM_SET_PATH + "?" + TextOrBuiltIn(query, kUploadRestoreQuery);
    if (!FitsUrlRoom(url))
        return 1;
    ReplyBuffer buffer(GOFORM_REPLY_ROOM);
    int room = buffer.room;
    int exchange = Http_UploadGoformFile(url.c_str(), filePath, 0, buffer.bytes.data(), &room);
    return EvaluateGoformReply(GoformReplyKind::Success, exchange, buffer.bytes.data(), buffer.room, reply, nullptr);
}

int SCSI_SwitchDeviceMode(const char* vendorId, const char* productId)
{
    if (!vendorId || !productId)
        return 1;
    return KestleSendCmdByCDLogicDrive(vendorId, productId, CD_SWITCH_COMMAND) == 0 ? 0 : 1;
}
