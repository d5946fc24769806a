#include "device/diag_ops.h"

#include "device/device_lock.h"
#include "device/trace_log.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// The "FUN:" texts of the public operations and of the inner routines.
char g_szDiagPublicName[511];
char g_szDiagInnerName[511];

const char* SetName(char* buffer, const char* name)
{
    std::snprintf(buffer, sizeof g_szDiagPublicName, "FUN:%s", name);
    return buffer;
}

void TraceEntry(char* buffer, const char* name)
{
    TraceOperationLine(TRACE_SOURCE_DIAG, TRACE_LEVEL_FUNCTION, "%s", SetName(buffer, name));
}

int TraceResult(char* buffer, const char* name, int code)
{
    return TraceOperationResult(TRACE_SOURCE_DIAG, SetName(buffer, name), code);
}

int Collapse(int inner) { return inner == 0 ? 0 : 1; }

// Public operation without arguments: entry line, inner routine, result line.
int RunPlain(const char* name, int (*inner)())
{
    std::lock_guard<std::recursive_mutex> lock(DeviceOperationLock());
    TraceEntry(g_szDiagPublicName, name);
    int result = Collapse(inner());
    return TraceResult(g_szDiagPublicName, name, result);
}

void PutU16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value & 0xFF);
    at[1] = static_cast<uint8_t>(value >> 8);
}

struct Exchange {
    uint8_t code;
    uint8_t protocol;
    uint16_t headerRow;
    uint8_t tries;
    int timeout;
};

// Allocates the pair, lets fill() write the payload, sends, lets judge()
// read the response, frees the pair. 0 when the exchange answered (status 1)
// and judge agreed.
template <typename Fill, typename Judge>
int RunExchange(const Exchange& e, Fill fill, Judge judge)
{
    DiagResponseRecord* response = nullptr;
    DiagRequestRecord* request = nullptr;
    int result = 1;
    if (AllocDiagBuffers(response, request) == 0) {
        request->code = e.code;
        request->protocol = e.protocol;
        request->headerRow = e.headerRow;
        request->payloadLength = fill(request->payload);
        if (DiagSendCmdToBack(request, response, e.tries, e.timeout) == 0 && response->status == DIAG_STATUS_OK &&
            judge(*response))
            result = 0;
    }
    FreeDiagBufferPair(response, request);
    return result;
}

bool Answered(const DiagResponseRecord&) { return true; }

// A raw request is answered by a packet that echoes its first byte; a good
// frame alone (an error reply, a stray packet) is no answer.
auto Echoes(uint8_t first)
{
    return [first](const DiagResponseRecord& response) {
        return response.dataLength >= 1 && !IsDiagErrorCode(response.data[0]) && response.data[0] == first;
    };
}

// Typed NV request {code, 0, item, image, status 0}.
uint32_t FillNvRequest(uint8_t* payload, uint8_t code, const uint8_t* image)
{
    DiagTypedRequest typed{};
    typed.code = code;
    PutU16(typed.word, DIAG_NV_ITEM_IMEI);
    if (image)
        std::memcpy(typed.data, image, DIAG_NV_ITEM_SIZE);
    std::memcpy(payload, &typed, sizeof typed);
    return sizeof typed;
}

const DiagReplyRecord& ReplyOf(const DiagResponseRecord& response)
{
    return *reinterpret_cast<const DiagReplyRecord*>(response.data);
}

int AutoRun(const char* name, uint8_t open)
{
    TraceEntry(g_szDiagInnerName, name);
    return RunExchange(
        {DIAG_CMD_SUBSYSTEM, DIAG_PROTOCOL_RAW, DIAG_HEADER_AUTORUN, 2, 5},
        [open](uint8_t* payload) {
            payload[0] = open;
            return 1u;
        },
        Echoes(DIAG_CMD_SUBSYSTEM));
}

bool IsImeiText(const char* imei)
{
    for (size_t i = 0; i < DIAG_IMEI_DIGITS; ++i)
        if (imei[i] < '0' || imei[i] > '9')
            return false;
    return imei[DIAG_IMEI_DIGITS] == '\0';
}

} // namespace

// ------------------------------------------------------------ record pairs

