// The six entry points: argument checks and the dispatch by port kind.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/portlib/portlib_internal.h"
#include "platform/win/clock.h"
#include "platform/win/data_file.h"
#include "platform/win/debug_output.h"

namespace kestle_portlib {
namespace {
std::atomic<void (*)(const char*)> g_debugHook{nullptr};

std::mutex g_reportedLock;
std::map<std::string, int> g_reported;  // AT port path: the refusal last told on standard error

// A desktop user has no debugger attached: an AT port that is busy or denied
// is told on standard error too, once until the cause changes or it opens.
void ReportAtPortOpen(const std::string& path, int result)
{
    if (path.empty())
        return;
    std::lock_guard<std::mutex> hold(g_reportedLock);
    if (result != kBusy && result != kDenied) {
        g_reported.erase(path);
        return;
    }
    auto [it, added] = g_reported.try_emplace(path, result);
    if (!added && it->second == result)
        return;
    it->second = result;
    std::fputs(OpenFailureLine(path, result).c_str(), stderr);
}
}  // namespace

void SetDebugHook(void (*hook)(const char* line)) { g_debugHook = hook; }

void DebugLine(const std::string& line)
{
    OutputDebugStringA(line.c_str());
    if (auto hook = g_debugHook.load())
        hook(line.c_str());
}

bool ReadLibraryFile(const std::string& path, std::string* text)
{
    // far above any table or attribute; a FIFO, a device or a huge file is no data of ours
    constexpr size_t kMaxBytes = 256 * 1024;
    switch (ReadDataFile(path, kMaxBytes, text)) {
    case DataFileRead::Ok:
        return true;
    case DataFileRead::Missing:
        return false;
    case DataFileRead::NotRegular:
        DebugLine("KESTLE: " + path + ": not a regular file: skipped\n");
        return false;
    case DataFileRead::TooLarge:
        DebugLine("KESTLE: " + path + ": larger than " + std::to_string(kMaxBytes / 1024) + " kB: skipped\n");
        return false;
    }
    return false;
}

std::string DeviceDir()
{
    const char* dir = std::getenv("KESTLE_DEVICE_DIR");
    struct stat st;
    if (!dir || !*dir || stat(dir, &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return dir;
}

std::string SysfsRoot()
{
    const char* root = std::getenv("KESTLE_SYSFS_ROOT");
    return (root && *root) ? root : "/sys";
}

int TimeoutMs(int timeoutSeconds)
{
    if (timeoutSeconds <= 0)
        return 0;
    // a day is far beyond any caller and keeps the product inside 32 bits
    const uint32_t seconds = timeoutSeconds > 86400 ? 86400u : static_cast<uint32_t>(timeoutSeconds);
    return static_cast<int>(TimeoutScaledMs(seconds * 1000u));
}

int ParseComNumber(const char* name)
{
    if (!name || !*name)
        return 0;
    int value = 0;
    for (const char* p = name; *p; ++p) {
        if (*p < '0' || *p > '9' || value > 99999)
            return 0;
        value = value * 10 + (*p - '0');
    }
    return value;
}

}  // namespace kestle_portlib

using namespace kestle_portlib;

extern "C" {

int KestleEnumDeviceProperty(char (*entries)[KESTLE_ENTRY_SIZE], int* count)
{
    if (!count)
        return kBadArgument;
    const int room = *count;
    *count = 0;
    if (room <= 0)
        return kOk;
    if (!entries)
        return kBadArgument;

    std::vector<std::string> listing;
    const std::string dir = DeviceDir();
    if (!dir.empty()) {
        std::string text;
        ReadLibraryFile(dir + "/listing", &text);
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find('\n', start), text.size());
            std::string line = text.substr(start, end - start);
            line.resize(std::min(line.find('\r'), line.size()));
            if (!line.empty())
                listing.push_back(std::move(line));
            start = end + 1;
        }
    } else if (std::getenv("KESTLE_SYSFS_ROOT")) {
        listing = ListSysfs(SysfsRoot());
    } else {
        listing = ListUdev();
    }

    int filled = 0;
    for (const std::string& text : listing) {
        if (filled == room)
            break;
        std::memset(entries[filled], 0, KESTLE_ENTRY_SIZE);
        std::memcpy(entries[filled], text.data(), std::min<size_t>(text.size(), KESTLE_ENTRY_SIZE - 1));
        ++filled;
    }
    *count = filled;
    return kOk;
}

int KestleInitPort(int kind, const char* name)
{
    switch (kind) {
    case PORT_KIND_DIAG:
        return SerialInit(name);
    case PORT_KIND_AT: {
        std::string path;
        const int result = SerialInit(name, &path);
        ReportAtPortOpen(path, result);
        return result;
    }
    case PORT_KIND_HTTP:
        HttpGlobalInit();
        return kOk;
    default:
        return kBadArgument;
    }
}

int KestleReadMsgFromPort_sync(int kind, const char* name, const unsigned char* request, int requestLength,
                               unsigned char* reply, int* replyLength, int timeoutSeconds)
{
    if (!replyLength)
        return kBadArgument;
    const int room = *replyLength;
    *replyLength = 0;
    if (!reply || room <= 0 || requestLength < 0 || (requestLength > 0 && !request) || !name)
        return kBadArgument;
    *replyLength = room;
    switch (kind) {
    case PORT_KIND_DIAG:
    case PORT_KIND_AT:
        return SerialExchange(kind, name, request, requestLength, reply, replyLength, timeoutSeconds);
    case PORT_KIND_HTTP:
        return HttpExchange(name, request, requestLength, reply, replyLength, timeoutSeconds);
    default:
        *replyLength = 0;
        return kBadArgument;
    }
}

int KestleReadMsgFromPortUploadFile(int kind, const char* url, const char* filePath, int length,
                                    unsigned char* reply, int* replyLength, int timeoutSeconds)
{
    if (!replyLength)
        return kBadArgument;
    const int room = *replyLength;
    *replyLength = 0;
    if (kind != PORT_KIND_HTTP || !url || !filePath || !reply || room <= 0)
        return kBadArgument;
    *replyLength = room;
    return HttpUpload(url, filePath, reply, replyLength, timeoutSeconds);
}

int KestleClosePort(int kind, const char* name)
{
    switch (kind) {
    case PORT_KIND_DIAG:
    case PORT_KIND_AT:
        return SerialClose(name);
    case PORT_KIND_HTTP:
    case PORT_KIND_CLOSE_ONLY:
        return kOk;
    default:
        return kBadArgument;
    }
}

void KestleReleasePorts(void) { ReleaseHeldPorts(); }

int KestleSendCmdByCDLogicDrive(const char* vendorId, const char* productId, const char* command)
{
    if (!vendorId || !productId || !command)
        return kBadArgument;
    return SendCdCommand(vendorId, productId, command);
}

}  // extern "C"
