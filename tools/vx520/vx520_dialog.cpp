#include "tools/vx520/vx520_dialog.h"

#include <cctype>
#include <cstring>
#include <mutex>
#include <new>

#include "app/app_paths.h"
#include "app/language.h"
#include "app/port_operation.h"
#include "app/prompt_dialogs.h"
#include "device/at_ops_sim.h"
#include "device/device_lock.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"
#include "tools/vx520/network_page.h"
#include "tools/vx520/pin_pages.h"

UI_USE_TEMPLATE_FILE(vx520_dialog);

namespace {

constexpr const wchar_t* kRefusalText = L"The program has been running. Cannot open it again!";
constexpr const wchar_t* kRefusalCaption = L"Modem Setting Tool for K415NQ";
constexpr int kCpinAnswerRoom = 1024;

// Network page controls that follow the device and the SIM.
constexpr int kSettingControls[] = {IDC_NET_MODE_HEADING,    IDC_NET_MODE_ALL,        IDC_NET_MODE_LTE,
                                    IDC_NET_PROFILE_HEADING, IDC_NET_APN_LABEL,       IDC_NET_APN_EDIT,
                                    IDC_NET_ROAMING_HEADING, IDC_NET_ROAMING_ENABLE,  IDC_NET_ROAMING_DISABLE,
                                    IDC_NET_ROAMING_WARNING, IDC_NET_SELECTION_HEADING, IDC_NET_SELECTION_AUTO,
                                    IDC_NET_SELECTION_MANUAL, IDC_NET_LIST_HEADING};
constexpr int kDialogButtons[] = {IDC_VX520_READ, IDC_VX520_APPLY};
constexpr int kSearchControls[] = {IDC_NET_SEARCH, IDC_NET_OPERATOR_LIST};
// Network page inputs a Read or Apply worker reads or fills: off while it runs.
constexpr int kWorkerInputs[] = {IDC_NET_SEARCH,         IDC_NET_OPERATOR_LIST,    IDC_NET_MODE_ALL,
                                 IDC_NET_MODE_LTE,       IDC_NET_ROAMING_ENABLE,   IDC_NET_ROAMING_DISABLE,
                                 IDC_NET_SELECTION_AUTO, IDC_NET_SELECTION_MANUAL, IDC_NET_APN_EDIT,
                                 IDC_NET_AUTH_COMBO,     IDC_NET_USER_EDIT,        IDC_NET_PASSWORD_EDIT};

struct CpinText {
    const char* text;
    int state;
};
// First hit wins; "ready" also covers "sim ready".
constexpr CpinText kCpinTexts[] = {
    {"sim not insert", SIM_STATE_NOT_INSERTED}, {"sim busy", SIM_STATE_BUSY}, {"sim failure", SIM_STATE_FAILURE},
    {"sim pin", SIM_STATE_PIN},                 {"sim puk", SIM_STATE_PUK},   {"ready", SIM_STATE_READY},
};

CVX520ModemSettingDlg* FromParam(LPVOID param) { return static_cast<CVX520ModemSettingDlg*>(param); }

void EnableItem(CWnd* window, int id, bool enabled)
{
    if (!window)
        return;
    if (CWnd* control = window->GetDlgItem(id))
        control->EnableWindow(enabled ? TRUE : FALSE);
}

// An input a page read or a worker holds takes the state at the release.
void EnableItem(CVX520ModemSettingNetworkSettingPage* page, int id, bool enabled)
{
    if (page)
        page->m_inputHold.Enable(page, id, enabled);
}

template <class Window, size_t N>
void EnableItems(Window* window, const int (&ids)[N], bool enabled)
{
    for (int id : ids)
        EnableItem(window, id, enabled);
}

void HideAuthControls(CWnd* page)
{
    if (!page)
        return;
    for (int id : kNetworkAuthControls)
        if (CWnd* control = page->GetDlgItem(id))
            control->ShowWindow(SW_HIDE);
}

// Read and Apply; while a search or a page read holds them, the state is
// kept for the release.
void EnableButtons(CVX520ModemSettingDlg* dialog, bool enabled)
{
    for (int id : kDialogButtons)
        dialog->m_buttonHold.Enable(dialog, id, enabled);
}

}  // namespace

int SimStateFromCpinAnswer(const char* answer)
{
    if (!answer)
        return SIM_STATE_UNKNOWN;
    std::string lower(answer);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const CpinText& entry : kCpinTexts)
        if (lower.find(entry.text) != std::string::npos)
            return entry.state;
    return SIM_STATE_UNKNOWN;
}

int PinPageKindForSimState(int simState)
{
    switch (simState) {
    case 0: case 1: case 2: case 5: case 6: case 7: case 8:
        return PIN_PAGE_SETTING;
    case SIM_STATE_PIN:
        return PIN_PAGE_ENTRY;
    case SIM_STATE_PUK:
        return PIN_PAGE_PUK;
    case SIM_STATE_FAILURE:
        return PIN_PAGE_SIM_FAIL;
    default:
        return -1;
    }
}

