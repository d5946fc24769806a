#include "tools/carrierswitch/marl_switch_mode_tool_dlg.h"

#include <cstring>
#include <memory>

#include "app/app_paths.h"
#include "app/language.h"
#include "app/web_server_check.h"
#include "device/at_ops_network.h"
#include "device/goform.h"
#include "device/ini_reader.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/win/debug_output.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"
#include "tools/restore/restore_factory_setting_dlg.h"

UI_USE_TEMPLATE_FILE(carrier_switch_dialog);

namespace {

constexpr int kListingEntries = 50;

CMarlSwitchModeToolDlg* FromParam(LPVOID param) { return static_cast<CMarlSwitchModeToolDlg*>(param); }

void SetButtons(CWnd* dialog, bool eou, bool modem)
{
    if (CWnd* button = dialog->GetDlgItem(IDC_MARL_SET_EOU))
        button->EnableWindow(eou ? TRUE : FALSE);
    if (CWnd* button = dialog->GetDlgItem(IDC_MARL_SET_MODEM))
        button->EnableWindow(modem ? TRUE : FALSE);
}

void DisableButton(CWnd* dialog, int id)
{
    if (CWnd* button = dialog->GetDlgItem(id))
        button->EnableWindow(FALSE);
}

// What the device listing shows now, by the switch tools' first-match rule.
SwitchPortKind ScanListing(char (*entries)[KESTLE_ENTRY_SIZE])
{
    std::memset(entries, 0, kListingEntries * KESTLE_ENTRY_SIZE);
    int count = kListingEntries;
    if (KestleEnumDeviceProperty(entries, &count) != 0 || count <= 0)
        return SwitchPortKind::None;
    if (count > kListingEntries)
        count = kListingEntries;
    for (int i = 0; i < count; ++i)
        entries[i][KESTLE_ENTRY_SIZE - 1] = '\0';
    return ClassifySwitchListing(entries, count);
}

void ShowSwitchResult(CMarlSwitchModeToolDlg* dlg, bool done)
{
    dlg->MessageBox(dlg->ReadOwnString(done ? L"SUCCESS_INFO" : L"FAILED_INFO"), dlg->ReadOwnString(L"TITLE"),
                    MB_ICONINFORMATION | MB_OK);
}

}  // namespace

BEGIN_MESSAGE_MAP(CMarlSwitchModeToolDlg, CToolDialogFrame)
    ON_BN_CLICKED(IDC_MARL_SET_EOU, &CMarlSwitchModeToolDlg::OnSetEouButton)
    ON_BN_CLICKED(IDC_MARL_SET_MODEM, &CMarlSwitchModeToolDlg::OnSetModemButton)
END_MESSAGE_MAP()

CMarlSwitchModeToolDlg::CMarlSwitchModeToolDlg(CWnd* parent) : CToolDialogFrame(IDD_MARL_SWITCH_MODE_TOOL, parent)
{
    m_pszLanguageSection = kSwitchModeSection;
    m_pfnWatchProc = &CMarlSwitchModeToolDlg::WatchSwitchModePorts;
}

CMarlSwitchModeToolDlg::~CMarlSwitchModeToolDlg()
{
    m_nStopFlag = 1;
    SwitchToHilinkModeThread = nullptr;
    SwitchToModemModeThread = nullptr;
}

CString CMarlSwitchModeToolDlg::ReadOwnString(const wchar_t* key) const { return ReadSwitchModeString(key); }

void CMarlSwitchModeToolDlg::ReadSwitchModeDomainName(char* out, size_t outSize)
{
    ReadMarlDomainName(kMarlSwitchConfigSection, out, outSize);
}

int CMarlSwitchModeToolDlg::IsDeviceWebServerDown() { return IsWebServerDownForSection(kMarlSwitchConfigSection); }

BOOL CMarlSwitchModeToolDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // before the refusal, so that it has its texts
    UseCarrierLanguageFile();
    m_hMutex = CheckSingleInstance(this, single_instance::kMarlSwitchModeTool, RefusalStyle::MessageBox,
                                   ReadOwnString(L"SINGLE_TOOL"), ReadOwnString(L"TITLE"));
    if (CWnd* main = AfxGetMainWnd())
        main->SetWindowText(ReadOwnString(L"TITLE"));
    SetDlgItemText(IDC_MARL_SWITCH_GROUP, ReadOwnString(L"STATIC_INFO"));
    SetDlgItemText(IDC_MARL_SET_EOU, ReadOwnString(L"BUTTON_EOU_INFO"));
    SetDlgItemText(IDC_MARL_SET_MODEM, ReadOwnString(L"BUTTON_MODEM_INFO"));
    StartWatchThread(&CMarlSwitchModeToolDlg::WatchSwitchModePorts);
    return TRUE;
}

