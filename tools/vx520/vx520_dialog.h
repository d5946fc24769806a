#pragma once
// The VX520 modem setting tool: a tab sheet with the network page and a PIN
// page that follows the SIM state, and Read / Apply buttons that act on the
// current tab. A watch thread follows the AT port and the SIM each second.
#include <atomic>
#include <string>

#include "app/input_hold.h"
#include "app/tab_sheet.h"
#include "app/tool_dialog_frame.h"
#include "device/port_manager.h"

class CVX520ModemSettingNetworkSettingPage;
class CVX520ModemSettingPinSettingPage;
class CVX520ModemSettingToolPUKPage;
class CVX520ModemSettingToolPinPage;
class CVX520ModemSettingModifyPinPage;
class CVX520ModemSettingToolPinFail;

constexpr UINT IDD_VX520_MODEM_SETTING = 146;
constexpr int IDC_VX520_TAB = 1404;
constexpr int IDC_VX520_READ = 1402;
constexpr int IDC_VX520_APPLY = 1379;

// Posted by the watch thread and the PIN pages; handled on the UI thread.
#ifndef WM_SWITCH_PIN_PAGE
#define WM_SWITCH_PIN_PAGE (WM_USER + 1001)
#endif

// SIM state from the AT+CPIN? answer.
enum VX520SimState : int {
    SIM_STATE_UNKNOWN = 0,
    SIM_STATE_NOT_INSERTED = 1,
    SIM_STATE_BUSY = 2,
    SIM_STATE_PIN = 3,
    SIM_STATE_PUK = 4,
    SIM_STATE_READY = 5,
    SIM_STATE_FAILURE = 9,
};

// Which page the PIN tab holds.
enum VX520PinPageKind : int {
    PIN_PAGE_SETTING = 0,
    PIN_PAGE_ENTRY = 1,
    PIN_PAGE_MODIFY = 2,
    PIN_PAGE_PUK = 3,
    PIN_PAGE_SIM_FAIL = 4,
};

// The SIM state an AT+CPIN? answer names (any case); first hit of the table wins.
int SimStateFromCpinAnswer(const char* answer);
// The PIN page kind of a SIM state; -1 when the state leaves the kind as it is.
int PinPageKindForSimState(int simState);

class CVX520ModemSettingDlg : public CToolDialogFrame {
public:
    explicit CVX520ModemSettingDlg(CWnd* parent = nullptr);
    ~CVX520ModemSettingDlg() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    CString ReadOwnString(const wchar_t* key) const override;

    // thread procedures: the parameter is the dialog; nothing happens for null
    static UINT WatchVX520Device(LPVOID dialog);
    static UINT ReadParametersThread(LPVOID dialog);
    static UINT ApplyParametersThread(LPVOID dialog);
    static UINT UpdatePINInterfaceThread(LPVOID dialog);

    int ReadPinState();
    bool IsSimReady();
    int QuerySimState();
    void SelectPinPageKind();
    // UI thread: the PIN page of m_nPinPageKind, swapped in and filled as a page read
    void ShowPinPage();
    void RefreshPinPage();
    int ApplyPinPage();
    void StartUpdatePinThread();
    void CreateVX520Pages();
    int SetVX520TabTitles();
    void SetVX520ButtonTexts();
    void SetPinTabTitle();

    // the tab control's current selection
    int CurrentTab() const;

    // pages, owned by the dialog
    CVX520ModemSettingNetworkSettingPage* m_pNetworkPage = nullptr;
    CVX520ModemSettingPinSettingPage* m_pPinSettingPage = nullptr;
    CVX520ModemSettingToolPUKPage* m_pPukPage = nullptr;
    CVX520ModemSettingToolPinPage* m_pPinEntryPage = nullptr;
    CVX520ModemSettingModifyPinPage* m_pModifyPinPage = nullptr;
    CVX520ModemSettingToolPinFail* m_pPinFailPage = nullptr;

    CWinThread* m_pReadThread = nullptr;
    CWinThread* m_pApplyThread = nullptr;
    std::atomic<CWinThread*> pUpdatePINInterfaceThread{nullptr};

    CMarlPortManager m_portManager;
    CTabSheet m_tabSheet;