BEGIN_MESSAGE_MAP(CVX520ModemSettingDlg, CToolDialogFrame)
    ON_WM_DESTROY()
    ON_NOTIFY(TCN_SELCHANGE, IDC_VX520_TAB, &CVX520ModemSettingDlg::OnVX520TabChange)
    ON_BN_CLICKED(IDC_VX520_READ, &CVX520ModemSettingDlg::OnReadButton)
    ON_BN_CLICKED(IDC_VX520_APPLY, &CVX520ModemSettingDlg::OnApplyButton)
    ON_MESSAGE(WM_SWITCH_PIN_PAGE, &CVX520ModemSettingDlg::OnSwitchPinPage)
    ON_MESSAGE(WM_VX520_DEVICE_FREE, &CVX520ModemSettingDlg::OnDeviceFree)
    ON_COMMAND(ID_LANGUAGE_JAPANESE_136, &CVX520ModemSettingDlg::SelectJapanese)
    ON_COMMAND(ID_LANGUAGE_ENGLISH_136, &CVX520ModemSettingDlg::SelectEnglish)
    ON_COMMAND(ID_LANGUAGE_JAPANESE_138, &CVX520ModemSettingDlg::SelectJapanese)
    ON_COMMAND(ID_LANGUAGE_ENGLISH_138, &CVX520ModemSettingDlg::SelectEnglish)
END_MESSAGE_MAP()

CVX520ModemSettingDlg::CVX520ModemSettingDlg(CWnd* parent) : CToolDialogFrame(IDD_VX520_MODEM_SETTING, parent)
{
    m_pszLanguageSection = kVX520Section;
    m_pfnWatchProc = &CVX520ModemSettingDlg::WatchVX520Device;
    CreateVX520Pages();
}

CVX520ModemSettingDlg::~CVX520ModemSettingDlg()
{
    // nothing may still use a page once it is deleted
    StopWatchThread();
    WaitForWorker();
    WaitForUpdateThread();
    WaitForPageRead();
    delete m_pNetworkPage;
    delete m_pPinSettingPage;
    delete m_pPukPage;
    delete m_pPinEntryPage;
    delete m_pModifyPinPage;
    delete m_pPinFailPage;
    m_pNetworkPage = nullptr;
    m_pPinSettingPage = nullptr;
    m_pPukPage = nullptr;
    m_pPinEntryPage = nullptr;
    m_pModifyPinPage = nullptr;
    m_pPinFailPage = nullptr;
    m_nDevicePresent = 0;
    m_nPrevDevicePresent = 0;
}

void CVX520ModemSettingDlg::OnDestroy()
{
    // the watch thread works on the pages' controls; it ends before they go
    StopWatchThread();
    WaitForUpdateThread();
    WaitForPageRead();
    CToolDialogFrame::OnDestroy();
}

void CVX520ModemSettingDlg::CreateVX520Pages()
{
    m_pNetworkPage = new (std::nothrow) CVX520ModemSettingNetworkSettingPage();
    m_pPinSettingPage = new (std::nothrow) CVX520ModemSettingPinSettingPage();
    m_pModifyPinPage = new (std::nothrow) CVX520ModemSettingModifyPinPage();
    m_pPukPage = new (std::nothrow) CVX520ModemSettingToolPUKPage(IDD_VX520_PUK_ENTRY_PAGE);
    m_pPinEntryPage = new (std::nothrow) CVX520ModemSettingToolPinPage(IDD_VX520_PIN_ENTRY_PAGE);
    m_pPinFailPage = new (std::nothrow) CVX520ModemSettingToolPinFail(IDD_VX520_SIM_FAIL_PAGE);
}

void CVX520ModemSettingDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_VX520_TAB, m_tabSheet);
}

CString CVX520ModemSettingDlg::ReadOwnString(const wchar_t* key) const { return ReadVX520String(key); }

int CVX520ModemSettingDlg::CurrentTab() const { return m_tabSheet.GetCurSel(); }

BOOL CVX520ModemSettingDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hMutex = CheckSingleInstance(this, single_instance::kVX520ModemSetting, RefusalStyle::MessageBox, kRefusalText,
                                   kRefusalCaption);
    m_strWorkFolder = g_strWorkFolder;
    ReleaseLanguageFile(this, IDR_LANGUAGE_JAPANESE, kJapaneseLanguageFile);
    ReleaseLanguageFile(this, IDR_LANGUAGE_ENGLISH, kEnglishLanguageFile);

    m_nLanguageFlag = LANGUAGE_JAPANESE;
    g_strLanguageFilePath = m_strWorkFolder + L"/" + kJapaneseLanguageFile;
    SetWindowText(ReadOwnString(L"TITLE"));
    if (m_menuJapanese.LoadMenu(IDR_MENU_JAPANESE))
        SetMenu(&m_menuJapanese);

    SetVX520ButtonTexts();
    SetVX520TabTitles();
    if (m_pNetworkPage) {
        m_pNetworkPage->SetNetworkPageTexts();
        m_pNetworkPage->m_hSearchEndTarget = m_hWnd;
        // Read and Apply off from the press on, whatever page is shown until the search ends
        m_pNetworkPage->m_onSearchPressed = [this] { m_buttonHold.Hold(this, kDialogButtons); };
    }

    m_nDevicePresent = 0;
    m_nPrevDevicePresent = 0;
    StartWatchThread(&CVX520ModemSettingDlg::WatchVX520Device);
    return TRUE;
}

