#include "tools/vx520/network_page.h"

#include <boost/regex.hpp>

#include <cstring>
#include <functional>

#include "app/language.h"
#include "app/prompt_dialogs.h"
#include "app/tool_dialog_frame.h"
#include "device/at_ops_network.h"
#include "device/at_ops_sim.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"

UI_USE_TEMPLATE_FILE(vx520_network_page);

std::atomic<DWORD> g_dwLastOperatorSearchTick{0};

namespace {

constexpr DWORD kFailedTryPauseMs = 1000;
constexpr DWORD kSearchDebounceMs = 1000;
constexpr int kCaretAtEnd = 65535;

// Working text sizes the device layer and the records need.
constexpr size_t kApnBytes = 128;
constexpr size_t kContextLineReadBytes = 1024;  // AT_CGDCONT_READ_ONLY_MODIFY_APN writes up to 1024
constexpr size_t kContextHeadBytes = 50;
constexpr size_t kContextLineBytes = 300;
constexpr size_t kMccMncBytes = 40;

CString Lang(const wchar_t* key) { return ReadVX520String(key); }

void Prompt(const wchar_t* key) { ShowPromptInfo(Lang(key), Lang(L"ATTENTION")); }

// Narrow text of a fixed record field that may lack its terminator.
CString FieldText(const char* field, size_t size) { return CString(std::string(field, strnlen(field, size)).c_str()); }

// Copies a terminated text into a fixed field; false (field left empty) when it does not fit.
bool CopyInto(char* field, size_t size, const char* text)
{
    size_t length = std::strlen(text);
    if (length >= size) {
        field[0] = '\0';
        return false;
    }
    std::memcpy(field, text, length + 1);
    return true;
}

bool WholeMatch(const CString& text, const wchar_t* pattern)
{
    const boost::wregex expression(pattern, boost::regex_constants::perl);
    return boost::regex_match(text.str(), expression);
}

}  // namespace

const wchar_t* NetworkActText(int accessTechnology)
{
    switch (accessTechnology) {
    case AT_ACT_LTE: return L"4G";
    case AT_ACT_WCDMA: return L"WCDMA";
    default: return L"GSM";
    }
}

int NetworkActFromText(const CString& text)
{
    if (text == L"4G")
        return AT_ACT_LTE;
    if (text == L"WCDMA")
        return AT_ACT_WCDMA;
    return AT_ACT_GSM;
}

const wchar_t* NetworkStatusKey(int status)
{
    switch (status) {
    case 1: return L"NETWORK_LIST_STATUS_AVAILABLE";
    case 2: return L"NETWORK_LIST_STATUS_CURRENT";
    default: return L"NETWORK_LIST_STATUS_UNAVAILABLE";
    }
}

int AuthIndexFromType(int type)
{
    if (type == AT_AUTH_PAP)
        return NET_AUTH_INDEX_PAP;
    if (type == AT_AUTH_NONE)
        return NET_AUTH_INDEX_NONE;
    return NET_AUTH_INDEX_CHAP;
}

int AuthTypeFromIndex(int index)
{
    switch (index) {
    case NET_AUTH_INDEX_CHAP: return AT_AUTH_CHAP;
    case NET_AUTH_INDEX_PAP: return AT_AUTH_PAP;
    default: return AT_AUTH_NONE;
    }
}

bool IsApnTextAllowed(const CString& text) { return WholeMatch(text, L"^[0-9a-zA-Z\\.-]*$"); }

bool IsCredentialTextAllowed(const CString& text)
{
    return WholeMatch(text, L"^[0-9a-zA-Z!#$&()*\\+,\\-\\.\\/%:;=?@\\[\\]^_\\{\\}~ ]*$");
}

BEGIN_MESSAGE_MAP(CVX520ModemSettingNetworkSettingPage, CDialog)
    ON_BN_CLICKED(IDC_NET_SEARCH, &CVX520ModemSettingNetworkSettingPage::OnSearchButton)
    ON_BN_CLICKED(IDC_NET_SELECTION_MANUAL, &CVX520ModemSettingNetworkSettingPage::OnManualSelected)
    ON_BN_CLICKED(IDC_NET_SELECTION_AUTO, &CVX520ModemSettingNetworkSettingPage::OnAutoSelected)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_NET_OPERATOR_LIST, &CVX520ModemSettingNetworkSettingPage::OnOperatorSelected)
    ON_BN_CLICKED(IDC_NET_ROAMING_ENABLE, &CVX520ModemSettingNetworkSettingPage::OnRoamingButton)
    ON_BN_CLICKED(IDC_NET_ROAMING_DISABLE, &CVX520ModemSettingNetworkSettingPage::OnRoamingButton)
    ON_EN_CHANGE(IDC_NET_APN_EDIT, &CVX520ModemSettingNetworkSettingPage::ValidateApnChars)
    ON_WM_CTLCOLOR()
    // Swapwell's page has none of these controls
    ON_EN_CHANGE(IDC_NET_USER_EDIT, &CVX520ModemSettingNetworkSettingPage::ValidateUserName)
    ON_EN_CHANGE(IDC_NET_PASSWORD_EDIT, &CVX520ModemSettingNetworkSettingPage::ValidatePassword)
    ON_CBN_SELCHANGE(IDC_NET_AUTH_COMBO, &CVX520ModemSettingNetworkSettingPage::OnAuthTypeChange)
END_MESSAGE_MAP()

CVX520ModemSettingNetworkSettingPage::CVX520ModemSettingNetworkSettingPage(CWnd* parent)
    : CDialog(IDD_VX520_NETWORK_PAGE, parent)
{
}

