#include "tools/wimax/wimax_dlg.h"

#include <cstdio>
#include <cstring>

#include "app/app_paths.h"
#include "app/language.h"
#include "app/prompt_dialogs.h"
#include "app/web_server_check.h"
#include "app/work_folder.h"
#include "device/goform.h"
#include "tools/carriersetting/commode_page.h"
#include "device/ini_reader.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"
#include "platform/win/temp_folder.h"

UI_USE_TEMPLATE_FILE(wimax_dialog);

namespace {

constexpr const char* kConfigSection = "TARSEL_KESTLE_TOOLS_TYPE_MARL_WIMAX";
constexpr const wchar_t* kRndisFound = L"KESTLE: CPlatformManager, Search RNDIS Port SUCCESS!";
constexpr const wchar_t* kNmeaFound = L"KESTLE: CPlatformManager, Search NMEA Port SUCCESS!";
constexpr const wchar_t* kPortsMissing = L"KESTLE: CPlatformManager, Search Port Fail!";
constexpr DWORD kRetryPauseMs = 1000;

CMarlWimaxDlg* FromParam(LPVOID param) { return static_cast<CMarlWimaxDlg*>(param); }

void SetButtonsEnabled(CWnd* dialog, bool enabled)
{
    for (int id : {IDC_WIMAX_READ, IDC_WIMAX_SET})
        if (CWnd* control = dialog->GetDlgItem(id))
            control->EnableWindow(enabled ? TRUE : FALSE);
}

// Narrow configuration text of the tool's section; "" when absent.
void ReadWimaxConfig(const char* key, char* out, size_t outSize)
{
    out[0] = '\0';
    ReadIniString(kConfigSection, key, out, outSize, g_strCfgFilePath.c_str());
}

// DOMAIN_NAME (at most 255 characters), the default when empty.
void ReadWimaxDomainName(char* out, size_t outSize)
{
    char domain[256];
    ReadWimaxConfig("DOMAIN_NAME", domain, sizeof domain);
    std::snprintf(out, outSize, "%s", domain[0] ? domain : kWimaxDefaultDomainName);
}

}  // namespace

BEGIN_MESSAGE_MAP(CMarlWimaxDlg, CToolDialogFrame)
    ON_BN_CLICKED(IDC_WIMAX_READ, &CMarlWimaxDlg::OnReadButton)
    ON_BN_CLICKED(IDC_WIMAX_SET, &CMarlWimaxDlg::OnSetButton)
END_MESSAGE_MAP()

CMarlWimaxDlg::CMarlWimaxDlg(CWnd* parent) : CToolDialogFrame(IDD_MARL_WIMAX, parent)
{
    m_pszLanguageSection = kWimaxSection;
    m_pfnWatchProc = &CMarlWimaxDlg::WatchWimaxDevice;
}

CMarlWimaxDlg::~CMarlWimaxDlg() { m_nStopFlag = 1; }

CString CMarlWimaxDlg::ReadOwnString(const wchar_t* key) const { return ReadWimaxString(key); }

void CMarlWimaxDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Radio(dx, IDC_WIMAX_ON, m_nWimaxRadio);
}

BOOL CMarlWimaxDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    UseCarrierLanguageFile();
    m_hMutex = CheckSingleInstance(this, single_instance::kMarlWimax, RefusalStyle::MessageBox,
                                   ReadOwnString(L"SINGLE_TOOL"), ReadOwnString(L"TITLE"));
    SetWindowText(ReadOwnString(L"TITLE"));
    SetWimaxToolFolderPath();
    SetWimaxTexts();
    ShowUserId();
    StartWatchThread(&CMarlWimaxDlg::WatchWimaxDevice);
    return TRUE;
}

int CMarlWimaxDlg::SetWimaxToolFolderPath()
{
    // the folder the start-up made, under the private base
    std::wstring temp = GetPrivateBaseFolder();
    if (temp.empty() || !PathExists(temp))
        return 0;
    m_strToolFolderPath = temp + kWimaxToolFolderName;
    return 1;
}

void CMarlWimaxDlg::SetWimaxTexts()
{
    SetDlgItemText(IDC_WIMAX_READ, ReadOwnString(L"BUTTON_READ_INFO"));
    SetDlgItemText(IDC_WIMAX_SET, ReadOwnString(L"BUTTON_WRITE_INFO"));
    // the tool opens on OFF until a read
    CheckDlgButton(IDC_WIMAX_ON, BST_UNCHECKED);
    CheckDlgButton(IDC_WIMAX_OFF, BST_CHECKED);
    SetDlgItemText(IDC_WIMAX_ON, ReadOwnString(L"RADIO_WIMAX_ON"));
    SetDlgItemText(IDC_WIMAX_OFF, ReadOwnString(L"RADIO_WIMAX_OFF"));
}

int CMarlWimaxDlg::ShowUserId()
{
    // without a tool folder there is no file of ours to read
    if (m_strToolFolderPath.empty())
        return 1;
    std::wstring path = m_strToolFolderPath + L"/config.ini";
    char userId[256] = {};
    if (!ReadIniString("USR_INFO", "USR_ID", userId, sizeof userId, path.c_str()) || !userId[0])
        return 1;
    char text[sizeof userId + 3];
    std::snprintf(text, sizeof text, "ID=%s", userId);
    CString wide;
    AnsiToWideString(text, wide);
    SetDlgItemText(IDC_WIMAX_USER_ID, wide);
    return 0;
}

int CMarlWimaxDlg::IsDeviceWebServerDown() const { return IsWebServerDownForSection(kConfigSection); }