void CVX520ModemSettingDlg::SetVX520ButtonTexts()
{
    SetDlgItemText(IDC_VX520_READ, ReadOwnString(L"BUTTON_READ_INFO"));
    SetDlgItemText(IDC_VX520_APPLY, ReadOwnString(L"BUTTON_WRITE_INFO"));
}

int CVX520ModemSettingDlg::SetVX520TabTitles()
{
    m_tabSheet.AddPage(ReadOwnString(L"NetworkSetting_TITLE"), m_pNetworkPage, IDD_VX520_NETWORK_PAGE);
    m_tabSheet.AddPage(ReadOwnString(L"PinSetting_TITLE"), m_pPinSettingPage, IDD_VX520_PIN_SETTING_PAGE);
    m_tabSheet.ShowPages();
    return 1;
}

namespace {
UINT PinPageTemplate(int kind)
{
    switch (kind) {
    case PIN_PAGE_SETTING: return IDD_VX520_PIN_SETTING_PAGE;
    case PIN_PAGE_ENTRY: return IDD_VX520_PIN_ENTRY_PAGE;
    case PIN_PAGE_MODIFY: return IDD_VX520_MODIFY_PIN_PAGE;
    case PIN_PAGE_PUK: return IDD_VX520_PUK_ENTRY_PAGE;
    case PIN_PAGE_SIM_FAIL: return IDD_VX520_SIM_FAIL_PAGE;
    default: return 0;
    }
}
}  // namespace

void CVX520ModemSettingDlg::SetPinTabTitle()
{
    CString title = ReadOwnString(L"PinSetting_TITLE");
    m_tabSheet.SetPageTitle(title, IDD_VX520_PIN_SETTING_PAGE);
    if (UINT id = PinPageTemplate(m_nPinPageKind))
        m_tabSheet.SetPageTitle(title, id);
}

// ---- watch thread ----------------------------------------------------------

UINT CVX520ModemSettingDlg::WatchVX520Device(LPVOID param)
{
    CVX520ModemSettingDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    EnableButtons(dlg, false);
    dlg->m_nPinRefreshFlag = 1;
    while (!dlg->StopRequested() && dlg->WatchCycle()) {
        if (!dlg->WatchPause(1000))
            break;
    }
    dlg->WatchEnded();
    return 0;
}

namespace {

// The network page's inputs while the SIM is ready, short of the locked ones
// and the user authentication.
void EnableUnlockedInputs(CVX520ModemSettingNetworkSettingPage* page)
{
    EnableItem(page, IDC_NET_MODE_HEADING, true);
    if (!page->m_bModeLocked) {
        EnableItem(page, IDC_NET_MODE_ALL, true);
        EnableItem(page, IDC_NET_MODE_LTE, true);
    }
    EnableItem(page, IDC_NET_PROFILE_HEADING, true);
    EnableItem(page, IDC_NET_APN_LABEL, true);
    if (!page->m_bApnLocked)
        EnableItem(page, IDC_NET_APN_EDIT, true);
    EnableItem(page, IDC_NET_ROAMING_HEADING, true);
    if (!page->m_bRoamingLocked) {
        EnableItem(page, IDC_NET_ROAMING_ENABLE, true);
        EnableItem(page, IDC_NET_ROAMING_DISABLE, true);
    }
    for (int id : {IDC_NET_ROAMING_WARNING, IDC_NET_SELECTION_HEADING, IDC_NET_SELECTION_AUTO, IDC_NET_SELECTION_MANUAL,
                   IDC_NET_LIST_HEADING})
        EnableItem(page, id, true);
}

}  // namespace

bool CVX520ModemSettingDlg::WatchCycle()
{
    CVX520ModemSettingNetworkSettingPage* page = m_pNetworkPage;
    int tab = CurrentTab();
    int portNumber = 0;
    if (m_portManager.FindATPortNumber(&portNumber) != 0) {
        ShowDeviceGone(page);
    } else {
        if (StopRequested())
            return false;
        ShowDevicePresent(page, tab);
    }
    if (m_nDevicePresent != m_nPrevDevicePresent)
        m_nPinRefreshFlag = 1;
    tab = RefreshPinPage(tab);
    if (m_nDevicePresent == 1 && m_nPrevDevicePresent == 0)
        ReadArrivedDevice(page, tab);
    m_nPrevDevicePresent = m_nDevicePresent;
    return true;
}