CVX520ModemSettingNetworkSettingPage::~CVX520ModemSettingNetworkSettingPage()
{
    // a search still talking to the modem must not outlive the page
    std::vector<CWinThread*> threads;
    {
        std::lock_guard<std::mutex> guard(m_operatorLock);
        threads.swap(m_searchThreads);
    }
    for (CWinThread* thread : threads)
        thread->Join();
    if (m_hMutex) {
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
}

void CVX520ModemSettingNetworkSettingPage::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_NET_OPERATOR_LIST, m_listOperator);
    DDX_Text(dx, IDC_NET_APN_EDIT, m_strApn);
    ExchangeUserAuth(dx);
}

BOOL CVX520ModemSettingNetworkSettingPage::PreTranslateMessage(MSG* msg)
{
    if (IsToolKeySwallowed(msg))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL CVX520ModemSettingNetworkSettingPage::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hMutex = CheckSingleInstance(this, single_instance::kVX520NetworkSettingPage, RefusalStyle::Prompt,
                                   Lang(L"SINGLE_TOOL"), Lang(L"ATTENTION"));
    InitNetworkPageControls();
    return TRUE;
}

// --- small control helpers ---------------------------------------------------

namespace {

void Enable(CVX520ModemSettingNetworkSettingPage* page, int id, bool enabled)
{
    // an input held for a worker takes this state when the worker lets go
    page->m_inputHold.Enable(page, id, enabled);
}

void Show(CWnd* page, int id, bool shown)
{
    if (CWnd* control = page->GetDlgItem(id))
        control->ShowWindow(shown ? SW_SHOW : SW_HIDE);
}

void Check(CWnd* page, int id, bool checked) { page->CheckDlgButton(id, checked ? BST_CHECKED : BST_UNCHECKED); }

CString ItemText(const CWnd* page, int id)
{
    CString text;
    page->GetDlgItemText(id, text);
    return text;
}

// Puts the cut text into the edit (only when it differs) with the caret at the end.
void CutEditText(CWnd* page, int id, const CString& text, int maxChars)
{
    if (text.GetLength() <= maxChars)
        return;
    CString cut = text.Left(maxChars);
    if (cut != ItemText(page, id))
        page->SetDlgItemText(id, cut);
    if (auto* edit = static_cast<CEdit*>(page->GetDlgItem(id)))
        edit->SetSel(kCaretAtEnd, kCaretAtEnd);
}

// One try of one AT operation after opening the AT port; a failed try pauses.
int OneTry(COperationPortManager& ports, const std::function<int()>& operation)
{
    int status = ports.OpenATPort();
    if (status != 0)
        return status;
    status = operation();
    if (status != 0)
        Sleep(kFailedTryPauseMs);
    return status;
}

bool LockSet(COperationPortManager& ports, int (*query)(int*))
{
    int value = 0;
    return OneTry(ports, [&] { return query(&value); }) == 0 && value != 0;
}

}  // namespace

// --- the wrapper family --------------------------------------------------------

int CVX520ModemSettingNetworkSettingPage::QueryNetworkSelection(int& mode, int& selection)
{
    return OneTry(m_portManager, [&] { return AT_GET_DEVICE_NETWORK_STATE_SELECT(&mode, &selection); });
}

int CVX520ModemSettingNetworkSettingPage::QueryContexts(PdpContextList& list)
{
    return OneTry(m_portManager, [&] { return AT_CGDCONT_READ(&list); });
}

int CVX520ModemSettingNetworkSettingPage::QueryFirstContextLine(char* text)
{
    return OneTry(m_portManager, [&] { return AT_CGDCONT_READ_ONLY_MODIFY_APN(text); });
}

int CVX520ModemSettingNetworkSettingPage::QueryRoaming(int& value)
{
    return OneTry(m_portManager, [&] { return AT_GetRoaming(&value); });
}

bool CVX520ModemSettingNetworkSettingPage::IsApnLocked() { return LockSet(m_portManager, AT_GET_APN_LOCK_STATE); }
bool CVX520ModemSettingNetworkSettingPage::IsModeLocked() { return LockSet(m_portManager, AT_GET_ACT_LOCK_STATE); }
bool CVX520ModemSettingNetworkSettingPage::IsRoamingLocked() { return LockSet(m_portManager, AT_GET_ROAM_LOCK_STATE); }

int CVX520ModemSettingNetworkSettingPage::SetNetworkSelection(int mode, int selection)
{
    return OneTry(m_portManager, [&] { return AT_SET_DEVICE_NETWORK_STATE_SELECT(mode, selection); });
}

int CVX520ModemSettingNetworkSettingPage::SelectOperator(const OperatorList& list)
{
    return OneTry(m_portManager, [&] { return AT_COPS_SET(list); });
}

int CVX520ModemSettingNetworkSettingPage::SetRoamingSwitch(int value)
{
    return OneTry(m_portManager, [&] { return AT_SetRoaming(value); });
}

int CVX520ModemSettingNetworkSettingPage::SearchOperators(OperatorList& list)
{
    return OneTry(m_portManager, [&] { return AT_COPS_READ(&list); });
}

// --- reading ---------------------------------------------------------------

void CVX520ModemSettingNetworkSettingPage::ResetNetworkPageEntries()
{
    SetDlgItemText(IDC_NET_APN_EDIT, L"");
    Show(this, IDC_NET_APN_ERROR, false);
    HideUserAuthErrors();
}

