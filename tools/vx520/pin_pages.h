#pragma once
// The five pages of the VX520 tool's PIN management tab. The dialog picks the
// page from the SIM state, owns the objects, writes their attempt members and
// calls the Fill / Refresh / Apply routines; the pages talk back only by
// posting WM_SWITCH_PIN_PAGE to the dialog's window.
#include <atomic>
#include <mutex>

#include "device/port_manager.h"
#include "platform/ui/afx.h"

// wParam 1: show the PIN page now; lParam 1 change-PIN page, 2 PIN setting
// page, 3 change-PIN page at the next showing.
#ifndef WM_SWITCH_PIN_PAGE
#define WM_SWITCH_PIN_PAGE (WM_USER + 1001)
#endif

constexpr UINT IDD_VX520_PIN_SETTING_PAGE = 149;
constexpr UINT IDD_VX520_PIN_ENTRY_PAGE = 151;
constexpr UINT IDD_VX520_PUK_ENTRY_PAGE = 152;
constexpr UINT IDD_VX520_MODIFY_PIN_PAGE = 153;
constexpr UINT IDD_VX520_SIM_FAIL_PAGE = 154;

constexpr int IDC_PIN_NOTICE = 1412;
constexpr int IDC_PIN_STATUS_LABEL = 1413;
constexpr int IDC_PIN_STATUS = 1414;         // read-only edit
constexpr int IDC_PIN_ATTEMPTS = 1415;       // read-only edit
constexpr int IDC_PIN_CHOICE = 1416;         // drop-down list combo
constexpr int IDC_PIN_EDIT = 1417;           // PIN, new PIN
constexpr int IDC_PUK_EDIT = 1418;
constexpr int IDC_PIN_ATTEMPTS_LABEL = 1419;
constexpr int IDC_PIN_CONFIRM_EDIT = 1420;   // new PIN again (PIN setting page: PIN_STATE label)
constexpr int IDC_PIN_CODE_LABEL = 1421;     // PIN_CODE, or NEW_PIN on the pages with a new PIN
constexpr int IDC_PUK_CODE_LABEL = 1422;
constexpr int IDC_PIN_CONFIRM_LABEL = 1423;
constexpr int IDC_PIN_STATE_LABEL = 1424;    // change-PIN page
constexpr int IDC_CURRENT_PIN_LABEL = 1425;  // change-PIN page
constexpr int IDC_CURRENT_PIN_EDIT = 1426;   // change-PIN page
constexpr int IDC_SIM_FAIL1 = 1427;
constexpr int IDC_SIM_FAIL2 = 1428;

// Narrow rooms of the codes handed to the AT operations (digits + terminator).
constexpr int PIN_CODE_ROOM = 5;
constexpr int PUK_CODE_ROOM = 9;
constexpr int PIN_CODE_LENGTH = 4;
constexpr int PUK_CODE_LENGTH = 8;
constexpr int SIM_ANSWER_ROOM = 1024;

// PIN verification state, remaining attempts and the SIM answer (kind 0).
class CVX520ModemSettingPinSettingPage : public CDialog {
public:
    explicit CVX520ModemSettingPinSettingPage(CWnd* parent = nullptr);
    ~CVX520ModemSettingPinSettingPage() override;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;

    // UI thread, when put into the tab: status of the last exchange (0 ok),
    // 1 when no AT port is listed.
    int FillPinSettingPage();
    // Update thread, no AT exchange: 0; 1 when the controls were disabled.
    int RefreshPinSettingPage();
    void ShowPinSettingDisabled();
    void EnablePinSettingControls();

    CComboBox m_comboPinVerification;          // 1416
    std::atomic<int> m_nPinAttempts{3};
    std::atomic<int> m_nPukAttempts{10};
    CWnd* m_pDialogWnd = nullptr;              // set by the dialog before each first fill
    std::atomic<int> m_nPinVerificationState{0};  // 1 verification enabled
    CMarlPortManager m_portManager;