void CVX520ModemSettingDlg::ShowDeviceGone(CVX520ModemSettingNetworkSettingPage* page)
{
    OutputDebugStringW(L"KESTLE: CPlatformManager, Search NMEA Port Fail!");
    EnableButtons(this, false);
    EnableItems(page, kSearchControls, false);
    EnableItems(page, kSettingControls, false);
    HideAuthControls(page);
    m_nDevicePresent = 0;
    if (page) {
        page->m_bConnected = 0;
        page->m_listOperator.DeleteAllItems();
    }
}

void CVX520ModemSettingDlg::ShowDevicePresent(CVX520ModemSettingNetworkSettingPage* page, int tab)
{
    OutputDebugStringW(L"KESTLE: CPlatformManager, Search NMEA Port SUCCESS!");
    if (tab != 0)
        EnableButtons(this, true);
    else if (page && page->m_bSearchRunning)
        EnableButtons(this, false);
    else
        EnableNetworkPageForSim(page);
    m_nDevicePresent = 1;
    if (page)
        page->m_bConnected = 1;
}

void CVX520ModemSettingDlg::EnableNetworkPageForSim(CVX520ModemSettingNetworkSettingPage* page)
{
    if (!m_bSimQueried)
        IsSimReady();
    if (m_nSimState != SIM_STATE_READY) {
        EnableButtons(this, false);
        EnableItems(page, kSearchControls, false);
        EnableItems(page, kSettingControls, false);
        return;
    }
    EnableButtons(this, true);
    if (!page)
        return;
    EnableUnlockedInputs(page);
    if (!page->IsCarrierSim())
        EnableAuthInputs(page);
}

void CVX520ModemSettingDlg::EnableAuthInputs(CVX520ModemSettingNetworkSettingPage* page)
{
    EnableItem(page, IDC_NET_AUTH_LABEL, true);
    EnableItem(page, IDC_NET_AUTH_COMBO, true);
    bool none = page->m_comboAuth.GetCurSel() == NET_AUTH_INDEX_NONE;
    for (int id : {IDC_NET_USER_LABEL, IDC_NET_PASSWORD_LABEL, IDC_NET_USER_EDIT, IDC_NET_PASSWORD_EDIT})
        EnableItem(page, id, !none);
    page->SetDlgItemText(IDC_NET_AUTH_LABEL, ReadOwnString(L"USERAUTH"));
    page->SetDlgItemText(IDC_NET_USER_LABEL, ReadOwnString(L"USERNAME"));
    page->SetDlgItemText(IDC_NET_PASSWORD_LABEL, ReadOwnString(L"USERPASSWORD"));
}

int CVX520ModemSettingDlg::RefreshPinPage(int tab)
{
    if (tab != 1 || !m_nPinRefreshFlag)
        return tab;
    ReadPinState();
    tab = CurrentTab();
    if (tab == 1) {
        PostMessage(WM_SWITCH_PIN_PAGE, 1, 0);
        Sleep(100);
        m_nPinRefreshFlag = 0;
    }
    return tab;
}

void CVX520ModemSettingDlg::ReadArrivedDevice(CVX520ModemSettingNetworkSettingPage* page, int tab)
{
    if (tab == 1) {
        EnableButtons(this, true);
        return;
    }
    if (tab != 0) {
        ShowPromptInfo(ReadOwnString(L"MESSAGE_SWITCH_ERROR"), ReadOwnString(L"ATTENTION"));
        return;
    }
    if (page)
        page->m_bLockNoticeShown = 0;
    if (IsSimReady()) {
        if (page)
            page->ReadNetworkSettings(false);
    } else {
        EnableButtons(this, false);
        EnableItems(page, kSettingControls, false);
        EnableItem(page, IDC_NET_SEARCH, false);
        HideAuthControls(page);
    }
}

// ---- workers ---------------------------------------------------------------

UINT CVX520ModemSettingDlg::ReadParametersThread(LPVOID param)
{
    CVX520ModemSettingDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    int tab = dlg->m_nWorkerTab;
    CPortOperation operation;
    EnableButtons(dlg, false);
    if (tab == 0) {
        if (dlg->m_pNetworkPage)
            dlg->m_pNetworkPage->ReadNetworkSettings(true);
    } else if (tab == 1) {
        int sim = dlg->m_nSimState;
        if (sim == SIM_STATE_UNKNOWN || sim == SIM_STATE_NOT_INSERTED) {
            dlg->ReadPinState();
            if (dlg->m_nSimState == SIM_STATE_NOT_INSERTED)
                ShowPromptInfo(dlg->ReadOwnString(L"INSERT_SIM"), dlg->ReadOwnString(L"ATTENTION"));
        }
    } else {
        ShowPromptInfo(dlg->ReadOwnString(L"MESSAGE_SWITCH_ERROR"), dlg->ReadOwnString(L"ATTENTION"));
    }
    dlg->ReleaseWorkerInputs();
    EnableButtons(dlg, true);
    dlg->EndWorker();
    dlg->PostMessage(WM_VX520_DEVICE_FREE, DEVICE_FREE_WORKER, 0);
    return 0;
}