int CVX520ModemSettingNetworkSettingPage::ReadNetworkSettings(bool clearOperatorList)
{
    CPortOperation operation;
    ResetNetworkPageEntries();

    int mode = 1;
    int selection = 0;
    if (QueryNetworkSelection(mode, selection) == 0) {
        Check(this, IDC_NET_MODE_LTE, mode == 2);
        Check(this, IDC_NET_MODE_ALL, mode != 2);
        Check(this, IDC_NET_SELECTION_AUTO, selection == 0);
        Check(this, IDC_NET_SELECTION_MANUAL, selection != 0);
        Enable(this, IDC_NET_SEARCH, selection != 0);
        Enable(this, IDC_NET_OPERATOR_LIST, false);
    }

    PdpContextList contexts{};
    if (QueryContexts(contexts) == 0) {
        const PdpContextEntry& first = contexts.entries[0];
        if (first.cid >= 1 && first.cid <= 10)
            SetDlgItemText(IDC_NET_APN_EDIT, FieldText(first.apn, sizeof first.apn));
        else if (first.cid < 1)
            OutputDebugStringW(L"Marl &&& DisplayAPNAT:: nLine<0");
    }

    int roaming = 1;
    int status = QueryRoaming(roaming);
    if (status == 0) {
        Check(this, IDC_NET_ROAMING_DISABLE, roaming != 0);
        Check(this, IDC_NET_ROAMING_ENABLE, roaming == 0);
        m_bRoamingEnabled = roaming == 0 ? 1 : 0;
        m_bRoamingKnown = true;
    }

    m_bModeLocked = IsModeLocked() ? 1 : 0;
    m_bApnLocked = IsApnLocked() ? 1 : 0;
    m_bRoamingLocked = IsRoamingLocked() ? 1 : 0;
    if (m_bModeLocked || m_bApnLocked || m_bRoamingLocked) {
        if (!m_bLockNoticeShown) {
            Prompt(L"Network_Settings_Parameters_CAN_NOT_SET");
            m_bLockNoticeShown = 1;
        }
        Enable(this, IDC_NET_MODE_ALL, !m_bModeLocked);
        Enable(this, IDC_NET_MODE_LTE, !m_bModeLocked);
        Enable(this, IDC_NET_APN_EDIT, !m_bApnLocked);
        Enable(this, IDC_NET_ROAMING_ENABLE, !m_bRoamingLocked);
        Enable(this, IDC_NET_ROAMING_DISABLE, !m_bRoamingLocked);
    }

    if (clearOperatorList)
        m_listOperator.DeleteAllItems();
    return ReadUserAuth(status);
}

void CVX520ModemSettingNetworkSettingPage::ShowAuthControls(int cmdShow)
{
    for (int id : kNetworkAuthControls)
        Show(this, id, cmdShow != SW_HIDE);
}

int CVX520ModemSettingNetworkSettingPage::ShowUserAuth(int type, const char* userName)
{
    const int credentialControls[] = {IDC_NET_USER_LABEL, IDC_NET_PASSWORD_LABEL, IDC_NET_USER_EDIT,
                                      IDC_NET_PASSWORD_EDIT};
    m_comboAuth.SetCurSel(AuthIndexFromType(type));
    if (type == AT_AUTH_NONE) {
        SetDlgItemText(IDC_NET_USER_EDIT, L"");
        SetDlgItemText(IDC_NET_PASSWORD_EDIT, L"");
    }
    for (int id : credentialControls)
        Enable(this, id, type != AT_AUTH_NONE);
    SetDlgItemText(IDC_NET_USER_EDIT, CString(userName));
    return 0;
}

// --- applying --------------------------------------------------------------

bool CVX520ModemSettingNetworkSettingPage::CheckApnForApply()
{
    // the edit holds the text last exchanged; reading it keeps workers off the member
    CString apn = ItemText(this, IDC_NET_APN_EDIT);
    return CheckApnForApply(apn);
}

bool CVX520ModemSettingNetworkSettingPage::CheckApnForApply(CString& apn)
{
    if (apn.IsEmpty()) {
        SetDlgItemText(IDC_NET_APN_ERROR, Lang(L"APN_Requried"));
        Show(this, IDC_NET_APN_ERROR, true);
        m_bApnEmpty = 1;
        return false;
    }
    m_bApnEmpty = 0;
    const wchar_t first = apn[0];
    const wchar_t last = apn[apn.GetLength() - 1];
    if (first == L'.' || first == L'-' || last == L'.' || last == L'-') {
        SetDlgItemText(IDC_NET_APN_ERROR, Lang(L"APN_Invalid"));
        Show(this, IDC_NET_APN_ERROR, true);
        return false;
    }
    // the whole text as it is now, not the flag of the last change notification
    if (!IsApnTextAllowed(apn)) {
        SetDlgItemText(IDC_NET_APN_ERROR, Lang(L"APN_Invalid"));
        Show(this, IDC_NET_APN_ERROR, true);
        m_bApnValid = 0;
        return false;
    }
    CutEditText(this, IDC_NET_APN_EDIT, apn, NET_APN_MAX_CHARS);
    apn = apn.Left(NET_APN_MAX_CHARS);
    return true;
}

int CVX520ModemSettingNetworkSettingPage::ReadApnFromPage(PdpContextEntry& entry)
{
    // read once: the text checked is the text written
    CString text = ItemText(this, IDC_NET_APN_EDIT);
    if (!CheckApnForApply(text))
        return NET_APN_REFUSED;
    char apn[kApnBytes] = {};
    WideToAnsi(text, apn, sizeof apn);
    Show(this, IDC_NET_APN_ERROR, false);
    entry.cid = 1;
    CopyInto(entry.apn, sizeof entry.apn, apn);
    return 0;
}