int AllocDiagBuffers(DiagResponseRecord*& response, DiagRequestRecord*& request)
{
    response = new (std::nothrow) DiagResponseRecord();
    request = new (std::nothrow) DiagRequestRecord();
    return response && request ? 0 : 1;
}

void FreeDiagBufferPair(DiagResponseRecord*& response, DiagRequestRecord*& request)
{
    delete response;
    response = nullptr;
    delete request;
    request = nullptr;
}

// -------------------------------------------------------------- IMEI image

void PackImeiImage(const char* digits, uint8_t image[DIAG_NV_ITEM_SIZE])
{
    std::memset(image, 0, DIAG_NV_ITEM_SIZE);
    auto nibble = [digits](size_t i) { return static_cast<uint8_t>((digits[i] - '0') & 0x0F); };
    image[0] = 8;
    image[1] = static_cast<uint8_t>(nibble(0) << 4 | 0x0A);
    for (size_t b = 2; b <= 8; ++b) {
        size_t low = 2 * b - 3; // digits 1, 3, ..., 13
        image[b] = static_cast<uint8_t>(nibble(low + 1) << 4 | nibble(low));
    }
}

bool IsImeiImage(const uint8_t image[DIAG_NV_ITEM_SIZE])
{
    if (image[0] != 8 || (image[1] >> 4) > 9)
        return false;
    for (size_t b = 2; b <= 8; ++b) {
        if ((image[b] & 0x0F) > 9 || (image[b] >> 4) > 9)
            return false;
    }
    return true;
}

void UnpackImeiImage(const uint8_t image[DIAG_NV_ITEM_SIZE], char imei[DIAG_IMEI_TEXT_SIZE])
{
    size_t n = 0;
    imei[n++] = static_cast<char>('0' + (image[1] >> 4));
    for (size_t b = 2; b <= 8; ++b) {
        imei[n++] = static_cast<char>('0' + (image[b] & 0x0F));
        imei[n++] = static_cast<char>('0' + (image[b] >> 4));
    }
    imei[n] = '\0';
}

// ---------------------------------------------------------- inner routines

int EnableTarselDownloadMode(int on)
{
    TraceEntry(g_szDiagInnerName, "EnableTarselDownloadMode");
    return RunExchange(
        {DIAG_CMD_SUBSYSTEM, DIAG_PROTOCOL_RAW, DIAG_HEADER_DOWNLOAD_MODE, 1, 1},
        [on](uint8_t* payload) {
            payload[0] = on ? 1 : 0;
            return 1u;
        },
        Echoes(DIAG_CMD_SUBSYSTEM));
}

int ReadNvImeiItem(uint8_t item[DIAG_NV_ITEM_SIZE], uint16_t* nvStatus)
{
    TraceEntry(g_szDiagInnerName, "ReadNvImeiItem");
    return RunExchange(
        {DIAG_CMD_NV_READ, DIAG_PROTOCOL_TYPED, 0, 3, 2},
        [](uint8_t* payload) { return FillNvRequest(payload, DIAG_CMD_NV_READ, nullptr); },
        [item, nvStatus](const DiagResponseRecord& response) {
            const DiagReplyRecord& reply = ReplyOf(response);
            if (item)
                std::memcpy(item, reply.bytes + DIAG_REPLY_NV_DATA_OFFSET, DIAG_NV_ITEM_SIZE);
            if (nvStatus)
                *nvStatus = DiagReplyU16(reply, DIAG_REPLY_NV_STATUS_OFFSET);
            return true;
        });
}

int WriteNVData(const uint8_t* image)
{
    TraceEntry(g_szDiagInnerName, "WriteNVData");
    if (!image)
        return 1;
    return RunExchange(
        {DIAG_CMD_NV_WRITE, DIAG_PROTOCOL_TYPED, 0, 3, 2},
        [image](uint8_t* payload) { return FillNvRequest(payload, DIAG_CMD_NV_WRITE, image); },
        [](const DiagResponseRecord& response) {
            return DiagReplyU16(ReplyOf(response), DIAG_REPLY_NV_STATUS_OFFSET) == 0;
        });
}