    // The last AT+CPIN? answer, lower-cased (copied under its lock).
    void GetSimAnswer(char* out, size_t outSize) const;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    afx_msg void OnPinVerificationChange();
    afx_msg void ValidatePinDigits();
    void SetPinSettingTexts();
    void FillVerificationChoice(int state);

    mutable std::mutex m_simAnswerLock;  // written on the UI thread, read by the update thread
    char m_szSimAnswer[SIM_ANSWER_ROOM] = {};

    DECLARE_MESSAGE_MAP()
};

// Change PIN, or go back to the PIN setting page (kind 2).
class CVX520ModemSettingModifyPinPage : public CDialog {
public:
    explicit CVX520ModemSettingModifyPinPage(CWnd* parent = nullptr);
    ~CVX520ModemSettingModifyPinPage() override;

    BOOL PreTranslateMessage(MSG* msg) override;

    int FillModifyPinPage();     // 1
    int RefreshModifyPinPage();  // 0
    // Apply worker: 0 when the device took the new PIN, 1 otherwise.
    int ApplyModifyPin();

    std::atomic<int> m_nPinAttempts{3};
    std::atomic<int> m_nPukAttempts{10};
    CWnd* m_pDialogWnd = nullptr;  // set by the dialog whenever it puts in the PIN setting page
    CComboBox m_comboChoice;       // 1416

protected:
    void DoDataExchange(CDataExchange* dx) override;
    afx_msg void OnModifyPinChoiceChange();
    afx_msg void ValidateCurrentPinDigits();
    afx_msg void ValidatePinDigits();
    afx_msg void ValidateConfirmPinDigits();
    void SetModifyPinTexts();

    DECLARE_MESSAGE_MAP()
};

// The SIM asks for its PIN (kind 1).
class CVX520ModemSettingToolPinPage : public CDialog {
public:
    explicit CVX520ModemSettingToolPinPage(UINT templateId = IDD_VX520_PIN_ENTRY_PAGE, CWnd* parent = nullptr);
    ~CVX520ModemSettingToolPinPage() override;

    BOOL PreTranslateMessage(MSG* msg) override;

    int FillPinEntryPage();     // 1
    int RefreshPinEntryPage();  // 0
    // Apply worker: 0 when the SIM took the PIN, 1 otherwise.
    int ApplyPinEntry();

    std::atomic<int> m_nPinAttempts{3};
    std::atomic<int> m_nPukAttempts{10};

protected:
    afx_msg void ValidatePinDigits();
    void SetPinEntryTexts();

    DECLARE_MESSAGE_MAP()
};

// The SIM asks for its PUK and a new PIN (kind 3).
class CVX520ModemSettingToolPUKPage : public CDialog {
public:
    explicit CVX520ModemSettingToolPUKPage(UINT templateId = IDD_VX520_PUK_ENTRY_PAGE, CWnd* parent = nullptr);
    ~CVX520ModemSettingToolPUKPage() override;

    BOOL PreTranslateMessage(MSG* msg) override;

    int FillPukEntryPage();     // 1
    int RefreshPukEntryPage();  // 0
    // Apply worker: 0 when the SIM took the PUK, 1 otherwise.
    int ApplyPukEntry();

    std::atomic<int> m_nPinAttempts{3};
    std::atomic<int> m_nPukAttempts{10};

protected:
    afx_msg void ValidatePukDigits();
    afx_msg void ValidatePinDigits();
    afx_msg void ValidateConfirmPinDigits();
    void SetPukEntryTexts();

    DECLARE_MESSAGE_MAP()
};

// No SIM or a dead SIM (kind 4); no message map of its own.
class CVX520ModemSettingToolPinFail : public CDialog {
public:
    explicit CVX520ModemSettingToolPinFail(UINT templateId = IDD_VX520_SIM_FAIL_PAGE, CWnd* parent = nullptr);
    ~CVX520ModemSettingToolPinFail() override;

    BOOL PreTranslateMessage(MSG* msg) override;

    void FillSimFailurePage();
};
