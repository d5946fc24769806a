#include "tools/carriersetting/carrier_setting_dlg.h"

#include <new>

#include "app/language.h"
#include "app/port_operation.h"
#include "platform/win/debug_output.h"

UI_USE_TEMPLATE_FILE(carrier_setting_dialogs);

namespace {

CMarlModemSettingDlgBase* FromParam(LPVOID param) { return static_cast<CMarlModemSettingDlgBase*>(param); }

enum : int { TAB_APN = 0, TAB_COMMUNICATION_MODE = 1 };

}  // namespace

BEGIN_MESSAGE_MAP(CMarlModemSettingDlgBase, CToolDialogFrame)
    ON_WM_DESTROY()
    ON_NOTIFY(TCN_SELCHANGE, IDC_MARL_SETTING_TAB, &CMarlModemSettingDlgBase::OnTabSelChange)
    ON_BN_CLICKED(IDC_MARL_SETTING_READ, &CMarlModemSettingDlgBase::OnReadButton)
    ON_BN_CLICKED(IDC_MARL_SETTING_WRITE, &CMarlModemSettingDlgBase::OnWriteButton)
END_MESSAGE_MAP()

CMarlModemSettingDlgBase::CMarlModemSettingDlgBase(UINT templateId, const wchar_t* mutexName,
                                                   bool communicationModeLocked)
    : CToolDialogFrame(templateId, nullptr), m_pszMutexName(mutexName), m_bCommunicationModeLocked(communicationModeLocked)
{
    m_pszLanguageSection = kModemSettingSection;
    m_pfnWatchProc = &CMarlModemSettingDlgBase::WatchModemSettingDevice;
    CreateModemSettingPages();
    m_nStopFlag = 0;
}

CMarlModemSettingDlgBase::~CMarlModemSettingDlgBase()
{
    // nothing may still use a page once it is deleted
    StopWatchThread();
    WaitForWorker();
    // a deleted dialog lets its pages' names go too (the running tool's lives until the process ends)
    if (m_pAPNPage && m_pAPNPage->m_hMutex) {
        CloseHandle(m_pAPNPage->m_hMutex);
        m_pAPNPage->m_hMutex = nullptr;
    }
    delete m_pAPNPage;
    delete m_pCommunicationModePage;
    m_pAPNPage = nullptr;
    m_pCommunicationModePage = nullptr;
}

void CMarlModemSettingDlgBase::OnDestroy()
{
    // the watch thread works on the buttons and reads the tab; it ends before they go
    StopWatchThread();
    CToolDialogFrame::OnDestroy();
}

void CMarlModemSettingDlgBase::CreateModemSettingPages()
{
    m_pAPNPage = new (std::nothrow) CMarlModemSettingAPNPage();
    m_pCommunicationModePage = new (std::nothrow) CMarlModemSettingCommunicationModePage();
}

void CMarlModemSettingDlgBase::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MARL_SETTING_TAB, m_tabSheet);
}

CString CMarlModemSettingDlgBase::ReadOwnString(const wchar_t* key) const { return ReadModemSettingString(key); }

BOOL CMarlModemSettingDlgBase::OnInitDialog()
{
    CDialog::OnInitDialog();
    UseCarrierLanguageFile();
    m_hMutex = CheckSingleInstance(this, m_pszMutexName, RefusalStyle::MessageBox, ReadOwnString(L"SINGLE_TOOL"),
                                   ReadOwnString(L"TITLE"));
    SetWindowText(ReadOwnString(L"TITLE"));
    SetModemSettingButtonTexts();
    AddModemSettingPages();
    if (m_pAPNPage)
        m_pAPNPage->FillIpTypeCombos();
    if (m_bCommunicationModeLocked && m_pCommunicationModePage)
        m_pCommunicationModePage->PresetPlusAreaMode();
    StartWatchThread(&CMarlModemSettingDlgBase::WatchModemSettingDevice);
    return TRUE;
}

void CMarlModemSettingDlgBase::SetModemSettingButtonTexts()
{
    SetDlgItemText(IDC_MARL_SETTING_READ, ReadOwnString(L"BUTTON_READ_INFO"));
    SetDlgItemText(IDC_MARL_SETTING_WRITE, ReadOwnString(L"BUTTON_WRITE_INFO"));
}

void CMarlModemSettingDlgBase::AddModemSettingPages()
{
    m_tabSheet.AddPage(ReadOwnString(L"APN_TITLE"), m_pAPNPage, IDD_MARL_APN_PAGE);
    m_tabSheet.AddPage(ReadOwnString(L"COMMUNICATION_MODE_TITLE"), m_pCommunicationModePage,
                       IDD_MARL_COMMUNICATION_MODE_PAGE);
    m_tabSheet.ShowPages();
}

void CMarlModemSettingDlgBase::EnableSettingButtons(bool enabled)
{
    for (int id : {IDC_MARL_SETTING_READ, IDC_MARL_SETTING_WRITE})
        if (CWnd* button = GetDlgItem(id))
            button->EnableWindow(enabled ? TRUE : FALSE);
}