UINT CVX520ModemSettingDlg::ApplyParametersThread(LPVOID param)
{
    CVX520ModemSettingDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    int tab = dlg->m_nWorkerTab;
    CPortOperation operation;
    EnableButtons(dlg, false);
    if (tab == 0) {
        if (dlg->m_pNetworkPage)
            dlg->m_pNetworkPage->ApplyNetworkSettings();
    } else if (tab == 1) {
        if (dlg->m_nSimState == SIM_STATE_NOT_INSERTED)
            ShowPromptInfo(dlg->ReadOwnString(L"INSERT_SIM"), dlg->ReadOwnString(L"ATTENTION"));
        else
            dlg->ApplyPinPage();
    } else {
        ShowPromptInfo(dlg->ReadOwnString(L"MESSAGE_SWITCH_ERROR"), dlg->ReadOwnString(L"ATTENTION"));
    }
    dlg->ReleaseWorkerInputs();
    EnableButtons(dlg, true);
    dlg->EndWorker();
    dlg->PostMessage(WM_VX520_DEVICE_FREE, DEVICE_FREE_WORKER, 0);
    return 0;
}

void CVX520ModemSettingDlg::OnReadButton()
{
    StartParametersWorker(&CVX520ModemSettingDlg::ReadParametersThread, &m_pReadThread);
}

void CVX520ModemSettingDlg::OnApplyButton()
{
    StartParametersWorker(&CVX520ModemSettingDlg::ApplyParametersThread, &m_pApplyThread);
}

void CVX520ModemSettingDlg::StartParametersWorker(AFX_THREADPROC proc, CWinThread** member)
{
    // taken here: the PIN tab is briefly unselected while its page is replaced
    const int tab = CurrentTab();
    CVX520ModemSettingNetworkSettingPage* page = tab == 0 ? m_pNetworkPage : nullptr;
    // an operator search still talks to the modem and fills the list
    if (page && page->m_nSearchThreads.load() > 0)
        return;
    if (WorkerRunning())
        return;
    // a press that came in just before a page read held the buttons is
    // carried out after it
    if (PageReadRunning()) {
        m_duePress = {proc, member};
        return;
    }
    m_nWorkerTab = tab;
    // held before the worker exists, so that no click on them comes in between
    if (page)
        page->m_inputHold.Hold(page, kWorkerInputs);
    if (!StartWorker(proc, member))
        ReleaseWorkerInputs();
}

void CVX520ModemSettingDlg::ReleaseWorkerInputs()
{
    if (m_pNetworkPage)
        m_pNetworkPage->m_inputHold.Release();
}

// ---- SIM state -------------------------------------------------------------

int CVX520ModemSettingDlg::QuerySimState()
{
    char answer[kCpinAnswerRoom];
    int status = 1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::memset(answer, 0, sizeof answer);
        status = AT_CPIN(answer);
        if (status == 0)
            break;
        OutputDebugStringW(L"CVX520ModemSettingPinSettingPage: AT_CPIN,Fail \r\n");
        m_nSimState = SIM_STATE_UNKNOWN;
        Sleep(200);
    }
    if (status != 0)
        return status;
    answer[sizeof answer - 1] = '\0';
    m_nSimState = SimStateFromCpinAnswer(answer);
    return 0;
}

bool CVX520ModemSettingDlg::IsSimReady()
{
    // the port choice and the query belong together when the UI thread and
    // the watch thread both ask
    std::lock_guard<std::recursive_mutex> hold(DeviceOperationLock());
    int portNumber = 0;
    if (m_portManager.FindATPortNumber(&portNumber) != 0 || m_portManager.OpenATPort() != 0)
        return false;
    QuerySimState();
    Sleep(500);
    m_bSimQueried = true;
    return m_nSimState == SIM_STATE_READY;
}