int CMarlWimaxDlg::GetWimaxByGoform(unsigned char* enabled) const
{
    char domain[256];
    ReadWimaxDomainName(domain, sizeof domain);
    char command[1024];
    ReadWimaxConfig("GET_WIMAX_SETTING_COMMAND", command, sizeof command);
    for (int attempt = 0; attempt < WIMAX_GOFORM_TRIES; ++attempt) {
        int flag = 0;
        if (Http_GetWimax2Enable(domain, command, &flag) == 0) {
            *enabled = flag ? 1 : 0;
            return 0;
        }
        Sleep(kRetryPauseMs);
    }
    return 1;
}

int CMarlWimaxDlg::SetWimaxByGoform(bool on) const
{
    char domain[256];
    ReadWimaxDomainName(domain, sizeof domain);
    char command[1024];
    ReadWimaxConfig("SET_WIMAX_SETTING_COMMAND", command, sizeof command);
    for (int attempt = 0; attempt < WIMAX_GOFORM_TRIES; ++attempt) {
        if (Http_SetWimax2Enable(domain, command, on ? 1 : 0) == 0)
            return 0;
        Sleep(kRetryPauseMs);
    }
    return 1;
}

int CMarlWimaxDlg::SetWimaxRadios(unsigned char enabled)
{
    CheckDlgButton(IDC_WIMAX_OFF, enabled == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_WIMAX_ON, enabled != 0 ? BST_CHECKED : BST_UNCHECKED);
    return 0;
}

int CMarlWimaxDlg::ReadWimaxState()
{
    DeviceFlagRecord record{};
    int result = 1;
    bool pathFound = false;
    for (int attempt = 0; attempt < WIMAX_PATH_ATTEMPTS && !pathFound; ++attempt) {
        int port = 0;
        if (!IsDeviceWebServerDown()) {
            OutputDebugStringW(kRndisFound);
            result = GetWimaxByGoform(&record.flag2);
            pathFound = true;
        } else if (m_portManager.FindATPortNumber(&port) == 0) {
            OutputDebugStringW(kNmeaFound);
            result = ReadDeviceFlagState(m_portManager, &record);
            pathFound = true;
        } else {
            OutputDebugStringW(kPortsMissing);
            Sleep(kRetryPauseMs);
        }
    }
    if (result == 0)
        SetWimaxRadios(record.flag2);
    return result;
}

int CMarlWimaxDlg::WriteWimaxState()
{
    for (int attempt = 0; attempt < WIMAX_PATH_ATTEMPTS; ++attempt) {
        int port = 0;
        if (!IsDeviceWebServerDown()) {
            OutputDebugStringW(kRndisFound);
            return SetWimaxByGoform(IsDlgButtonChecked(IDC_WIMAX_ON) == BST_CHECKED);
        }
        if (m_portManager.FindATPortNumber(&port) == 0) {
            OutputDebugStringW(kNmeaFound);
            DeviceFlagRecord record{};
            int result = ReadDeviceFlagState(m_portManager, &record);
            int networkState = 1;
            if (result == 0)
                result = ReadDeviceNetworkState(m_portManager, &networkState);
            int modeCase = 0;
            if (result == 0)
                result = ClassifyDeviceModeState(networkState, record, &modeCase);
            if (result == 0)
                result = ApplyWimaxMode(this, m_portManager, modeCase);
            return result;
        }
        OutputDebugStringW(kPortsMissing);
        Sleep(kRetryPauseMs);
    }
    return 1;
}

UINT CMarlWimaxDlg::WatchWimaxDevice(LPVOID param)
{
    CMarlWimaxDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    SetButtonsEnabled(dlg, false);
    dlg->RunWatchPasses([dlg]() -> DWORD {
        int port = 0;
        if (!dlg->IsDeviceWebServerDown()) {
            if (dlg->StopRequested())
                return 0;
            OutputDebugStringW(kRndisFound);
            SetButtonsEnabled(dlg, true);
        } else if (dlg->m_portManager.FindATPortNumber(&port) == 0) {
            if (dlg->StopRequested())
                return 0;
            OutputDebugStringW(kNmeaFound);
            SetButtonsEnabled(dlg, true);
        } else {
            OutputDebugStringW(kPortsMissing);
            SetButtonsEnabled(dlg, false);
        }
        return kRetryPauseMs;
    });
    return 0;
}

// The common steps of both workers around the one operation.
UINT RunWimaxWorker(LPVOID param, int (CMarlWimaxDlg::*operation)(), const wchar_t* successKey,
                    const wchar_t* failedKey)
{
    CMarlWimaxDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    SetButtonsEnabled(dlg, false);
    int result = (dlg->*operation)();
    dlg->MessageBox(dlg->ReadOwnString(result == 0 ? successKey : failedKey), dlg->ReadOwnString(L"TITLE"),
                    MB_ICONINFORMATION);
    SetButtonsEnabled(dlg, true);
    dlg->EndWorker();
    return 0;
}

UINT CMarlWimaxDlg::ReadParametersThread(LPVOID param)
{
    return RunWimaxWorker(param, &CMarlWimaxDlg::ReadWimaxState, L"READ_STATE_SUCCESS", L"READ_STATE_FAILED");
}

UINT CMarlWimaxDlg::WriteParametersThread(LPVOID param)
{
    return RunWimaxWorker(param, &CMarlWimaxDlg::WriteWimaxState, L"WRITE_STATE_SUCCESS", L"WRITE_STATE_FAILED");
}

void CMarlWimaxDlg::OnReadButton() { StartWorker(&CMarlWimaxDlg::ReadParametersThread, &pReadParametersThread); }

void CMarlWimaxDlg::OnSetButton() { StartWorker(&CMarlWimaxDlg::WriteParametersThread, &m_pWriteParametersThread); }

CDialog* CreateMarlWimaxDlg() { return new CMarlWimaxDlg(); }