int RestoreFactorySetting()
{
    TraceEntry(g_szDiagInnerName, "RestoreFactorySetting");
    return RunExchange(
        {DIAG_CMD_SUBSYSTEM, DIAG_PROTOCOL_RAW, DIAG_HEADER_RESTORE_FACTORY, 3, 5},
        [](uint8_t*) { return 0u; },
        [](const DiagResponseRecord& response) {
            // the request's own header echoed, then a zero status
            const uint8_t* head = DiagSubsystemHeaderTable[DIAG_HEADER_RESTORE_FACTORY];
            return response.dataLength >= 5 && std::memcmp(response.data, head, 4) == 0 && response.data[4] == 0x00;
        });
}

int SwitchToQCDownloadMode()
{
    TraceEntry(g_szDiagInnerName, "SwitchToQCDownloadMode");
    return RunExchange(
        {DIAG_CMD_DOWNLOAD, DIAG_PROTOCOL_TYPED, 0, 1, 1},
        [](uint8_t* payload) {
            payload[0] = DIAG_CMD_DOWNLOAD;
            return 1u;
        },
        Answered);
}

int CloseAutoRun() { return AutoRun("CloseAutoRun", 0); }

int OpenAutoRun() { return AutoRun("OpenAutoRun", 1); }

int Offline()
{
    TraceEntry(g_szDiagInnerName, "Offline");
    return RunExchange(
        {DIAG_CMD_CONTROL, DIAG_PROTOCOL_TYPED, 0, 1, 2},
        [](uint8_t* payload) {
            DiagTypedRequest typed{};
            typed.code = DIAG_CMD_CONTROL;
            PutU16(typed.word, 1);
            std::memcpy(payload, &typed, sizeof typed);
            return static_cast<uint32_t>(sizeof typed);
        },
        Answered);
}

int Restart()
{
    TraceEntry(g_szDiagInnerName, "Restart");
    // code left unset: a raw DIAG control packet, mode 2 (reset)
    return RunExchange(
        {0, DIAG_PROTOCOL_RAW, 0, 1, 2},
        [](uint8_t* payload) {
            payload[0] = DIAG_CMD_CONTROL;
            payload[1] = 0x02;
            payload[2] = 0x00;
            return 3u;
        },
        Echoes(DIAG_CMD_CONTROL));
}

int GetNineVersion(NineVersionRecord* versions)
{
    TraceEntry(g_szDiagInnerName, "GetNineVersion");
    if (!versions)
        return 1;
    return RunExchange(
        {DIAG_CMD_VERSION, DIAG_PROTOCOL_TYPED, 0, 1, 3},
        [](uint8_t* payload) {
            payload[0] = DIAG_CMD_VERSION;
            return 1u;
        },
        [versions](const DiagResponseRecord& response) {
            const DiagReplyRecord& reply = ReplyOf(response);
            for (size_t k = 0; k < DIAG_VERSION_TEXT_COUNT; ++k) {
                const char* text = reinterpret_cast<const char*>(reply.bytes + DiagVersionTextOffset(k));
                std::memcpy(versions->text[k], text, strnlen(text, DIAG_VERSION_TEXT_SLOT - 1));
            }
            return true;
        });
}

int NV_ReadIMEI(char* imei)
{
    TraceEntry(g_szDiagInnerName, "NV_ReadIMEI");
    if (!imei)
        return TraceResult(g_szDiagInnerName, "NV_ReadIMEI", 41);
    uint8_t item[DIAG_NV_ITEM_SIZE] = {};
    uint16_t nvStatus = 0;
    // an inactive item or one that holds no IMEI image is no IMEI
    if (ReadNvImeiItem(item, &nvStatus) != 0 || nvStatus != 0 || !IsImeiImage(item)) {
        imei[0] = '\0';
        return 1;
    }
    UnpackImeiImage(item, imei);
    return 0;
}

int NV_WriteIMEI(const char* imei)
{
    TraceEntry(g_szDiagInnerName, "NV_WriteIMEI");
    if (!imei)
        return TraceResult(g_szDiagInnerName, "NV_WriteIMEI", 41);
    // packing reads 15 characters: anything but 15 digits is refused unsent
    if (!IsImeiText(imei))
        return 1;
    uint8_t image[DIAG_NV_ITEM_SIZE];
    PackImeiImage(imei, image);
    return Diag_WriteNVData(image) == 0 ? 0 : 1;
}

// ------------------------------------------------------- public operations