int CVX520ModemSettingDlg::ReadPinState()
{
    int pinTimes = 3;
    int pukTimes = 10;
    {
        std::lock_guard<std::recursive_mutex> hold(DeviceOperationLock());
        int portNumber = 0;
        if (m_portManager.FindATPortNumber(&portNumber) != 0 || m_portManager.OpenATPort() != 0) {
            m_nSimState = SIM_STATE_UNKNOWN;
            m_nPinPageKind = PIN_PAGE_SETTING;
            return 1;
        }
        QuerySimState();
        Sleep(500);
        if (m_nSimState == SIM_STATE_NOT_INSERTED) {
            m_nPinPageKind = PIN_PAGE_SETTING;
            return 1;
        }
        Sleep(500);
        // a failed read keeps 3 and 10
        if (AT_GET_PIN_PUK_TIMES(&pinTimes, &pukTimes) != 0) {
            pinTimes = 3;
            pukTimes = 10;
        }
    }
    if (pinTimes == 0 && pukTimes == 0)
        m_nSimState = SIM_STATE_FAILURE;
    if (m_pPinSettingPage) {
        m_pPinSettingPage->m_nPinAttempts = pinTimes;
        m_pPinSettingPage->m_nPukAttempts = pukTimes;
    }
    if (m_pPukPage) {
        m_pPukPage->m_nPinAttempts = pinTimes;
        m_pPukPage->m_nPukAttempts = pukTimes;
    }
    if (m_pPinEntryPage) {
        m_pPinEntryPage->m_nPinAttempts = pinTimes;
        m_pPinEntryPage->m_nPukAttempts = pukTimes;
    }
    if (m_pModifyPinPage) {
        m_pModifyPinPage->m_nPinAttempts = pinTimes;
        m_pModifyPinPage->m_nPukAttempts = pukTimes;
    }
    SelectPinPageKind();
    return 0;
}

void CVX520ModemSettingDlg::SelectPinPageKind()
{
    int kind = PinPageKindForSimState(m_nSimState);
    if (kind >= 0)
        m_nPinPageKind = kind;
}

// ---- PIN page --------------------------------------------------------------

LRESULT CVX520ModemSettingDlg::OnSwitchPinPage(WPARAM wParam, LPARAM lParam)
{
    if (lParam == 1)
        m_nPinPageKind = PIN_PAGE_MODIFY;
    else if (lParam == 2)
        m_nPinPageKind = PIN_PAGE_SETTING;
    else if (lParam == 3)
        m_nPendingModifyFlag = 1;
    if (wParam == 1) {
        if (m_nPendingModifyFlag.exchange(0))
            m_nPinPageKind = PIN_PAGE_MODIFY;
        ShowPinPage();
    }
    return 1;
}

void CVX520ModemSettingDlg::ShowPinPage()
{
    if (CurrentTab() == 0)
        return;
    // the page is swapped and filled once nothing else reads the device
    RequestPageRead(PAGE_READ_PIN_PAGE);
}

bool CVX520ModemSettingDlg::SwapPinPage()
{
    CString title = ReadOwnString(L"PinSetting_TITLE");
    switch (m_nPinPageKind) {
    case PIN_PAGE_SETTING:
        if (!m_pPinSettingPage || !m_tabSheet.ReplaceSecondPage(m_pPinSettingPage, title, IDD_VX520_PIN_SETTING_PAGE))
            return false;
        m_pPinSettingPage->m_pDialogWnd = this;
        if (m_pModifyPinPage)
            m_pModifyPinPage->m_pDialogWnd = this;
        return true;
    case PIN_PAGE_ENTRY:
        return m_pPinEntryPage && m_tabSheet.ReplaceSecondPage(m_pPinEntryPage, title, IDD_VX520_PIN_ENTRY_PAGE);
    case PIN_PAGE_MODIFY:
        return m_pModifyPinPage && m_tabSheet.ReplaceSecondPage(m_pModifyPinPage, title, IDD_VX520_MODIFY_PIN_PAGE);
    case PIN_PAGE_PUK:
        return m_pPukPage && m_tabSheet.ReplaceSecondPage(m_pPukPage, title, IDD_VX520_PUK_ENTRY_PAGE);
    case PIN_PAGE_SIM_FAIL:
        return m_pPinFailPage && m_tabSheet.ReplaceSecondPage(m_pPinFailPage, title, IDD_VX520_SIM_FAIL_PAGE);
    default:
        return false;
    }
}

void CVX520ModemSettingDlg::FillPinPage(int kind)
{
    switch (kind) {
    case PIN_PAGE_SETTING:
        m_pPinSettingPage->FillPinSettingPage();
        break;
    case PIN_PAGE_ENTRY:
        m_pPinEntryPage->FillPinEntryPage();
        break;
    case PIN_PAGE_MODIFY:
        m_pModifyPinPage->FillModifyPinPage();
        break;
    case PIN_PAGE_PUK:
        m_pPukPage->FillPukEntryPage();
        break;
    case PIN_PAGE_SIM_FAIL:
        m_pPinFailPage->FillSimFailurePage();
        break;
    default:
        break;
    }
}