int CVX520ModemSettingNetworkSettingPage::WriteApnFromPage()
{
    PdpContextEntry entry{};
    if (ReadApnFromPage(entry) == NET_APN_REFUSED)
        return 1;
    return WriteApnOnly(entry) == 0 ? 0 : 1;
}

int CVX520ModemSettingNetworkSettingPage::SplitFirstContextLine(char* head, size_t headSize, char* tail,
                                                                 size_t tailSize)
{
    head[0] = '\0';
    tail[0] = '\0';
    int status = m_portManager.OpenATPort();
    if (status != 0)
        return status;
    char line[kContextLineReadBytes] = {};
    status = QueryFirstContextLine(line);
    line[sizeof line - 1] = '\0';
    if (status == 0 && line[0] != '\0') {
        const char* first = std::strchr(line, ',');
        const char* second = first ? std::strchr(first + 1, ',') : nullptr;
        if (second) {
            const size_t headLength = static_cast<size_t>(second - line) + 1;
            const char* third = std::strchr(second + 1, ',');
            // a part that does not fit leaves the head empty, so nothing half is written
            if (headLength < headSize && (!third || CopyInto(tail, tailSize, third))) {
                std::memcpy(head, line, headLength);
                head[headLength] = '\0';
            }
        }
    }
    if (status != 0)
        Sleep(kFailedTryPauseMs);
    return status;
}

int CVX520ModemSettingNetworkSettingPage::WriteApnOnly(const PdpContextEntry& entry)
{
    int status = m_portManager.OpenATPort();
    if (status != 0)
        return status;
    char head[kContextHeadBytes] = {};
    char tail[kContextLineBytes] = {};
    SplitFirstContextLine(head, sizeof head, tail, sizeof tail);
    if (head[0] == '\0')
        return 1;
    char line[kContextLineBytes] = {};
    const int apnLength = static_cast<int>(strnlen(entry.apn, sizeof entry.apn));
    if (FormatText(line, sizeof line, "%s\"%.*s\"%s", head, apnLength, entry.apn, tail) != 0)
        return 1;
    return WriteContextLine(line, entry);
}


void CVX520ModemSettingNetworkSettingPage::ReadSelectedOperator(char* mccMnc, size_t mccMncSize,
                                                                int& accessTechnology)
{
    CString act, numeric;
    {
        std::lock_guard<std::mutex> guard(m_operatorLock);
        act = m_strSelectedAct;
        numeric = m_strSelectedMccMnc;
    }
    accessTechnology = NetworkActFromText(act);
    std::memset(mccMnc, 0, mccMncSize);
    WideToAnsi(numeric, mccMnc, mccMncSize);
    m_listOperator.SetFocus();
}

int CVX520ModemSettingNetworkSettingPage::ApplyNetworkSettings()
{
    CPortOperation operation;
    const bool carrier = IsCarrierSim();
    int netStatus = 1;
    int apnStatus = 1;

    // Swapwell's SIM always counts as the carrier's: the APN alone, no authentication notice
    if (m_bApnLocked)
        apnStatus = 0;
    else if (!m_bApnValid)
        apnStatus = 1;
    else if (carrier)
        apnStatus = WriteApnFromPage();
    else if (!m_bUserNameValid || !m_bPasswordValid)
        apnStatus = 1;
    else {
        apnStatus = WriteUserAuth();
        if (apnStatus == 0)
            apnStatus = WriteApnFromPage();
    }

    const int mode = IsDlgButtonChecked(IDC_NET_MODE_ALL) ? 0 : 6;
    if (IsDlgButtonChecked(IDC_NET_SELECTION_AUTO)) {
        netStatus = SetNetworkSelection(mode, 0);
    } else if (IsDlgButtonChecked(IDC_NET_SELECTION_MANUAL)) {
        netStatus = SetNetworkSelection(mode, 1);
        if (netStatus == 0 && m_listOperator.GetNextItem(-1, LVNI_SELECTED) >= 0) {
            char mccMnc[kMccMncBytes] = {};
            int act = 0;
            ReadSelectedOperator(mccMnc, sizeof mccMnc, act);
            OperatorList list{};
            list.count = 1;
            list.entries[0].accessTechnology = act;
            // an MCC MNC longer than the record holds is no operator code
            netStatus = CopyInto(list.entries[0].numeric, sizeof list.entries[0].numeric, mccMnc)
                            ? SelectOperator(list)
                            : 1;
        }
    }

    int roamStatus = 0;
    const bool enableChecked = IsDlgButtonChecked(IDC_NET_ROAMING_ENABLE) != 0;
    // before any roaming read the device state is unknown: send what the radios say
    const bool differs = !m_bRoamingKnown || (enableChecked ? m_bRoamingEnabled == 0 : m_bRoamingEnabled == 1);
    if (differs) {
        const int value = IsDlgButtonChecked(IDC_NET_ROAMING_DISABLE) ? 1 : 0;
        roamStatus = SetRoamingSwitch(value);
        if (roamStatus == 0) {
            m_bRoamingEnabled = value == 0 ? 1 : 0;
            m_bRoamingKnown = true;
            if (carrier)
                Prompt(L"ID_ROAMING_ALERTINFO1");
        }
    }

    if (netStatus == 0 && apnStatus == 0 && roamStatus == 0) {
        Prompt(L"SET_SUCCESS_INFO");
        if (!carrier)
            Prompt(L"ID_USRINFO_ALERTINFO1");
    } else {
        Prompt(L"SET_FAILED_INFO");
    }
    return netStatus;
}

