#include "tools/carriersetting/commode_page.h"

#include <cstdio>
#include <functional>

#include "app/language.h"
#include "app/port_operation.h"
#include "app/tool_dialog_frame.h"
#include "platform/win/clock.h"

UI_USE_TEMPLATE_FILE(carrier_setting_dialogs);

namespace {

// Opens the AT port, then up to DEVICE_MODE_TRIES tries with a pause after each failure.
int RunDeviceTries(CMarlPortManager& portManager, const std::function<int()>& operation)
{
    int result = OpenATPortInOperation(portManager);
    if (result != 0)
        return result;
    for (int attempt = 0; attempt < DEVICE_MODE_TRIES; ++attempt) {
        result = operation();
        if (result == 0)
            break;
        Sleep(1000);
    }
    return result;
}

bool IsFlagValue(uint8_t value) { return value == 0 || value == 1; }

struct CaseRow {
    uint8_t flag0;
    uint8_t flag2;
    int networkState;
    int flag1;  // -1: any
};

// Tested in order; the first match is the case (index + 1).
constexpr CaseRow kCaseRows[DEVICE_MODE_CASE_COUNT] = {
    {0, 1, 3, -1}, {0, 1, 1, -1}, {0, 1, 2, -1}, {0, 0, 3, -1}, {0, 0, 1, -1}, {0, 0, 2, -1},
    {1, 1, 3, 1},  {1, 1, 1, -1}, {1, 1, 3, 0},  {1, 0, 3, 1},  {1, 0, 1, -1}, {1, 0, 3, 0},
};

struct ChangeRow {
    bool actsWhenOption;  // the chosen option (Plus Area / WiMAX OFF) that makes the case act
    const char* band;
    uint8_t flag0;
    uint8_t flag2;
};

constexpr ChangeRow kCommunicationModeRows[DEVICE_MODE_CASE_COUNT] = {
    {true, kBandPlusAreaWimaxOn, 1, 1},       {true, nullptr, 1, 1},
    {true, kBandPlusAreaWimaxOn, 1, 1},       {true, kBandPlusAreaWimaxOff, 1, 0},
    {true, nullptr, 1, 0},                    {true, kBandPlusAreaWimaxOff, 1, 0},
    {false, kBandLeavePlusAreaFlag1, 0, 1},   {false, nullptr, 0, 1},
    {false, kBandLeavePlusAreaNoFlag1, 0, 1}, {false, kBandLeavePlusAreaFlag1, 0, 0},
    {false, nullptr, 0, 0},                   {false, kBandLeavePlusAreaNoFlag1, 0, 0},
};

constexpr ChangeRow kWimaxModeRows[DEVICE_MODE_CASE_COUNT] = {
    {true, nullptr, 0, 0},  {true, nullptr, 0, 0},  {true, nullptr, 0, 0},
    {false, nullptr, 0, 1}, {false, nullptr, 0, 1}, {false, nullptr, 0, 1},
    {true, kBandPlusAreaWimaxOff, 1, 0}, {true, nullptr, 1, 0}, {true, kBandPlusAreaWimaxOff, 1, 0},
    {false, kBandPlusAreaWimaxOn, 1, 1}, {false, nullptr, 1, 1}, {false, kBandPlusAreaWimaxOn, 1, 1},
};

bool ChangeFor(const ChangeRow (&rows)[DEVICE_MODE_CASE_COUNT], int deviceCase, bool option,
               DeviceModeChange* change)
{
    if (deviceCase < 1 || deviceCase > DEVICE_MODE_CASE_COUNT)
        return false;
    const ChangeRow& row = rows[deviceCase - 1];
    *change = DeviceModeChange{};
    if (row.actsWhenOption != option)
        return true;
    *change = DeviceModeChange{true, row.band, row.flag0, row.flag2};
    return true;
}

bool IsButtonChecked(CWnd* dialog, int id)
{
    CWnd* control = dialog ? dialog->GetDlgItem(id) : nullptr;
    return control && static_cast<CButton*>(control)->GetCheck() != 0;
}

void SetButtonCheck(CWnd* dialog, int id, bool checked)
{
    if (CWnd* control = dialog->GetDlgItem(id))
        static_cast<CButton*>(control)->SetCheck(checked ? BST_CHECKED : BST_UNCHECKED);
}

}  // namespace

int WriteDeviceBand(CMarlPortManager& portManager, const char* band)
{
    char text[DEVICE_BAND_TEXT_ROOM];
    std::snprintf(text, sizeof text, "%s", band ? band : "");
    return RunDeviceTries(portManager, [&] { return AT_SET_BAND(text); });
}

int ReadDeviceFlagState(CMarlPortManager& portManager, DeviceFlagRecord* flags)
{
    return RunDeviceTries(portManager, [&] { return AT_GET_DEVICE_FLAG_STATE(flags); });
}

int WriteDeviceFlagState(CMarlPortManager& portManager, const DeviceFlagRecord* flags)
{
    return RunDeviceTries(portManager, [&] { return AT_SET_DEVICE_FLAG_STATE(flags); });
}

int ReadDeviceNetworkState(CMarlPortManager& portManager, int* state)
{
    return RunDeviceTries(portManager, [&] { return AT_GET_DEVICE_NETWORK_STATE(state); });
}

int ClassifyDeviceModeState(int networkState, const DeviceFlagRecord& flags, int* deviceCase)
{
    if (!IsFlagValue(flags.flag0) || !IsFlagValue(flags.flag1) || !IsFlagValue(flags.flag2))
        return 1;
    for (int i = 0; i < DEVICE_MODE_CASE_COUNT; ++i) {
        const CaseRow& row = kCaseRows[i];
        if (row.flag0 == flags.flag0 && row.flag2 == flags.flag2 && row.networkState == networkState &&
            (row.flag1 < 0 || row.flag1 == flags.flag1)) {
            *deviceCase = i + 1;
            return 0;
        }
    }
    return 1;
}

