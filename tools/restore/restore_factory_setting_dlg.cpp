#include "tools/restore/restore_factory_setting_dlg.h"

#include <cstdio>

#include "app/app_paths.h"
#include "app/language.h"
#include "app/web_server_check.h"
#include "device/goform.h"
#include "device/ini_reader.h"
#include "platform/win/debug_output.h"

UI_USE_TEMPLATE_FILE(restore_dialog);

namespace {

CMarlRestoreFactorySettingDlg* FromParam(LPVOID param) { return static_cast<CMarlRestoreFactorySettingDlg*>(param); }

void SetRestoreButton(CWnd* dialog, bool enabled)
{
    if (CWnd* button = dialog->GetDlgItem(IDC_RESTORE_BUTTON))
        button->EnableWindow(enabled ? TRUE : FALSE);
}

}  // namespace

void ReadMarlDomainName(const char* section, char* out, size_t outSize)
{
    char domain[kMarlDomainNameRoom] = {};
    ReadIniString(section, "DOMAIN_NAME", domain, sizeof domain, g_strCfgFilePath.c_str());
    std::snprintf(out, outSize, "%s", domain[0] ? domain : kMarlDefaultDomainName);
}

BEGIN_MESSAGE_MAP(CMarlRestoreFactorySettingDlg, CToolDialogFrame)
    ON_BN_CLICKED(IDC_RESTORE_BUTTON, &CMarlRestoreFactorySettingDlg::OnRestoreButton)
END_MESSAGE_MAP()

CMarlRestoreFactorySettingDlg::CMarlRestoreFactorySettingDlg(CWnd* parent)
    : CToolDialogFrame(IDD_MARL_RESTORE_FACTORY_SETTING, parent)
{
    m_pszLanguageSection = kRestoreFactorySection;
    m_pfnWatchProc = &WatchRestoreFactoryDevice;
}

CMarlRestoreFactorySettingDlg::~CMarlRestoreFactorySettingDlg()
{
    m_nStopFlag = 1;
    RestoreFactorySettingDoOperationThread = nullptr;
}

CString CMarlRestoreFactorySettingDlg::ReadOwnString(const wchar_t* key) const { return ReadRestoreFactoryString(key); }

int CMarlRestoreFactorySettingDlg::IsDeviceWebServerDown() { return IsWebServerDownForSection(kRestoreConfigSection); }

BOOL CMarlRestoreFactorySettingDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // before the refusal, so that it has its texts
    UseCarrierLanguageFile();
    m_hMutex = CheckSingleInstance(this, single_instance::kMarlRestoreFactorySetting, RefusalStyle::MessageBox,
                                   ReadOwnString(L"SINGLE_TOOL"), ReadOwnString(L"TITLE"));
    if (CWnd* main = AfxGetMainWnd())
        main->SetWindowText(ReadOwnString(L"TITLE"));
    SetDlgItemText(IDC_RESTORE_GROUP, ReadOwnString(L"STATIC_INFO"));
    SetDlgItemText(IDC_RESTORE_BUTTON, ReadOwnString(L"BUTTON_INFO"));
    StartWatchThread(&WatchRestoreFactoryDevice);
    return TRUE;
}

void CMarlRestoreFactorySettingDlg::OnRestoreButton()
{
    StartWorker(&::RestoreFactorySettingDoOperationThread, &RestoreFactorySettingDoOperationThread);
}

UINT WatchRestoreFactoryDevice(LPVOID param)
{
    CMarlRestoreFactorySettingDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    SetRestoreButton(dlg, false);
    dlg->RunWatchPasses([dlg]() -> DWORD {
        if (CMarlRestoreFactorySettingDlg::IsDeviceWebServerDown() == 0) {
            // a button press during the request: leave the button as it is
            if (dlg->StopRequested())
                return 0;
            OutputDebugStringW(L"KESTLE: CPlatformManager, Search RNDIS Port SUCCESS!");
            SetRestoreButton(dlg, true);
        } else {
            OutputDebugStringW(L"KESTLE: CPlatformManager, Search RNDIS Port Fail!");
            SetRestoreButton(dlg, false);
        }
        return 1000;
    });
    return 0;
}

UINT RestoreFactorySettingDoOperationThread(LPVOID param)
{
    CMarlRestoreFactorySettingDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    SetRestoreButton(dlg, false);
    char domain[1024] = {};
    ReadMarlDomainName(kRestoreConfigSection, domain, sizeof domain);
    char command[1024] = {};
    ReadIniString(kRestoreConfigSection, "RESTORE_COMMAND", command, sizeof command, g_strCfgFilePath.c_str());
    char answer[1024] = {};
    bool restored = TryMarlRequest([&] {
        answer[0] = '\0';
        return Http_RestoreFactorySettings(domain, command, answer);
    });
    dlg->MessageBox(dlg->ReadOwnString(restored ? L"SUCCESS_INFO" : L"FAILED_INFO"), dlg->ReadOwnString(L"TITLE"),
                    MB_ICONINFORMATION | MB_OK);
    SetRestoreButton(dlg, true);
    dlg->EndWorker();
    return 0;
}

CDialog* CreateMarlRestoreFactorySettingDlg() { return new CMarlRestoreFactorySettingDlg(); }
