#pragma once
// The current port shared by the AT engine and the DIAG transport, and the
// scanner that classifies the attached device from the port listing.
#include <cstdint>
#include <string>

// Decimal COM number of the port in use ("7" for COM7); empty at start.
extern char g_szPortName[1024];

// Closes kinds 2, 1, 10 and 4 on the old name (every call), then makes
// portNumber current. 0, or 1 when portNumber is missing.
int SetATPort(const char* portNumber);

enum DevicePortMode {
    DEVICE_PORT_MODE_UNKNOWN = 0,
    DEVICE_PORT_MODE_RNDIS = 1,        // RNDIS only
    DEVICE_PORT_MODE_MODEM = 2,        // diag, AT and modem ports, no RNDIS
    DEVICE_PORT_MODE_DIAG_ONLY = 3,    // diag without AT and modem
    DEVICE_PORT_MODE_MODEM_RNDIS = 4,  // RNDIS, diag, AT and modem
    DEVICE_PORT_MODE_MASS_STORAGE = 5, // CD drive alone
};

enum { DEVICE_PID_TEXT_SIZE = 512 };

// One scan; product ids are "pid_xxxx" as in the lower-cased entry.
struct DeviceInfo {
    int32_t mode; // DevicePortMode
    int32_t atPort;
    int32_t diagPort;
    int32_t modemPort;
    char diagPid[DEVICE_PID_TEXT_SIZE];
    char atPid[DEVICE_PID_TEXT_SIZE];
    char modemPid[DEVICE_PID_TEXT_SIZE];
    char rndisPid[DEVICE_PID_TEXT_SIZE];
    char cdromPid[DEVICE_PID_TEXT_SIZE];
};

class CDevicePortScanner {
public:
    // Interface order of the scratch arrays.
    enum { IF_DIAG, IF_AT, IF_MODEM, IF_RNDIS, IF_MASS_STORAGE, IF_COUNT };

    CDevicePortScanner();

    // 0 with m_DeviceInfo holding the new scan; 1 when the listing stayed
    // empty (m_DeviceInfo left as it was).
    int GetDeviceInfo();
    // Lists up to CHECK_PORT_COUNT times (default 3), 1000 ms apart; 1 when
    // every listing was empty.
    int ScanDevicePorts();
    // Records the first interface the entry matches.
    void MatchPortEntry(const char* entry);

    DeviceInfo m_DeviceInfo;

private:
    int32_t m_nMode;
    int32_t m_nPort[IF_COUNT];
    char m_szPid[IF_COUNT][255];
    std::wstring m_strConfigPath; // nothing sets it: CHECK_PORT_COUNT stays 3
};

// 1 unless the mode is 2 or 4; else makes the diag port current (SetATPort).
int SelectDiagPort(const DeviceInfo& info);

// Unfiltered debug text, cut to 1023 characters.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