// --- controls ----------------------------------------------------------------

void CVX520ModemSettingNetworkSettingPage::InitNetworkPageControls()
{
    Check(this, IDC_NET_MODE_ALL, true);
    Check(this, IDC_NET_MODE_LTE, false);
    Check(this, IDC_NET_ROAMING_DISABLE, true);
    Check(this, IDC_NET_ROAMING_ENABLE, false);
    Check(this, IDC_NET_SELECTION_AUTO, true);
    Check(this, IDC_NET_SELECTION_MANUAL, false);

    InitUserAuthControls();

    m_listOperator.GetClientRect(&m_rectOperatorList);
    m_listOperator.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES | LVS_EX_GRIDLINES);
    const int width = (m_rectOperatorList.right - m_rectOperatorList.left) / 4;
    m_listOperator.InsertColumn(0, Lang(L"NETWORK_LIST_OPERATION_NAME"), LVCFMT_CENTER, width);
    m_listOperator.InsertColumn(1, Lang(L"NETWORK_LIST_NETWORK"), LVCFMT_CENTER, width);
    m_listOperator.InsertColumn(2, L"MCC MNC", LVCFMT_CENTER, width);
    m_listOperator.InsertColumn(3, Lang(L"NETWORK_LIST_STATUS"), LVCFMT_CENTER, width);
    LVCOLUMN column;
    column.mask = LVCF_FMT;
    column.fmt = LVCFMT_CENTER;
    m_listOperator.SetColumn(0, &column);
}

void CVX520ModemSettingNetworkSettingPage::FillOperatorList()
{
    OperatorList list;
    {
        std::lock_guard<std::mutex> guard(m_operatorLock);
        list = m_operatorList;
    }
    m_listOperator.DeleteAllItems();
    const int count = list.count < 0 ? 0 : (list.count > AT_LIST_ROWS ? AT_LIST_ROWS : list.count);
    for (int i = 0; i < count; ++i) {
        const OperatorEntry& entry = list.entries[i];
        const int row = m_listOperator.InsertItem(i, FieldText(entry.longName, sizeof entry.longName));
        m_listOperator.SetItemText(row, 1, NetworkActText(entry.accessTechnology));
        m_listOperator.SetItemText(row, 2, FieldText(entry.numeric, sizeof entry.numeric));
        m_listOperator.SetItemText(row, 3, Lang(NetworkStatusKey(entry.status)));
    }
}

void CVX520ModemSettingNetworkSettingPage::RefreshOperatorListTexts()
{
    const std::pair<int, const wchar_t*> headers[] = {
        {0, L"NETWORK_LIST_OPERATION_NAME"}, {1, L"NETWORK_LIST_NETWORK"}, {3, L"NETWORK_LIST_STATUS"}};
    for (const auto& [col, key] : headers) {
        CString text = Lang(key);
        LVCOLUMN column;
        column.mask = LVCF_TEXT;
        column.pszText = text.GetBuffer(text.GetLength());
        m_listOperator.SetColumn(col, &column);
        text.ReleaseBuffer();
    }
    std::lock_guard<std::mutex> guard(m_operatorLock);
    const int count = m_operatorList.count < 0 ? 0 : (m_operatorList.count > AT_LIST_ROWS ? AT_LIST_ROWS : m_operatorList.count);
    const int rows = m_listOperator.GetItemCount();
    for (int i = 0; i < count && i < rows; ++i)
        m_listOperator.SetItemText(i, 3, Lang(NetworkStatusKey(m_operatorList.entries[i].status)));
}

void CVX520ModemSettingNetworkSettingPage::SetNetworkPageTexts()
{
    SetNetworkPageCaptions();
    SetUserAuthTexts();
}

void CVX520ModemSettingNetworkSettingPage::SetNetworkPageCaptions()
{
    const std::pair<int, const wchar_t*> captions[] = {
        {IDC_NET_MODE_HEADING, L"MOBIE_NETWORK_SETTING"},
        {IDC_NET_ROAMING_HEADING, L"INTERNATIONAL_ROAMING"},
        {IDC_NET_ROAMING_ENABLE, L"INTERNATIONAL_ROAMING_ENABLE"},
        {IDC_NET_ROAMING_DISABLE, L"INTERNATIONAL_ROAMING_DISABLE"},
        {IDC_NET_ROAMING_WARNING, L"INTERNATIONAL_ROAMING_WARNING"},
        {IDC_NET_SELECTION_HEADING, L"NETWORK_SELECTION"},
        {IDC_NET_SELECTION_AUTO, L"NETWORK_SELECTION_AUTO"},
        {IDC_NET_SELECTION_MANUAL, L"NETWORK_SELECTION_MANUAL"},
        {IDC_NET_SEARCH, L"NETWORK_SELECTION_SEARCH"},
        {IDC_NET_LIST_HEADING, L"NETWORK_LIST"},
    };
    for (const auto& [id, key] : captions)
        SetDlgItemText(id, Lang(key));
    RefreshOperatorListTexts();
    SetDlgItemText(IDC_NET_PROFILE_HEADING, Lang(L"PROFILE_SETTING"));

    if (m_bApnEmpty)
        SetDlgItemText(IDC_NET_APN_ERROR, Lang(L"APN_Requried"));
    else if (!m_bApnValid)
        SetDlgItemText(IDC_NET_APN_ERROR, Lang(L"APN_Invalid"));
    else
        Show(this, IDC_NET_APN_ERROR, false);
}

