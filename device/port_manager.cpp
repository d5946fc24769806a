#include "device/port_manager.h"

#include "device/at_engine.h"
#include "device/device_lock.h"
#include "device/port_scanner.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int kListingRoom = 16;
constexpr int kOpenTries = 300;
} // namespace

CMarlPortManager::CMarlPortManager()
{
    InstallAtEngineTables();
}

CMarlPortManager::~CMarlPortManager() = default;

int CMarlPortManager::FindPortNumberByName(const char* name, int* portNumber)
{
    if (!name || !portNumber)
        return 1;
    char entries[kListingRoom][KESTLE_ENTRY_SIZE];
    std::memset(entries, 0, sizeof entries);
    int count = kListingRoom;
    KestleEnumDeviceProperty(entries, &count);
    if (count > kListingRoom)
        count = kListingRoom;
    for (int i = 0; i < count; ++i) {
        char* entry = entries[i];
        entry[KESTLE_ENTRY_SIZE - 1] = '\0';
        for (char* c = entry; *c; ++c)
            *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        const char* named = std::strstr(entry, name);
        if (!named)
            continue;
        const char* com = std::strstr(named, "com");
        if (!com)
            continue;
        *portNumber = std::atoi(com + 3);
        return 0;
    }
    return 1;
}

int CMarlPortManager::FindATPortNumber(int* portNumber)
{
    std::lock_guard<std::mutex> hold(m_listingLock);
    int result = FindPortNumberByName("nmea", portNumber);
    Sleep(100);
    if (result != 0)
        result = FindPortNumberByName("at", portNumber);
    return result;
}

int CMarlPortManager::OpenATPort()
{
    // SetATPort takes the device lock under the open lock: take it first
    std::lock_guard<std::recursive_mutex> device(DeviceOperationLock());
    std::lock_guard<std::mutex> hold(m_openLock);
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        int port = 0;
        if (FindATPortNumber(&port) != 0) {
            Sleep(100);
            OutputDebugStringW(L"KESTLE: OpenATPort Search ATPort Fail!\n");
            continue;
        }
        char name[11];
        std::snprintf(name, sizeof name, "%d", port);
        OutputDebugStringW(L"KESTLE: OpenATPort Search ATPort Success!");
        return SetATPort(name);
    }
    return 1;
}