void CVX520ModemSettingDlg::RefreshPinPage()
{
    if (CurrentTab() != 0) {
        switch (m_nPinPageKind) {
        case PIN_PAGE_SETTING:
            if (m_pPinSettingPage)
                m_pPinSettingPage->RefreshPinSettingPage();
            break;
        case PIN_PAGE_ENTRY:
            if (m_pPinEntryPage)
                m_pPinEntryPage->RefreshPinEntryPage();
            break;
        case PIN_PAGE_MODIFY:
            if (m_pModifyPinPage)
                m_pModifyPinPage->RefreshModifyPinPage();
            break;
        case PIN_PAGE_PUK:
            if (m_pPukPage)
                m_pPukPage->RefreshPukEntryPage();
            break;
        case PIN_PAGE_SIM_FAIL:
            if (m_pPinFailPage)
                m_pPinFailPage->FillSimFailurePage();
            break;
        default:
            break;
        }
    }
    m_nPinPageReady = 1;
}

int CVX520ModemSettingDlg::ApplyPinPage()
{
    switch (m_nPinPageKind) {
    case PIN_PAGE_ENTRY:
        if (m_pPinEntryPage)
            m_pPinEntryPage->ApplyPinEntry();
        break;
    case PIN_PAGE_MODIFY:
        if (m_pModifyPinPage)
            m_pModifyPinPage->ApplyModifyPin();
        break;
    case PIN_PAGE_PUK:
        if (m_pPukPage)
            m_pPukPage->ApplyPukEntry();
        break;
    default:
        break;
    }
    return 1;
}

void CVX520ModemSettingDlg::StartUpdatePinThread()
{
    // the ready flag goes down before the thread exists, so that a tab change
    // right after this one already sees the update running
    m_nPinPageReady = 0;
    CWinThread* thread = AfxBeginThread(&CVX520ModemSettingDlg::UpdatePINInterfaceThread, this);
    if (!thread)
        m_nPinPageReady = 1;
    pUpdatePINInterfaceThread = thread;
}

UINT CVX520ModemSettingDlg::UpdatePINInterfaceThread(LPVOID param)
{
    CVX520ModemSettingDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    dlg->m_nPinPageReady = 0;
    dlg->RefreshPinPage();
    dlg->PostMessage(WM_VX520_DEVICE_FREE, DEVICE_FREE_PIN_UPDATE, 0);
    return 0;
}

void CVX520ModemSettingDlg::WaitForUpdateThread()
{
    if (CWinThread* thread = pUpdatePINInterfaceThread.load())
        thread->Join();
}

void CVX520ModemSettingDlg::WaitForPageRead()
{
    if (m_pPageReadThread)
        m_pPageReadThread->Join();
}

// ---- tab change and language ---------------------------------------------

void CVX520ModemSettingDlg::OnVX520TabChange(NMHDR* /*header*/, LRESULT* result)
{
    // the tabs are off meanwhile; a change that still comes is not taken
    if (m_nPinPageReady == 0 || PageReadRunning())
        return;
    int tab = CurrentTab();
    m_bSimQueried = false;
    if (tab == 0) {
        RequestPageRead(PAGE_READ_NETWORK);
    } else if (tab == 1) {
        // a network read put off for a search is not wanted any more
        m_nReadsDue &= ~static_cast<unsigned>(PAGE_READ_NETWORK);
        StartUpdatePinThread();
    }
    m_tabSheet.SetCurSel(tab);
    if (result)
        *result = 0;
}

bool CVX520ModemSettingDlg::DeviceHeld() const
{
    return WorkerRunning() || (m_pNetworkPage && m_pNetworkPage->m_nSearchThreads.load() > 0);
}

void CVX520ModemSettingDlg::RequestPageRead(unsigned reads)
{
    m_nReadsDue |= reads;
    StartDueReads();
}

void CVX520ModemSettingDlg::StartDueReads()
{
    // the holder posts WM_VX520_DEVICE_FREE once it has let go (after the
    // state DeviceHeld reads), so a read put off here always comes; the
    // texts wait too, as they ask the SIM whose it is; a PIN page refresh
    // still at work would race the page's swap
    if (m_nReadsDue == 0 || PageReadRunning() || DeviceHeld() || m_nPinPageReady == 0 || !m_pNetworkPage)
        return;
    const bool pinTab = CurrentTab() != 0;
    // a PIN page is shown only on its tab; the network read sets the texts as well
    if (!pinTab)
        m_nReadsDue &= ~static_cast<unsigned>(PAGE_READ_PIN_PAGE);
    unsigned reads = 0;
    for (unsigned read : {PAGE_READ_NETWORK, PAGE_READ_NETWORK_TEXTS, PAGE_READ_PIN_PAGE, PAGE_READ_PIN_TEXTS})
        if (m_nReadsDue.load() & read) {
            reads = read;
            break;
        }
    if (reads == 0)
        return;
    // running before it stops being due, so that it always shows as one of the two
    m_nReadsRunning = reads;
    m_nReadsDue &= ~(reads == PAGE_READ_NETWORK ? reads | PAGE_READ_NETWORK_TEXTS : reads);
    if (reads == PAGE_READ_PIN_PAGE) {
        m_nPinKindShown = m_nPinPageKind;
        if (!SwapPinPage()) {
            m_nReadsRunning = 0;
            StartDueReads();
            return;
        }
    }
    HoldPageInputs();
    m_pPageReadThread = AfxBeginThread(&CVX520ModemSettingDlg::PageReadThread, this, THREAD_PRIORITY_NORMAL);
    if (!m_pPageReadThread) {
        m_nReadsRunning = 0;
        ReleasePageInputs();
    }
}

