#pragma once
// Finds the modem's AT port in the port listing and makes it current.
// Constructing one readies the AT engine.
#include <mutex>

class CMarlPortManager {
public:
    CMarlPortManager();
    virtual ~CMarlPortManager();
    CMarlPortManager(const CMarlPortManager&) = delete;
    CMarlPortManager& operator=(const CMarlPortManager&) = delete;

    // 0 with *portNumber set when found ("nmea", then "at"); 1 otherwise
    // (*portNumber left alone).
    int FindATPortNumber(int* portNumber);
    // Up to 300 searches; 1 when none found, else the result of SetATPort.
    int OpenATPort();
    // First listing entry holding name followed (later) by "com<n>".
    int FindPortNumberByName(const char* name, int* portNumber);

private:
    // Lock order: DeviceOperationLock() (device/device_lock.h), then
    // m_openLock, then m_listingLock; never the other way round.
    std::mutex m_listingLock;
    std::mutex m_openLock;
};
