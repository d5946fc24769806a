#pragma once
// The communication-mode tab of the carrier modem setting dialogs, and the
// device-mode case tables that both it and the WiMAX 2+ tool use: a change of
// either radio setting reads the flag bytes and the network state, sorts them
// into one of twelve cases and sends, per case, a band text and/or new flags.
#include "device/at_ops_network.h"
#include "device/port_manager.h"
#include "platform/ui/afx.h"
#include "platform/win/named_mutex.h"

constexpr UINT IDD_MARL_COMMUNICATION_MODE_PAGE = 140;
constexpr int IDC_COMMODE_HIGH_SPEED = 1097;
constexpr int IDC_COMMODE_HIGH_SPEED_PLUS = 1098;
// The WiMAX 2+ dialog's "OFF" radio, read by ApplyWimaxMode.
constexpr int IDC_WIMAX_OFF_RADIO = 1384;

// Band texts of AT+znlockband.
constexpr const char* kBandPlusAreaWimaxOn = "1,1,30000030015,4C00000";
constexpr const char* kBandPlusAreaWimaxOff = "1,1,30015,4C00000";
constexpr const char* kBandLeavePlusAreaFlag1 = "1,1,10000010014,4C00000";
constexpr const char* kBandLeavePlusAreaNoFlag1 = "1,0,10000000000,4C00000";
constexpr size_t DEVICE_BAND_TEXT_ROOM = 256;

constexpr int DEVICE_MODE_CASE_COUNT = 12;
// Tries of each device routine, with 1000 ms after every failed one.
constexpr int DEVICE_MODE_TRIES = 3;

// Device routines over the owner's port manager: OpenATPort (its failure is
// returned without sending), then up to 3 tries; 0 on success.
int WriteDeviceBand(CMarlPortManager& portManager, const char* band);
int ReadDeviceFlagState(CMarlPortManager& portManager, DeviceFlagRecord* flags);
int WriteDeviceFlagState(CMarlPortManager& portManager, const DeviceFlagRecord* flags);
int ReadDeviceNetworkState(CMarlPortManager& portManager, int* state);

// 0 with *deviceCase (1..12) set, or 1 when no row matches (*deviceCase untouched).
int ClassifyDeviceModeState(int networkState, const DeviceFlagRecord& flags, int* deviceCase);

// What one case asks for under the chosen setting.
struct DeviceModeChange {
    bool act = false;             // false: nothing is sent
    const char* band = nullptr;   // sent first when not null
    uint8_t flag0 = 0;            // then written with flag2
    uint8_t flag2 = 0;
};

// false for a case outside 1..12.
bool CommunicationModeChangeFor(int deviceCase, bool plusAreaChosen, DeviceModeChange* change);
bool WimaxModeChangeFor(int deviceCase, bool wimaxOffChosen, DeviceModeChange* change);

// Sends change: band first (its failure stops), then the flags. 0 when nothing to send.
int ApplyDeviceModeChange(CMarlPortManager& portManager, const DeviceModeChange& change);

class CMarlModemSettingCommunicationModePage;
// By the page's radio 1098; 0, the failing routine's result, or 1 for a case outside 1..12.
int ApplyCommunicationMode(CMarlModemSettingCommunicationModePage* page, int deviceCase);
// By the WiMAX dialog's radio 1384 (unchecked counts as ON chosen); same results.
int ApplyWimaxMode(CWnd* wimaxDialog, CMarlPortManager& portManager, int deviceCase);

class CMarlModemSettingCommunicationModePage : public CDialog {
public:
    explicit CMarlModemSettingCommunicationModePage(CWnd* parent = nullptr);
    ~CMarlModemSettingCommunicationModePage() override;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;

    // Worker thread; each shows its own message box and returns 0 on success.
    int ReadCommunicationMode();
    int WriteCommunicationMode();
    int ShowCommunicationMode(uint8_t flag0);
    // High Speed Plus Area checked, High Speed disabled.
    void PresetPlusAreaMode();
    void SetCommunicationModeTexts();

    HANDLE m_hMutex = nullptr;
    int m_nCommunicationMode = 0;  // radio group 1097/1098
    CMarlPortManager m_portManager;

protected:
    void ShowModeMessage(const wchar_t* key);

    DECLARE_MESSAGE_MAP()
};