void CVX520ModemSettingNetworkSettingPage::OnManualSelected()
{
    if (IsDlgButtonChecked(IDC_NET_SELECTION_MANUAL))
        Enable(this, IDC_NET_SEARCH, true);
}

void CVX520ModemSettingNetworkSettingPage::OnAutoSelected()
{
    if (IsDlgButtonChecked(IDC_NET_SELECTION_AUTO))
        Enable(this, IDC_NET_SEARCH, false);
}

void CVX520ModemSettingNetworkSettingPage::OnOperatorSelected(NMHDR*, LRESULT* result)
{
    const int row = m_listOperator.GetNextItem(-1, LVNI_SELECTED);
    if (row >= 0) {
        std::lock_guard<std::mutex> guard(m_operatorLock);
        m_strSelectedAct = m_listOperator.GetItemText(row, 1);
        m_strSelectedMccMnc = m_listOperator.GetItemText(row, 2);
    }
    if (result)
        *result = 0;
}

void CVX520ModemSettingNetworkSettingPage::OnRoamingButton() {}

void CVX520ModemSettingNetworkSettingPage::OnSearchButton()
{
    // counted here, on the UI thread, so that a Read or Apply pressed next sees it
    ++m_nSearchThreads;
    if (m_onSearchPressed)
        m_onSearchPressed();
    CWinThread* thread = AfxBeginThread(CountedSearchThread, this, THREAD_PRIORITY_NORMAL, 0, 0);
    if (!thread) {
        --m_nSearchThreads;
        // what the press held is given back as after a search
        if (HWND target = m_hSearchEndTarget.load())
            ::PostMessage(target, WM_VX520_DEVICE_FREE, DEVICE_FREE_SEARCH, 0);
    }
    m_pSearchThread = thread;
    if (thread) {
        std::lock_guard<std::mutex> guard(m_operatorLock);
        m_searchThreads.push_back(thread);
    }
}

UINT CVX520ModemSettingNetworkSettingPage::CountedSearchThread(LPVOID param)
{
    auto* page = static_cast<CVX520ModemSettingNetworkSettingPage*>(param);
    UINT result = SearchOperatorsThread(param);
    if (page) {
        --page->m_nSearchThreads;
        if (HWND target = page->m_hSearchEndTarget.load())
            ::PostMessage(target, WM_VX520_DEVICE_FREE, DEVICE_FREE_SEARCH, 0);
    }
    return result;
}

UINT CVX520ModemSettingNetworkSettingPage::SearchOperatorsThread(LPVOID param)
{
    const DWORD now = GetTickCount();
    DWORD last = g_dwLastOperatorSearchTick.load();
    do {
        if (last != 0 && now - last < kSearchDebounceMs)
            return 0;
    } while (!g_dwLastOperatorSearchTick.compare_exchange_weak(last, now));

    auto* page = static_cast<CVX520ModemSettingNetworkSettingPage*>(param);
    if (!page)
        return 0;
    page->m_bSearchRunning = 1;
    Enable(page, IDC_NET_SEARCH, false);
    {
        std::lock_guard<std::mutex> guard(page->m_operatorLock);
        std::memset(&page->m_operatorList, 0, sizeof page->m_operatorList);
    }
    OperatorList found{};
    if (page->SearchOperators(found) == 0) {
        {
            std::lock_guard<std::mutex> guard(page->m_operatorLock);
            page->m_operatorList = found;
        }
        page->FillOperatorList();
    }
    Enable(page, IDC_NET_OPERATOR_LIST, true);
    Enable(page, IDC_NET_SEARCH, true);
    page->m_bSearchRunning = 0;
    return 0;
}

HBRUSH CVX520ModemSettingNetworkSettingPage::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    HBRUSH brush = CDialog::OnCtlColor(dc, wnd, ctlColor);
    const int id = wnd ? wnd->GetDlgCtrlID() : 0;
    if (id == IDC_NET_APN_ERROR || IsUserAuthError(id))
        dc->SetTextColor(RGB(255, 0, 0));
    return brush;
}

void CVX520ModemSettingNetworkSettingPage::ValidateApnChars()
{
    UpdateData(TRUE);
    if (IsApnTextAllowed(m_strApn)) {
        Show(this, IDC_NET_APN_ERROR, false);
        m_bApnValid = 1;
    } else {
        SetDlgItemText(IDC_NET_APN_ERROR, Lang(L"APN_Invalid"));
        Show(this, IDC_NET_APN_ERROR, true);
        m_bApnValid = 0;
        m_bApnEmpty = 0;
    }
}

void CVX520ModemSettingNetworkSettingPage::ValidateCredential(int editId, int labelId, CString& text,
                                                              std::atomic<BYTE>& valid, const wchar_t* invalidKey)
{
    UpdateData(TRUE);
    if (IsCredentialTextAllowed(text)) {
        Show(this, labelId, false);
        valid = 1;
    } else {
        SetDlgItemText(labelId, Lang(invalidKey));
        Show(this, labelId, true);
        valid = 0;
    }
    const CString current = text;
    CutEditText(this, editId, current, NET_CREDENTIAL_MAX_CHARS);
}

void CVX520ModemSettingNetworkSettingPage::ValidateUserName()
{
    ValidateCredential(IDC_NET_USER_EDIT, IDC_NET_USER_ERROR, m_strUserName, m_bUserNameValid, L"Userid_Invalid");
}

void CVX520ModemSettingNetworkSettingPage::ValidatePassword()
{
    ValidateCredential(IDC_NET_PASSWORD_EDIT, IDC_NET_PASSWORD_ERROR, m_strPassword, m_bPasswordValid,
                       L"Password_Invalid");
}

