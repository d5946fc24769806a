#pragma once
// The mode switch tool: switches the modem between normal mode (a USB network
// card with a web server) and modem mode (AT serial ports). A watch thread
// enables the one button that fits what the device shows now.
#include "app/tool_dialog_frame.h"
#include "device/port_manager.h"

constexpr UINT IDD_SWITCH_MODE_TOOL = 150;
constexpr int IDC_GEN_SWITCH_GROUP = 1409;
constexpr int IDC_GEN_NORMAL_MODE = 1410;
constexpr int IDC_GEN_MODEM_MODE = 1411;
constexpr int IDC_GEN_WAITING_INFO = 1440;
constexpr int IDC_GEN_WAITING_ANIMATION = 1441;
constexpr int IDC_GEN_SWITCH_HIDDEN = 1442;

// Passes of the wait for the device in its new form.
constexpr int GEN_SWITCH_WAIT_PASSES = 50;
constexpr const char* kGenDefaultDomainName = "192.168.0.1";

class CSwitchModeToolDlg : public CToolDialogFrame {
public:
    explicit CSwitchModeToolDlg(CWnd* parent = nullptr);
    ~CSwitchModeToolDlg() override;

    BOOL OnInitDialog() override;
    void SetLanguageTexts() override;
    CString ReadOwnString(const wchar_t* key) const override;

    void SetGenSwitchTexts();
    // DOMAIN_NAME (at most 255 characters), "192.168.0.1" when empty; its length.
    int ReadGenDomainName(char* out, size_t outSize) const;
    void AnimateWaitingLabel(int staticId);
    // Up to 50 passes until an entry holds one of the two names; 1 when seen.
    int WaitForSwitchedDevice(const char* name1, const char* name2);

    static UINT WatchSwitchModePorts(LPVOID dialog);
    static UINT SwitchNormalModeOperationThread(LPVOID dialog);
    static UINT SwitchModemModeOperationThread(LPVOID dialog);

    CWinThread* SwitchToNormalModeThread = nullptr;
    CWinThread* SwitchToModemModeThread = nullptr;
    CMarlPortManager m_portManager;

protected:
    afx_msg void OnNormalModeButton();
    afx_msg void OnModemModeButton();
    afx_msg void OnJapanese();
    afx_msg void OnEnglish();

    DECLARE_MESSAGE_MAP()
};

// Factory of the dispatcher (tool type 9).
CDialog* CreateSwitchModeToolDlg();