    // written by the watch thread, the workers and the UI thread
    std::atomic<int> m_nSimState{SIM_STATE_UNKNOWN};
    std::atomic<int> m_nPinPageKind{PIN_PAGE_SETTING};
    std::atomic<int> m_nPinRefreshFlag{0};
    std::atomic<int> m_nPendingModifyFlag{0};
    std::atomic<bool> m_bSimQueried{false};
    // the tab the Read or Apply button was pressed on
    std::atomic<int> m_nWorkerTab{0};
    // watch thread only
    int m_nDevicePresent = 0;
    int m_nPrevDevicePresent = 0;
    // 0 while UpdatePINInterfaceThread refreshes the PIN page
    std::atomic<int> m_nPinPageReady{1};
    // Read and Apply, held from a search's press to its end and through a page read
    CInputHold m_buttonHold;

    // Device reads the tab change and the language switch ask for.
    enum PageRead : unsigned {
        PAGE_READ_NETWORK = 1,        // IsSimReady, ReadNetworkSettings, the page's texts
        PAGE_READ_NETWORK_TEXTS = 2,  // the authentication texts (whose SIM it is)
        PAGE_READ_PIN_PAGE = 4,       // the PIN page of the SIM's state, swapped in and filled
        PAGE_READ_PIN_TEXTS = 8,      // the shown PIN page again, in the new language
    };
    // UI thread: the reads run on a thread of their own, one at a time, never
    // beside a worker or a search (then they wait for its end); meanwhile the
    // tab control, Read, Apply and the network page's inputs are off, so that
    // the window keeps painting and no click lands on a page being read.
    void RequestPageRead(unsigned reads);
    bool PageReadRunning() const { return m_nReadsRunning.load() != 0; }
    // A read asked for that has not ended, also one waiting for the device.
    bool PageReadsPending() const { return m_nReadsDue.load() != 0 || PageReadRunning(); }
    static UINT PageReadThread(LPVOID dialog);

protected:
    afx_msg void OnDestroy();
    afx_msg void OnVX520TabChange(NMHDR* header, LRESULT* result);
    afx_msg void OnReadButton();
    afx_msg void OnApplyButton();
    afx_msg LRESULT OnSwitchPinPage(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnDeviceFree(WPARAM wParam, LPARAM lParam);
    afx_msg void SelectJapanese();
    afx_msg void SelectEnglish();

    DECLARE_MESSAGE_MAP()

private:
    void SelectLanguage(BYTE flag);
    // Read and Apply: refused while a worker or an operator search runs; the
    // network page inputs are held off until the worker ends.
    void StartParametersWorker(AFX_THREADPROC proc, CWinThread** member);
    void ReleaseWorkerInputs();
    // one watch cycle; false when the stop flag ended it
    bool WatchCycle();
    // its steps
    void ShowDeviceGone(CVX520ModemSettingNetworkSettingPage* page);
    void ShowDevicePresent(CVX520ModemSettingNetworkSettingPage* page, int tab);
    void EnableNetworkPageForSim(CVX520ModemSettingNetworkSettingPage* page);
    void EnableAuthInputs(CVX520ModemSettingNetworkSettingPage* page);
    // A PIN page refresh when one is due on the PIN tab; the tab as it is then.
    int RefreshPinPage(int tab);
    // The device has just come: the current tab's first read.
    void ReadArrivedDevice(CVX520ModemSettingNetworkSettingPage* page, int tab);
    void WaitForUpdateThread();
    void WaitForPageRead();
    // UI thread: the page of m_nPinPageKind in the PIN tab; false when none
    bool SwapPinPage();
    // Page-read thread: the device's state into the PIN page of kind.
    void FillPinPage(int kind);
    // Starts the reads due when nothing holds the device.
    void StartDueReads();
    void EndPageRead();
    void HoldPageInputs();
    void ReleasePageInputs();
    bool DeviceHeld() const;
    // reads asked for and not started (set on the UI thread, read by the tests too)
    std::atomic<unsigned> m_nReadsDue{0};
    // the read running, 0 for none (set on the UI thread, read by the tests too)
    std::atomic<unsigned> m_nReadsRunning{0};
    int m_nPinKindShown = 0;
    // UI thread: a Read or Apply pressed while a page read ran
    struct DuePress {
        AFX_THREADPROC proc = nullptr;
        CWinThread** member = nullptr;
    };
    DuePress m_duePress;
    CWinThread* m_pPageReadThread = nullptr;
};

// Factory of the dispatcher (tool type 8).
CDialog* CreateVX520ModemSettingDlg();