void CVX520ModemSettingNetworkSettingPage::OnAuthTypeChange()
{
    const bool none = m_comboAuth.GetCurSel() == NET_AUTH_INDEX_NONE;
    if (none) {
        SetDlgItemText(IDC_NET_USER_EDIT, L"");
        SetDlgItemText(IDC_NET_PASSWORD_EDIT, L"");
    }
    for (int id : {IDC_NET_USER_LABEL, IDC_NET_PASSWORD_LABEL, IDC_NET_USER_EDIT, IDC_NET_PASSWORD_EDIT})
        Enable(this, id, !none);
}

// --- user authentication -------------------------------------------------------
// Setwell's page has it; Swapwell's twins below leave the page as it is without.

#if defined(SETWELL_USER_AUTH)
namespace {

constexpr DWORD kApnWritePauseMs = 3000;
constexpr size_t kCredentialBytes = 64;
constexpr size_t kUserNameReadBytes = 67;
constexpr size_t kSimTextBytes = 256;

// The first seven characters as an unsigned decimal number (blanks skipped first).
// False when they are not seven digits: the text of an error reply ("ERROR", or
// the number of a "+CME ERROR: 10") or an empty one is no IMSI.
bool ImsiPrefix(const char* imsi, unsigned& value)
{
    while (*imsi == ' ' || *imsi == '\t' || *imsi == '\r' || *imsi == '\n')
        ++imsi;
    value = 0;
    for (int i = 0; i < 7; ++i) {
        if (imsi[i] < '0' || imsi[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(imsi[i] - '0');
    }
    return true;
}

// Group identifier data of the carrier's own cards begins "31".
bool Gid1MarksCarrier(const char* reply)
{
    const char* first = std::strchr(reply, ',');
    if (!first)
        return true;
    const char* second = std::strchr(first + 1, ',');
    if (!second)
        return true;
    const char* data = second + 1;
    if (*data != '\0')
        ++data;  // the opening quote
    return data[0] == '3' && data[1] == '1';
}

}  // namespace

void CVX520ModemSettingNetworkSettingPage::ExchangeUserAuth(CDataExchange* dx)
{
    DDX_Control(dx, IDC_NET_AUTH_COMBO, m_comboAuth);
    DDX_CBIndex(dx, IDC_NET_AUTH_COMBO, m_nAuthIndex);
    DDX_Text(dx, IDC_NET_USER_EDIT, m_strUserName);
    DDX_Text(dx, IDC_NET_PASSWORD_EDIT, m_strPassword);
}

void CVX520ModemSettingNetworkSettingPage::InitUserAuthControls()
{
    Show(this, IDC_NET_AUTH_LABEL, false);
    m_comboAuth.ResetContent();
    m_comboAuth.InsertString(NET_AUTH_INDEX_CHAP, L"CHAP");
    m_comboAuth.InsertString(NET_AUTH_INDEX_PAP, L"PAP");
    m_comboAuth.InsertString(NET_AUTH_INDEX_NONE, L"NONE");
    m_comboAuth.SetCurSel(NET_AUTH_INDEX_CHAP);
    ShowAuthControls(SW_HIDE);
}

void CVX520ModemSettingNetworkSettingPage::HideUserAuthErrors()
{
    Show(this, IDC_NET_USER_ERROR, false);
    Show(this, IDC_NET_PASSWORD_ERROR, false);
}

bool CVX520ModemSettingNetworkSettingPage::IsUserAuthError(int id) const
{
    return id == IDC_NET_USER_ERROR || id == IDC_NET_PASSWORD_ERROR;
}

int CVX520ModemSettingNetworkSettingPage::ReadUserAuth(int status)
{
    if (IsCarrierSim()) {
        ShowAuthControls(SW_HIDE);
        return status;
    }
    if (m_bApnLocked)
        return status;
    for (int id : {IDC_NET_AUTH_LABEL, IDC_NET_AUTH_COMBO, IDC_NET_USER_LABEL, IDC_NET_USER_EDIT,
                   IDC_NET_PASSWORD_LABEL, IDC_NET_PASSWORD_EDIT})
        Show(this, id, true);
    Show(this, IDC_NET_USER_ERROR, false);
    Show(this, IDC_NET_PASSWORD_ERROR, false);
    SetDlgItemText(IDC_NET_PASSWORD_EDIT, L"");
    status = m_portManager.OpenATPort();
    if (status == 0) {
        char userName[kUserNameReadBytes] = {};
        int type = 0;
        status = AT_GetUserNameaAuth(userName, &type);
        userName[sizeof userName - 1] = '\0';
        if (status == 0)
            ShowUserAuth(type, userName);
    }
    return status;
}

void CVX520ModemSettingNetworkSettingPage::SetUserAuthTexts()
{
    if (!m_bConnected) {
        ShowAuthControls(SW_HIDE);
        return;
    }
    if (IsCarrierSim())
        return;
    SetDlgItemText(IDC_NET_AUTH_LABEL, Lang(L"USERAUTH"));
    SetDlgItemText(IDC_NET_USER_LABEL, Lang(L"USERNAME"));
    SetDlgItemText(IDC_NET_PASSWORD_LABEL, Lang(L"USERPASSWORD"));
    const struct {
        int editId, labelId;
        std::atomic<BYTE>& required;
        std::atomic<BYTE>& valid;
        const wchar_t *requiredKey, *invalidKey;
    } labels[] = {
        {IDC_NET_USER_EDIT, IDC_NET_USER_ERROR, m_bUserNameRequired, m_bUserNameValid, L"Userid_Requried",
         L"Userid_Invalid"},
        {IDC_NET_PASSWORD_EDIT, IDC_NET_PASSWORD_ERROR, m_bPasswordRequired, m_bPasswordValid,
         L"Password_Requried", L"Password_Invalid"},
    };
    for (const auto& label : labels) {
        label.required = ItemText(this, label.editId).IsEmpty() ? 1 : 0;
        if (label.required)
            SetDlgItemText(label.labelId, Lang(label.requiredKey));
        else if (!label.valid)
            SetDlgItemText(label.labelId, Lang(label.invalidKey));
        else
            Show(this, label.labelId, false);
    }
}

bool CVX520ModemSettingNetworkSettingPage::IsCarrierSim()
{
    if (m_portManager.OpenATPort() != 0)
        return true;
    char imsi[kSimTextBytes] = {};
    if (AT_GET_IMSI(imsi) != 0)
        return true;
    imsi[sizeof imsi - 1] = '\0';
    // a reply without the IMSI's digits is a failed read like any other
    unsigned prefix = 0;
    if (!ImsiPrefix(imsi, prefix))
        return true;
    if ((prefix >= 4402020 && prefix <= 4402029) || prefix == 4402092)
        return true;
    if (prefix != 4402093)
        return false;
    char reply[kSimTextBytes] = {};
    if (AT_GET_CRSM(reply) != 0)
        return true;
    reply[sizeof reply - 1] = '\0';
    if (reply[0] == '\0')
        return true;
    return Gid1MarksCarrier(reply);
}

int CVX520ModemSettingNetworkSettingPage::WriteUserAuth()
{
    const bool none = m_comboAuth.GetCurSel() == NET_AUTH_INDEX_NONE;
    struct Field {
        int editId;
        int labelId;
        std::atomic<BYTE>& required;
        const wchar_t* requiredKey;
        const wchar_t* invalidKey;
        char text[kCredentialBytes];
    } fields[] = {
        {IDC_NET_USER_EDIT, IDC_NET_USER_ERROR, m_bUserNameRequired, L"Userid_Requried", L"Userid_Invalid", {}},
        {IDC_NET_PASSWORD_EDIT, IDC_NET_PASSWORD_ERROR, m_bPasswordRequired, L"Password_Requried",
         L"Password_Invalid", {}},
    };
    for (Field& field : fields) {
        const CString text = ItemText(this, field.editId);
        if (!none && text.IsEmpty()) {
            SetDlgItemText(field.labelId, Lang(field.requiredKey));
            Show(this, field.labelId, true);
            field.required = 1;
            return 1;
        }
        Show(this, field.labelId, false);
        field.required = 0;
        // the edits take 64 characters, the device texts 63: refuse rather than write a cut entry
        if (text.ToUtf8().size() >= sizeof field.text) {
            SetDlgItemText(field.labelId, Lang(field.invalidKey));
            Show(this, field.labelId, true);
            return 1;
        }
        WideToAnsi(text, field.text, sizeof field.text);
    }
    const char* userName = fields[0].text;
    const int type = AuthTypeFromIndex(m_comboAuth.GetCurSel());
    if (m_portManager.OpenATPort() == 0)
        AT_SetUserNameaPasswordAuth(userName, fields[1].text, type);

    char readName[kUserNameReadBytes] = {};
    int readType = 0;
    int readStatus = m_portManager.OpenATPort();
    if (readStatus == 0)
        readStatus = AT_GetUserNameaAuth(readName, &readType);
    readName[sizeof readName - 1] = '\0';
    // no read-back is no confirmation, even for NONE
    if (readStatus != 0 || readType != type)
        return 1;
    if (type == AT_AUTH_NONE)
        return 0;
    return std::strcmp(readName, userName) == 0 ? 0 : 1;
}

int CVX520ModemSettingNetworkSettingPage::WriteContextLine(char* line, const PdpContextEntry& entry)
{
    const int apnLength = static_cast<int>(strnlen(entry.apn, sizeof entry.apn));
    if (AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN(line) != 0)
        return 1;
    Sleep(kApnWritePauseMs);
    PdpContextList contexts{};
    QueryContexts(contexts);
    const PdpContextEntry& first = contexts.entries[0];
    if (strnlen(first.apn, sizeof first.apn) != static_cast<size_t>(apnLength) ||
        std::memcmp(first.apn, entry.apn, static_cast<size_t>(apnLength)) != 0)
        return 1;
    if (IsCarrierSim())
        return 0;
    line[0] = '9';  // the same APN for context 9
    return AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN(line);
}
#else
void CVX520ModemSettingNetworkSettingPage::ExchangeUserAuth(CDataExchange*) {}
void CVX520ModemSettingNetworkSettingPage::InitUserAuthControls() {}
void CVX520ModemSettingNetworkSettingPage::HideUserAuthErrors() {}
bool CVX520ModemSettingNetworkSettingPage::IsUserAuthError(int) const { return false; }
int CVX520ModemSettingNetworkSettingPage::ReadUserAuth(int status) { return status; }
void CVX520ModemSettingNetworkSettingPage::SetUserAuthTexts() {}
bool CVX520ModemSettingNetworkSettingPage::IsCarrierSim() { return true; }
// never reached: the SIM counts as the carrier's
int CVX520ModemSettingNetworkSettingPage::WriteUserAuth() { return 0; }

int CVX520ModemSettingNetworkSettingPage::WriteContextLine(char* line, const PdpContextEntry&)
{
    if (AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN(line) != 0) {
        Sleep(kFailedTryPauseMs);
        return 1;
    }
    return 0;
}
#endif