UINT CVX520ModemSettingDlg::PageReadThread(LPVOID param)
{
    CVX520ModemSettingDlg* dlg = FromParam(param);
    if (!dlg)
        return 0;
    CVX520ModemSettingNetworkSettingPage* page = dlg->m_pNetworkPage;
    switch (dlg->m_nReadsRunning.load()) {
    case PAGE_READ_NETWORK:
        if (dlg->IsSimReady())
            page->ReadNetworkSettings(true);
        page->SetNetworkPageTexts();
        break;
    case PAGE_READ_NETWORK_TEXTS:
        page->SetUserAuthTexts();
        break;
    case PAGE_READ_PIN_PAGE:
        dlg->FillPinPage(dlg->m_nPinKindShown);
        break;
    case PAGE_READ_PIN_TEXTS:
        dlg->RefreshPinPage();
        break;
    default:
        break;
    }
    dlg->PostMessage(WM_VX520_DEVICE_FREE, DEVICE_FREE_PAGE_READ, 0);
    return 0;
}

void CVX520ModemSettingDlg::HoldPageInputs()
{
    m_buttonHold.Hold(this, kDialogButtons);
    m_pNetworkPage->m_inputHold.Hold(m_pNetworkPage, kWorkerInputs);
    EnableItem(static_cast<CWnd*>(this), IDC_VX520_TAB, false);
}

void CVX520ModemSettingDlg::ReleasePageInputs()
{
    EnableItem(static_cast<CWnd*>(this), IDC_VX520_TAB, true);
    m_pNetworkPage->m_inputHold.Release();
    m_buttonHold.Release();
}

void CVX520ModemSettingDlg::EndPageRead()
{
    WaitForPageRead();
    m_pPageReadThread = nullptr;
    m_nReadsRunning = 0;
    ReleasePageInputs();
}

LRESULT CVX520ModemSettingDlg::OnDeviceFree(WPARAM who, LPARAM)
{
    if (who == DEVICE_FREE_PAGE_READ) {
        EndPageRead();
        const DuePress press = m_duePress;
        m_duePress = {};
        if (press.proc)
            StartParametersWorker(press.proc, press.member);
    } else if (who == DEVICE_FREE_SEARCH) {
        m_buttonHold.Release();
    }
    StartDueReads();
    return 0;
}

void CVX520ModemSettingDlg::SelectJapanese() { SelectLanguage(LANGUAGE_JAPANESE); }

void CVX520ModemSettingDlg::SelectEnglish() { SelectLanguage(LANGUAGE_ENGLISH); }

void CVX520ModemSettingDlg::SelectLanguage(BYTE flag)
{
    bool english = flag == LANGUAGE_ENGLISH;
    // the other threads read the path through its guard and get the old or
    // the new file: nothing is stopped, so the PIN page and what was typed on
    // it stay, and a running worker does not hold up the window
    m_nLanguageFlag = flag;
    g_strLanguageFilePath = m_strWorkFolder + L"/" + (english ? kEnglishLanguageFile : kJapaneseLanguageFile);
    SetWindowText(ReadOwnString(L"TITLE"));

    CMenu& other = english ? m_menuJapanese : m_menuEnglish;
    CMenu& menu = english ? m_menuEnglish : m_menuJapanese;
    // a menu of this language loaded before is shown again; the other one goes
    if (menu.GetSafeHmenu() || menu.LoadMenu(english ? IDR_MENU_ENGLISH : IDR_MENU_JAPANESE))
        SetMenu(&menu);
    if (other.GetSafeHmenu())
        other.DestroyMenu();

    SetVX520ButtonTexts();
    m_tabSheet.SetPageTitle(ReadOwnString(L"NetworkSetting_TITLE"), IDD_VX520_NETWORK_PAGE);
    SetPinTabTitle();

    int tab = CurrentTab();
    if (tab == 0) {
        // the captions at once; the texts that ask the SIM after what holds the device
        if (m_pNetworkPage)
            m_pNetworkPage->SetNetworkPageCaptions();
        RequestPageRead(PAGE_READ_NETWORK_TEXTS);
    } else if (tab == 1) {
        if (m_nPinPageReady == 0)
            return;
        // a page being filled takes the new texts after its read
        if (PageReadRunning())
            RequestPageRead(PAGE_READ_PIN_TEXTS);
        else
            StartUpdatePinThread();
    }
    if (tab >= 0 && tab < m_tabSheet.GetPageCount())
        m_tabSheet.SetCurSel(tab);
}

CDialog* CreateVX520ModemSettingDlg() { return new CVX520ModemSettingDlg(); }
