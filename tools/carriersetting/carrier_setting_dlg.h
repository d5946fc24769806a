#pragma once
// The carrier modem setting dialogs: an APN tab and a communication-mode tab
// with one Read and one Write button. The second version keeps its
// communication-mode tab without device access (High Speed Plus Area shown).
#include "app/input_hold.h"
#include "app/tab_sheet.h"
#include "app/tool_dialog_frame.h"
#include "device/port_manager.h"
#include "tools/carriersetting/apn_page.h"
#include "tools/carriersetting/commode_page.h"

constexpr UINT IDD_MARL_MODEM_SETTING = 137;
constexpr UINT IDD_MARL_MODEM_SETTING_NEW = 142;
constexpr int IDC_MARL_SETTING_TAB = 1094;
constexpr int IDC_MARL_SETTING_READ = 1379;
constexpr int IDC_MARL_SETTING_WRITE = 1378;

// What the two versions share; the second differs by its template, its name
// and what its communication-mode tab may do.
class CMarlModemSettingDlgBase : public CToolDialogFrame {
public:
    CMarlModemSettingDlgBase(UINT templateId, const wchar_t* mutexName, bool communicationModeLocked);
    ~CMarlModemSettingDlgBase() override;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    CString ReadOwnString(const wchar_t* key) const override;

    void CreateModemSettingPages();
    void SetModemSettingButtonTexts();
    void AddModemSettingPages();

    static UINT WatchModemSettingDevice(LPVOID dialog);
    static UINT ReadAndDisplayParametersThread(LPVOID dialog);
    static UINT WriteParametersThread(LPVOID dialog);

    CTabSheet m_tabSheet;
    CMarlModemSettingAPNPage* m_pAPNPage = nullptr;
    CMarlModemSettingCommunicationModePage* m_pCommunicationModePage = nullptr;
    CWinThread* m_pReadThread = nullptr;
    CWinThread* m_pWriteThread = nullptr;
    CMarlPortManager m_portManager;  // the watch thread's

protected:
    afx_msg void OnTabSelChange(NMHDR* header, LRESULT* result);
    afx_msg void OnReadButton();
    afx_msg void OnWriteButton();
    afx_msg void OnDestroy();

    // Both workers: the selected tab's read or write, then the watch again.
    void RunParametersWorker(bool write);
    // Read and Write: the selected page's inputs are held off until the worker ends.
    void StartParametersWorker(AFX_THREADPROC proc, CWinThread** member);
    void EnableSettingButtons(bool enabled);

    CInputHold m_inputHold;
    const wchar_t* m_pszMutexName;
    bool m_bCommunicationModeLocked;

    DECLARE_MESSAGE_MAP()
};

// Tool type 4.
class CMarlModemSettingDlg : public CMarlModemSettingDlgBase {
public:
    CMarlModemSettingDlg();
};

// Tool type 6.
class MarlModemSettingDlgNew : public CMarlModemSettingDlgBase {
public:
    MarlModemSettingDlgNew();
};

// Factories of the dispatcher.
CDialog* CreateMarlModemSettingDlg();
CDialog* CreateMarlModemSettingDlgNew();
