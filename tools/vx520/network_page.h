#pragma once
// The network tab of the VX520 modem setting tool: network mode, network
// selection with the operator search, roaming, the APN of context 1 and (Setwell
// only) the user authentication of the data profile.
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "app/input_hold.h"
#include "app/port_operation.h"
#include "device/at_fields.h"
#include "device/port_manager.h"
#include "platform/ui/afx.h"
#include "platform/win/named_mutex.h"

constexpr UINT IDD_VX520_NETWORK_PAGE = 147;

// Controls of dialog 147.
constexpr int IDC_NET_MODE_HEADING = 1409;
constexpr int IDC_NET_MODE_ALL = 1388;        // "4G/LTE/3G/GSM"
constexpr int IDC_NET_MODE_LTE = 1389;        // "4G/LTE"
constexpr int IDC_NET_ROAMING_HEADING = 1399;
constexpr int IDC_NET_ROAMING_ENABLE = 1390;
constexpr int IDC_NET_ROAMING_DISABLE = 1391;
constexpr int IDC_NET_ROAMING_WARNING = 1439;
constexpr int IDC_NET_SELECTION_HEADING = 1400;
constexpr int IDC_NET_SELECTION_AUTO = 1392;
constexpr int IDC_NET_SELECTION_MANUAL = 1393;
constexpr int IDC_NET_SEARCH = 1401;
constexpr int IDC_NET_LIST_HEADING = 1402;
constexpr int IDC_NET_OPERATOR_LIST = 1407;
constexpr int IDC_NET_PROFILE_HEADING = 1396;
constexpr int IDC_NET_APN_LABEL = 1397;
constexpr int IDC_NET_APN_EDIT = 1398;
constexpr int IDC_NET_APN_ERROR = 1403;
// Posted to the dialog when a worker or an operator search lets go of the
// device: a read of this page a tab change put off comes then.
#define WM_VX520_DEVICE_FREE (WM_USER + 1002)
// Its wParam: who let go.
enum : WPARAM { DEVICE_FREE_WORKER = 0, DEVICE_FREE_SEARCH = 1, DEVICE_FREE_PAGE_READ = 2, DEVICE_FREE_PIN_UPDATE = 3 };

constexpr int IDC_NET_AUTH_LABEL = 1412;
constexpr int IDC_NET_AUTH_COMBO = 1339;
constexpr int IDC_NET_USER_LABEL = 1413;
constexpr int IDC_NET_USER_EDIT = 1414;
constexpr int IDC_NET_USER_ERROR = 1415;
constexpr int IDC_NET_PASSWORD_LABEL = 1408;
constexpr int IDC_NET_PASSWORD_EDIT = 1410;
constexpr int IDC_NET_PASSWORD_ERROR = 1411;

// The eight authentication controls, in the order they are shown and hidden.
constexpr int kNetworkAuthControls[8] = {IDC_NET_AUTH_LABEL,     IDC_NET_AUTH_COMBO,    IDC_NET_USER_LABEL,
                                         IDC_NET_USER_EDIT,      IDC_NET_USER_ERROR,    IDC_NET_PASSWORD_LABEL,
                                         IDC_NET_PASSWORD_EDIT,  IDC_NET_PASSWORD_ERROR};

// Combo 1339 items.
enum : int { NET_AUTH_INDEX_CHAP = 0, NET_AUTH_INDEX_PAP = 1, NET_AUTH_INDEX_NONE = 2 };

// ReadApnFromPage when the APN check refuses the text.
constexpr int NET_APN_REFUSED = 817;
// Longest APN written, and the longest user name / password kept in the edits.
constexpr int NET_APN_MAX_CHARS = 62;
constexpr int NET_CREDENTIAL_MAX_CHARS = 64;

// Text conversions of the list and of the device values, shared with the tests.
const wchar_t* NetworkActText(int accessTechnology);     // AT_ACT_LTE "4G", AT_ACT_WCDMA "WCDMA", else "GSM"
int NetworkActFromText(const CString& text);             // the other way round; else AT_ACT_GSM
const wchar_t* NetworkStatusKey(int status);             // language key of the status column
int AuthIndexFromType(int type);                         // AtAuthType to the list's index
int AuthTypeFromIndex(int index);                        // the list's index to AtAuthType
// Whole-text matches of the entry checks.
bool IsApnTextAllowed(const CString& text);
bool IsCredentialTextAllowed(const CString& text);

class CVX520ModemSettingNetworkSettingPage : public CDialog {
public:
    explicit CVX520ModemSettingNetworkSettingPage(CWnd* parent = nullptr);
    ~CVX520ModemSettingNetworkSettingPage() override;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;

    // --- used by the VX520 dialog ---
    // Every setting from the device into the page; the read status.
    int ReadNetworkSettings(bool clearOperatorList);
    // Writes the page's settings, prompts the outcome; the network selection status.
    int ApplyNetworkSettings();
    // True for the carrier's own SIM and on every read failure (Swapwell, which
    // has no user authentication, always answers true).
    bool IsCarrierSim();
    // The captions, then the authentication texts (which ask the SIM whose it is).
    void SetNetworkPageTexts();
    // The captions alone: no device access.
    void SetNetworkPageCaptions();
    void SetUserAuthTexts();
    bool CheckApnForApply();
    // The same check on a text read once; apn is cut to NET_APN_MAX_CHARS.
    bool CheckApnForApply(CString& apn);
    void ResetNetworkPageEntries();
    static UINT SearchOperatorsThread(LPVOID page);
    static UINT CountedSearchThread(LPVOID page);

