#include "tools/carrierswitch/marl_switch_mode_tool_dlg.h"

#include "app/app_paths.h"
#include "app/language.h"
#include "device/at_ops_network.h"
#include "device/goform.h"
#include "device/ini_reader.h"
#include "platform/win/debug_output.h"
#include "tools/genswitch/switch_port_watch.h"
#include "tools/restore/restore_factory_setting_dlg.h"

UI_USE_TEMPLATE_FILE(carrier_switch_dialog);

namespace {

CMarlSwitchModeToolDlg* FromParam(LPVOID param) { return static_cast<CMarlSwitchModeToolDlg*>(param); }

void DisableButton(CWnd* dialog, int id)
{
    if (CWnd* button = dialog->GetDlgItem(id))
        button->EnableWindow(FALSE);
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
    static constexpr SwitchWatchSetup kSetup{IDC_MARL_SET_EOU, IDC_MARL_SET_MODEM, kMarlSwitchConfigSection, true};
    if (CMarlSwitchModeToolDlg* dlg = FromParam(param))
        WatchSwitchPorts(dlg, kSetup);
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