void CMarlSwitchModeToolDlg::OnSetEouButton()
{
    StartWorker(&CMarlSwitchModeToolDlg::SwitchHilinkModeOperationThread, &SwitchToHilinkModeThread);
}

void CMarlSwitchModeToolDlg::OnSetModemButton()
{
    StartWorker(&CMarlSwitchModeToolDlg::SwitchModemModeOperationThread, &SwitchToModemModeThread);
}

UINT CMarlSwitchModeToolDlg::WatchSwitchModePorts(LPVOID param)
{
    CMarlSwitchModeToolDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    SetButtons(dlg, false, false);
    bool networkCard = false;
    auto entries = std::make_unique<char[][KESTLE_ENTRY_SIZE]>(kListingEntries);
    dlg->RunWatchPasses([&]() -> DWORD {
        SwitchPortKind kind = ScanListing(entries.get());
        bool webUp = IsDeviceWebServerDown() == 0;
        if (webUp || kind == SwitchPortKind::NetworkCard) {
            if (dlg->StopRequested())
                return 0;
            // a first sighting is confirmed by a second answer of the web server
            if (!networkCard && IsDeviceWebServerDown() != 0)
                return kWatchRetryPauseMs;  // the modem still boots: not back to back
            OutputDebugStringW(L"KESTLE: CPlatformManager, Search RNDIS Port SUCCESS!");
            SetButtons(dlg, false, true);
            networkCard = true;
            return 1000;
        }
        if (kind == SwitchPortKind::ModemPort) {
            if (dlg->StopRequested())
                return 0;
            OutputDebugStringW(L"KESTLE: CPlatformManager, Search NMEA Success!");
            SetButtons(dlg, true, false);
            networkCard = false;
            return 1000;
        }
        OutputDebugStringW(L"KESTLE: CPlatformManager, Search NMEA Port Fail!");
        SetButtons(dlg, false, false);
        networkCard = false;
        return 1000;
    });
    return 0;
}

UINT CMarlSwitchModeToolDlg::SwitchHilinkModeOperationThread(LPVOID param)
{
    CMarlSwitchModeToolDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    DisableButton(dlg, IDC_MARL_SET_EOU);
    OutputDebugStringA("kestle:SwitchHilinkModeOperationThread 1  ");
    bool done = TryMarlRequest([dlg] { return dlg->m_portManager.OpenATPort() == 0 ? AT_ENTER_RNDIS_MODE() : 1; },
                               [] { OutputDebugStringA("kestle:SwitchHilinkModeOperationThread 2"); });
    OutputDebugStringA("kestle:SwitchHilinkModeOperationThread 3");
    if (done)
        done = TryMarlRequest([dlg] { return dlg->m_portManager.OpenATPort() == 0 ? AT_MarlRestart() : 1; });
    OutputDebugStringA("kestle:SwitchHilinkModeOperationThread 4");
    ShowSwitchResult(dlg, done);
    dlg->EndWorker();
    return 0;
}

UINT CMarlSwitchModeToolDlg::SwitchModemModeOperationThread(LPVOID param)
{
    CMarlSwitchModeToolDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    DisableButton(dlg, IDC_MARL_SET_MODEM);
    char domain[1024] = {};
    char command[1024] = {};
    char answer[1024] = {};
    OutputDebugStringA("kestle:SwitchModemModeOperationThread 1");
    ReadSwitchModeDomainName(domain, sizeof domain);
    ReadIniString(kMarlSwitchConfigSection, "SWITCH_MODEM_COMMAND", command, sizeof command,
                  g_strCfgFilePath.c_str());
    OutputDebugStringA("kestle:SwitchModemModeOperationThread 2");
    bool done = TryMarlRequest([&] {
        answer[0] = '\0';
        return Http_SetProductModeForMarl(domain, command, answer);
    });
    OutputDebugStringA("kestle:SwitchModemModeOperationThread 3");
    if (done)
        done = TryMarlRequest([&] {
            answer[0] = '\0';
            return Http_RebootDevice(domain, answer);
        });
    OutputDebugStringA("kestle:SwitchModemModeOperationThread 4");
    ShowSwitchResult(dlg, done);
    dlg->EndWorker();
    return 0;
}

CDialog* CreateMarlSwitchModeToolDlg() { return new CMarlSwitchModeToolDlg(); }