void CMarlModemSettingDlgBase::OnTabSelChange(NMHDR* /*header*/, LRESULT* result)
{
    // the tab sheet refuses a selection outside its pages
    m_tabSheet.SetCurSel(m_tabSheet.GetCurSel());
    if (result)
        *result = 0;
}

void CMarlModemSettingDlgBase::OnReadButton()
{
    StartParametersWorker(&CMarlModemSettingDlgBase::ReadAndDisplayParametersThread, &m_pReadThread);
}

void CMarlModemSettingDlgBase::OnWriteButton()
{
    StartParametersWorker(&CMarlModemSettingDlgBase::WriteParametersThread, &m_pWriteThread);
}

void CMarlModemSettingDlgBase::StartParametersWorker(AFX_THREADPROC proc, CWinThread** member)
{
    if (WorkerRunning())
        return;
    // the rows and modes the worker reads or fills, off before it exists
    const int selection = m_tabSheet.GetCurSel();
    if (selection == TAB_APN && m_pAPNPage) {
        int ids[APN_ROW_COUNT * 2];
        for (int row = 0; row < APN_ROW_COUNT; ++row) {
            ids[2 * row] = ApnRowEditId(row);
            ids[2 * row + 1] = ApnRowComboId(row);
        }
        m_inputHold.Hold(m_pAPNPage, ids);
    } else if (selection == TAB_COMMUNICATION_MODE && m_pCommunicationModePage) {
        m_inputHold.Hold(m_pCommunicationModePage, {IDC_COMMODE_HIGH_SPEED, IDC_COMMODE_HIGH_SPEED_PLUS});
    }
    if (!StartWorker(proc, member))
        m_inputHold.Release();
}

UINT CMarlModemSettingDlgBase::WatchModemSettingDevice(LPVOID param)
{
    CMarlModemSettingDlgBase* dlg = FromParam(param);
    if (!dlg)
        return 0;
    dlg->EnableSettingButtons(false);
    dlg->RunWatchPasses([dlg]() -> DWORD {
        int port = 0;
        if (dlg->m_portManager.FindATPortNumber(&port) == 0) {
            if (dlg->StopRequested())
                return 0;
            OutputDebugStringW(L"KESTLE: CPlatformManager, Search NMEA Port SUCCESS!");
            dlg->EnableSettingButtons(!dlg->m_bCommunicationModeLocked || dlg->m_tabSheet.GetCurSel() == TAB_APN);
        } else {
            OutputDebugStringW(L"KESTLE: CPlatformManager, Search NMEA Port Fail!");
            dlg->EnableSettingButtons(false);
        }
        return 1000;
    });
    return 0;
}

UINT CMarlModemSettingDlgBase::ReadAndDisplayParametersThread(LPVOID param)
{
    if (CMarlModemSettingDlgBase* dlg = FromParam(param))
        dlg->RunParametersWorker(false);
    return 0;
}

UINT CMarlModemSettingDlgBase::WriteParametersThread(LPVOID param)
{
    if (CMarlModemSettingDlgBase* dlg = FromParam(param))
        dlg->RunParametersWorker(true);
    return 0;
}

void CMarlModemSettingDlgBase::RunParametersWorker(bool write)
{
    int selection = m_tabSheet.GetCurSel();
    // an unplugged modem ends the page operation at its first port search
    CPortOperation operation;
    EnableSettingButtons(false);
    if (selection == TAB_APN && m_pAPNPage) {
        if (write)
            m_pAPNPage->WriteAPNList();
        else
            m_pAPNPage->ReadAPNList();
        EnableSettingButtons(true);
    } else if (selection == TAB_COMMUNICATION_MODE && m_pCommunicationModePage) {
        // the second version's tab has no device access: its buttons stay off
        if (!m_bCommunicationModeLocked) {
            if (write)
                m_pCommunicationModePage->WriteCommunicationMode();
            else
                m_pCommunicationModePage->ReadCommunicationMode();
            EnableSettingButtons(true);
        }
    } else {
        MessageBox(ReadOwnString(L"MESSAGE_SWITCH_ERROR"), ReadOwnString(L"TITLE"), MB_ICONINFORMATION);
        if (!m_bCommunicationModeLocked)
            EnableSettingButtons(true);
    }
    m_inputHold.Release();
    EndWorker();
}

CMarlModemSettingDlg::CMarlModemSettingDlg()
    : CMarlModemSettingDlgBase(IDD_MARL_MODEM_SETTING, single_instance::kMarlModemSetting, false)
{
}

MarlModemSettingDlgNew::MarlModemSettingDlgNew()
    : CMarlModemSettingDlgBase(IDD_MARL_MODEM_SETTING_NEW, single_instance::kMarlModemSettingNew, true)
{
}

CDialog* CreateMarlModemSettingDlg() { return new (std::nothrow) CMarlModemSettingDlg(); }

CDialog* CreateMarlModemSettingDlgNew() { return new (std::nothrow) MarlModemSettingDlgNew(); }