    // --- reading and applying ---
    int WriteUserAuth();
    int ShowUserAuth(int type, const char* userName);
    int WriteApnFromPage();
    int ReadApnFromPage(PdpContextEntry& entry);
    int WriteApnOnly(const PdpContextEntry& entry);
    int SplitFirstContextLine(char* head, size_t headSize, char* tail, size_t tailSize);
    void ReadSelectedOperator(char* mccMnc, size_t mccMncSize, int& accessTechnology);

    // One try of one AT operation each, after opening the AT port.
    int QueryNetworkSelection(int& mode, int& selection);
    int QueryContexts(PdpContextList& list);
    int QueryFirstContextLine(char* text);   // text: at least 1024 bytes
    int QueryRoaming(int& value);
    bool IsApnLocked();
    bool IsModeLocked();
    bool IsRoamingLocked();
    int SetNetworkSelection(int mode, int selection);
    int SelectOperator(const OperatorList& list);
    int SetRoamingSwitch(int value);
    int SearchOperators(OperatorList& list);

    // --- controls ---
    void InitNetworkPageControls();
    void FillOperatorList();
    void RefreshOperatorListTexts();
    void ShowAuthControls(int cmdShow);

    HANDLE m_hMutex = nullptr;
    OperatorList m_operatorList{};
    CWinThread* m_pSearchThread = nullptr;
    COperationPortManager m_portManager;
    RECT m_rectOperatorList{};
    CListCtrl m_listOperator;
    CString m_strSelectedMccMnc;
    CString m_strSelectedAct;

    // Written by this page, the dialog's watch thread and the workers (hence atomic).
    std::atomic<BYTE> m_bRoamingEnabled{0};   // meaningful once m_bRoamingKnown is set
    std::atomic<bool> m_bRoamingKnown{false};
    std::atomic<BYTE> m_bApnLocked{0};
    std::atomic<BYTE> m_bModeLocked{0};
    std::atomic<BYTE> m_bRoamingLocked{0};
    std::atomic<BYTE> m_bApnValid{1};
    std::atomic<BYTE> m_bApnEmpty{0};
    std::atomic<BYTE> m_bSearchRunning{0};
    // Search threads started by the button and not ended (from the press on).
    std::atomic<int> m_nSearchThreads{0};
    // told (WM_VX520_DEVICE_FREE) when a search thread ends; set by the dialog
    std::atomic<HWND> m_hSearchEndTarget{nullptr};
    // UI thread, at the press: the dialog holds its own buttons until that end
    std::function<void()> m_onSearchPressed;
    std::atomic<BYTE> m_bLockNoticeShown{0};
    std::atomic<BYTE> m_bUserNameValid{1};
    std::atomic<BYTE> m_bPasswordValid{1};
    std::atomic<BYTE> m_bUserNameRequired{0};
    std::atomic<BYTE> m_bPasswordRequired{0};
    std::atomic<BYTE> m_bConnected{0};   // kept by the dialog's watch thread

    // The inputs a Read or Apply worker works on, held by the dialog meanwhile.
    CInputHold m_inputHold;

    CString m_strApn;
    CComboBox m_comboAuth;
    int m_nAuthIndex = 0;
    CString m_strUserName;
    CString m_strPassword;

protected:
    void DoDataExchange(CDataExchange* dx) override;

    afx_msg void OnSearchButton();
    afx_msg void OnManualSelected();
    afx_msg void OnAutoSelected();
    afx_msg void OnOperatorSelected(NMHDR* header, LRESULT* result);
    afx_msg void OnRoamingButton();
    afx_msg void ValidateApnChars();
    afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    afx_msg void ValidateUserName();
    afx_msg void ValidatePassword();
    afx_msg void OnAuthTypeChange();

    DECLARE_MESSAGE_MAP()

private:
    // Guards the stored operator list and the selected operator (search worker,
    // UI thread, Apply worker).
    mutable std::mutex m_operatorLock;
    // Every search worker started, joined before the page goes away.
    std::vector<CWinThread*> m_searchThreads;
    void ValidateCredential(int editId, int labelId, CString& text, std::atomic<BYTE>& valid, const wchar_t* invalidKey);

    // The user authentication part: Setwell's page has it, Swapwell's twins
    // leave the page as it is without (no controls, a SIM that always counts
    // as the carrier's).
    void ExchangeUserAuth(CDataExchange* dx);
    void InitUserAuthControls();
    void HideUserAuthErrors();
    bool IsUserAuthError(int id) const;
    // status: the read so far; the authentication read's own once it runs.
    int ReadUserAuth(int status);
    // Writes the first context's line; Setwell then waits, reads the APN back
    // and, for another SIM, writes it for context 9 too.
    int WriteContextLine(char* line, const PdpContextEntry& entry);
};

// Process-wide time of the last accepted operator search (0 until the first).
extern std::atomic<DWORD> g_dwLastOperatorSearchTick;
