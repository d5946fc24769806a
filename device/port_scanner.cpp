#include "device/port_scanner.h"

#include "device/device_lock.h"
#include "device/ini_reader.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

char g_szPortName[1024] = "";

namespace {

constexpr int kListingRoom = 16;
constexpr int kDefaultListingCalls = 3;

const char* const kInterfaceWord[CDevicePortScanner::IF_COUNT] = {
    "diag",
    "at", // the AT interface is named "nmea"
    "modem",
    "windows mobile-based internet",
    "usb mass storage device",
};

void CopyText(char* out, size_t outSize, const char* text, size_t length)
{
    if (outSize == 0)
        return;
    if (length >= outSize)
        length = outSize - 1;
    std::memcpy(out, text, length);
    out[length] = '\0';
}

} // namespace

int SetATPort(const char* portNumber)
{
    if (!portNumber)
        return 1;
    // never change the port under an exchange that is running on it
    std::lock_guard<std::recursive_mutex> hold(DeviceOperationLock());
    // Closing kind 4 last on the old name, as the library expects on a change.
    char oldName[sizeof g_szPortName];
    CopyText(oldName, sizeof oldName, g_szPortName, strnlen(g_szPortName, sizeof g_szPortName));
    KestleClosePort(PORT_KIND_AT, oldName);
    KestleClosePort(PORT_KIND_DIAG, oldName);
    KestleClosePort(PORT_KIND_HTTP, oldName);
    KestleClosePort(PORT_KIND_CLOSE_ONLY, oldName);
    std::memset(g_szPortName, 0, sizeof g_szPortName);
    CopyText(g_szPortName, sizeof g_szPortName, portNumber, strnlen(portNumber, sizeof g_szPortName));
    return 0;
}

CDevicePortScanner::CDevicePortScanner() : m_DeviceInfo{}, m_nMode(0), m_nPort{}, m_szPid{} {}

void CDevicePortScanner::MatchPortEntry(const char* entry)
{
    char lower[KESTLE_ENTRY_SIZE];
    const size_t length = strnlen(entry, sizeof lower - 1);
    for (size_t i = 0; i < length; ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(entry[i])));
    lower[length] = '\0';

    const char* com = std::strstr(lower, "com");
    const char* pid = std::strstr(lower, "pid_");
    for (int i = 0; i < IF_COUNT; ++i) {
        if (m_nPort[i] != 0 || !std::strstr(lower, kInterfaceWord[i]))
            continue;
        const bool serial = i == IF_DIAG || i == IF_AT || i == IF_MODEM;
        if (serial) {
            if (!com && !pid)
                continue;
            m_nPort[i] = com ? std::atoi(com + 3) : 0;
            CopyText(m_szPid[i], sizeof m_szPid[i], pid ? pid : "", pid ? strnlen(pid, 8) : 0);
        } else if (pid) {
            CopyText(m_szPid[i], sizeof m_szPid[i], pid, strnlen(pid, 8));
        }
        return;
    }
}

int CDevicePortScanner::ScanDevicePorts()
{
    const int calls = ReadIniInt("CHECK_INFO", "CHECK_PORT_COUNT", kDefaultListingCalls, m_strConfigPath.c_str());
    static_assert(KESTLE_ENTRY_SIZE == 256, "listing entries are 256 bytes");
    char entries[kListingRoom][KESTLE_ENTRY_SIZE];
    for (int call = 0; call < calls; ++call) {
        if (call > 0)
            Sleep(1000);
        std::memset(entries, 0, sizeof entries);
        int count = kListingRoom;
        KestleEnumDeviceProperty(entries, &count);
        if (count <= 0)
            continue;
        if (count > kListingRoom)
            count = kListingRoom;
        for (int i = 0; i < count; ++i) {
            entries[i][KESTLE_ENTRY_SIZE - 1] = '\0';
            MatchPortEntry(entries[i]);
        }
        return 0;
    }
    return 1;
}

int CDevicePortScanner::GetDeviceInfo()
{
    for (int i = 0; i < IF_COUNT; ++i) {
        m_nPort[i] = 0;
        m_szPid[i][0] = '\0';
    }
    if (ScanDevicePorts() != 0)
        return 1;

    const bool diag = m_szPid[IF_DIAG][0] != '\0';
    const bool at = m_szPid[IF_AT][0] != '\0';
    const bool modem = m_szPid[IF_MODEM][0] != '\0';
    const bool rndis = m_szPid[IF_RNDIS][0] != '\0';
    const bool storage = m_szPid[IF_MASS_STORAGE][0] != '\0';
    if (rndis && diag && at && modem)
        m_nMode = DEVICE_PORT_MODE_MODEM_RNDIS;
    else if (diag && at && modem)
        m_nMode = DEVICE_PORT_MODE_MODEM;
    else if (rndis && !diag && !at && !modem)
        m_nMode = DEVICE_PORT_MODE_RNDIS;
    else if (diag && !at && !modem)
        m_nMode = DEVICE_PORT_MODE_DIAG_ONLY;
    else if (storage && !diag && !at && !modem && !rndis)
        m_nMode = DEVICE_PORT_MODE_MASS_STORAGE;
    else
        m_nMode = DEVICE_PORT_MODE_UNKNOWN;

    DeviceInfo info{};
    info.mode = m_nMode;
    info.atPort = m_nPort[IF_AT];
    info.diagPort = m_nPort[IF_DIAG];
    info.modemPort = m_nPort[IF_MODEM];
    char* const pidOut[IF_COUNT] = {info.diagPid, info.atPid, info.modemPid, info.rndisPid, info.cdromPid};
    for (int i = 0; i < IF_COUNT; ++i)
        CopyText(pidOut[i], DEVICE_PID_TEXT_SIZE, m_szPid[i], strnlen(m_szPid[i], sizeof m_szPid[i]));
    m_DeviceInfo = info;

    DebugTrace("Diagnose:DeviceInfo,Mode:%d, ATPort:%d, DiagPort:%d, ModemPort:%d \r\n", info.mode, info.atPort,
               info.diagPort, info.modemPort);
    DebugTrace("Diagnose:DeviceInfo,AT-PID:%s, Diag-PID:%s, Modem-PID:%s,RNDIS-PID:%s, CDROM-PID:%s \r\n",
               info.atPid, info.diagPid, info.modemPid, info.rndisPid, info.cdromPid);
    return 0;
}

int SelectDiagPort(const DeviceInfo& info)
{
    if (info.mode != DEVICE_PORT_MODE_MODEM && info.mode != DEVICE_PORT_MODE_MODEM_RNDIS)
        return 1;
    char name[16];
    std::snprintf(name, sizeof name, "%d", info.diagPort);
    return SetATPort(name);
}

void DebugTrace(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    if (std::vsnprintf(line, sizeof line, format, args) < 0)
        line[0] = '\0';
    va_end(args);
    OutputDebugStringA(line);
}