int Diag_EnterTarselDownloadMode()
{
    std::lock_guard<std::recursive_mutex> lock(DeviceOperationLock());
    int result = Collapse(EnableTarselDownloadMode(1));
    return TraceResult(g_szDiagPublicName, "Diag_EnterTarselDownloadMode", result);
}

int Diag_ExitTarselDownloadMode()
{
    std::lock_guard<std::recursive_mutex> lock(DeviceOperationLock());
    int result = Collapse(EnableTarselDownloadMode(0));
    return TraceResult(g_szDiagPublicName, "Diag_ExitTarselDownloadMode", result);
}

int Diag_GetIMEI(char* imei)
{
    std::lock_guard<std::recursive_mutex> lock(DeviceOperationLock());
    const char* name = "Diag_GetIMEI";
    TraceEntry(g_szDiagPublicName, name);
    TraceOperationLine(TRACE_SOURCE_DIAG, TRACE_LEVEL_PARAM, "FUN:Diag_GetIMEI InParam:nSize:%d", 4);
    int result = 41;
    if (imei) {
        result = Collapse(NV_ReadIMEI(imei));
        if (result == 0)
            TraceOperationLine(TRACE_SOURCE_DIAG, TRACE_LEVEL_PARAM, "FUN:Diag_GetIMEI OutParam:strIMEI:%s", imei);
    }
    return TraceResult(g_szDiagPublicName, name, result);
}

int Diag_WriteIMEI(const char* imei)
{
    std::lock_guard<std::recursive_mutex> lock(DeviceOperationLock());
    const char* name = "Diag_WriteIMEI";
    TraceEntry(g_szDiagPublicName, name);
    int result = 41;
    if (imei) {
        result = Collapse(NV_WriteIMEI(imei));
        if (result == 0)
            TraceOperationLine(TRACE_SOURCE_DIAG, TRACE_LEVEL_PARAM, "FUN:Diag_WriteIMEI OutParam:strIMEI:%s",
                               imei);
    }
    return TraceResult(g_szDiagPublicName, name, result);
}

int Diag_WriteNVData(const uint8_t* image)
{
    std::lock_guard<std::recursive_mutex> lock(DeviceOperationLock());
    const char* name = "Diag_WriteNVData";
    TraceEntry(g_szDiagPublicName, name);
    TraceOperationLine(TRACE_SOURCE_DIAG, TRACE_LEVEL_PARAM, "FUN:Diag_WriteNVData InParam:nNvId:%d",
                       DIAG_NV_ITEM_IMEI);
    if (!image)
        return TraceResult(g_szDiagPublicName, name, 41);
    TraceOperationLine(TRACE_SOURCE_DIAG, TRACE_LEVEL_PARAM, "FUN:Diag_WriteNVData InParam:nNvStatus:%d", 0);
    int result = Collapse(WriteNVData(image));
    return TraceResult(g_szDiagPublicName, name, result);
}

int Diag_GetVersion(NineVersionRecord* versions)
{
    std::lock_guard<std::recursive_mutex> lock(DeviceOperationLock());
    const char* name = "Diag_GetVersion";
    TraceEntry(g_szDiagPublicName, name);
    int result = Collapse(GetNineVersion(versions));
    if (result == 0)
        TraceOperationLine(TRACE_SOURCE_DIAG, TRACE_LEVEL_PARAM, "FUN:Diag_GetVersion OutParam:pAllNineVersion:%.*s",
                           static_cast<int>(sizeof versions->text[0]), versions->text[0]);
    return TraceResult(g_szDiagPublicName, name, result);
}

int Diag_RestoreFactorySetting() { return RunPlain("Diag_RestoreFactorySetting", RestoreFactorySetting); }
int Diag_SwitchToQCDownloadMode() { return RunPlain("Diag_SwitchToQCDownloadMode", SwitchToQCDownloadMode); }
int Diag_OpenAutoRun() { return RunPlain("Diag_OpenAutoRun", OpenAutoRun); }
int Diag_CloseAutoRun() { return RunPlain("Diag_CloseAutoRun", CloseAutoRun); }
int Diag_Offline() { return RunPlain("Diag_Offline", Offline); }
int Diag_Restart() { return RunPlain("Diag_Restart", Restart); }