bool CommunicationModeChangeFor(int deviceCase, bool plusAreaChosen, DeviceModeChange* change)
{
    return ChangeFor(kCommunicationModeRows, deviceCase, plusAreaChosen, change);
}

bool WimaxModeChangeFor(int deviceCase, bool wimaxOffChosen, DeviceModeChange* change)
{
    return ChangeFor(kWimaxModeRows, deviceCase, wimaxOffChosen, change);
}

int ApplyDeviceModeChange(CMarlPortManager& portManager, const DeviceModeChange& change)
{
    if (!change.act)
        return 0;
    if (change.band) {
        int result = WriteDeviceBand(portManager, change.band);
        if (result != 0)
            return result;
    }
    // flag1 is never sent
    DeviceFlagRecord flags{change.flag0, 0, change.flag2};
    return WriteDeviceFlagState(portManager, &flags);
}

int ApplyCommunicationMode(CMarlModemSettingCommunicationModePage* page, int deviceCase)
{
    DeviceModeChange change;
    if (!page || !CommunicationModeChangeFor(deviceCase, IsButtonChecked(page, IDC_COMMODE_HIGH_SPEED_PLUS), &change))
        return 1;
    return ApplyDeviceModeChange(page->m_portManager, change);
}

int ApplyWimaxMode(CWnd* wimaxDialog, CMarlPortManager& portManager, int deviceCase)
{
    DeviceModeChange change;
    if (!WimaxModeChangeFor(deviceCase, IsButtonChecked(wimaxDialog, IDC_WIMAX_OFF_RADIO), &change))
        return 1;
    return ApplyDeviceModeChange(portManager, change);
}

// --- the page ---

BEGIN_MESSAGE_MAP(CMarlModemSettingCommunicationModePage, CDialog)
END_MESSAGE_MAP()

CMarlModemSettingCommunicationModePage::CMarlModemSettingCommunicationModePage(CWnd* parent)
    : CDialog(IDD_MARL_COMMUNICATION_MODE_PAGE, parent)
{
}

CMarlModemSettingCommunicationModePage::~CMarlModemSettingCommunicationModePage()
{
    // the running tool's page lives until the process ends; a page deleted earlier lets the name go
    if (m_hMutex)
        CloseHandle(m_hMutex);
}

void CMarlModemSettingCommunicationModePage::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Radio(pDX, IDC_COMMODE_HIGH_SPEED, m_nCommunicationMode);
}

BOOL CMarlModemSettingCommunicationModePage::PreTranslateMessage(MSG* msg)
{
    if (IsToolKeySwallowed(msg))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL CMarlModemSettingCommunicationModePage::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hMutex = CheckSingleInstance(this, single_instance::kMarlModemSettingCommunicationModePage,
                                   RefusalStyle::MessageBox, ReadModemSettingString(L"SINGLE_TOOL"),
                                   ReadModemSettingString(L"TITLE"));
    if (CWnd* main = AfxGetMainWnd())
        main->SetWindowText(ReadModemSettingString(L"TITLE"));
    SetCommunicationModeTexts();
    return TRUE;
}

void CMarlModemSettingCommunicationModePage::SetCommunicationModeTexts()
{
    SetDlgItemText(IDC_COMMODE_HIGH_SPEED, ReadModemSettingString(L"HIGH_SPEED_INFO"));
    SetDlgItemText(IDC_COMMODE_HIGH_SPEED_PLUS, ReadModemSettingString(L"HIGH_SPEED_PLUS_INFO"));
}

int CMarlModemSettingCommunicationModePage::ShowCommunicationMode(uint8_t flag0)
{
    SetButtonCheck(this, IDC_COMMODE_HIGH_SPEED, flag0 == 0);
    SetButtonCheck(this, IDC_COMMODE_HIGH_SPEED_PLUS, flag0 != 0);
    return 0;
}

void CMarlModemSettingCommunicationModePage::PresetPlusAreaMode()
{
    SetButtonCheck(this, IDC_COMMODE_HIGH_SPEED, false);
    SetButtonCheck(this, IDC_COMMODE_HIGH_SPEED_PLUS, true);
    if (CWnd* highSpeed = GetDlgItem(IDC_COMMODE_HIGH_SPEED))
        highSpeed->EnableWindow(FALSE);
}

void CMarlModemSettingCommunicationModePage::ShowModeMessage(const wchar_t* key)
{
    MessageBox(ReadModemSettingString(key), ReadModemSettingString(L"TITLE"), MB_ICONINFORMATION);
}

int CMarlModemSettingCommunicationModePage::ReadCommunicationMode()
{
    DeviceFlagRecord flags{};
    int result = ReadDeviceFlagState(m_portManager, &flags);
    if (result == 0)
        ShowCommunicationMode(flags.flag0);
    ShowModeMessage(result == 0 ? L"READ_MODE_SUCCESS" : L"READ_MODE_FAILED");
    return result;
}

int CMarlModemSettingCommunicationModePage::WriteCommunicationMode()
{
    DeviceFlagRecord flags{};
    int networkState = 1;
    int deviceCase = 0;
    int result = ReadDeviceFlagState(m_portManager, &flags);
    if (result == 0)
        result = ReadDeviceNetworkState(m_portManager, &networkState);
    if (result == 0)
        result = ClassifyDeviceModeState(networkState, flags, &deviceCase);
    if (result == 0)
        result = ApplyCommunicationMode(this, deviceCase);
    ShowModeMessage(result == 0 ? L"WRITE_MODE_SUCCESS" : L"WRITE_MODE_FAILED");
    return result;
}
