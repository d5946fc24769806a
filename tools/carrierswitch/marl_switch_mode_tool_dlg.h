#pragma once
// The carrier mode switch tool: "Set EoU" (network-card mode, over AT) while
// the modem is in modem mode, "Set Modem" (over the web server) while it is a
// network card. Shares its single-instance name with the generic switch tool.
#include "app/tool_dialog_frame.h"
#include "device/port_manager.h"

constexpr UINT IDD_MARL_SWITCH_MODE_TOOL = 138;
constexpr int IDC_MARL_SWITCH_GROUP = 1382;
constexpr int IDC_MARL_SET_EOU = 1096;
constexpr int IDC_MARL_SET_MODEM = 1095;

constexpr const char* kMarlSwitchConfigSection = "MARL_SWITCH_MODE_TOOL_INFO";

class CMarlSwitchModeToolDlg : public CToolDialogFrame {
public:
    explicit CMarlSwitchModeToolDlg(CWnd* parent = nullptr);
    ~CMarlSwitchModeToolDlg() override;

    BOOL OnInitDialog() override;
    CString ReadOwnString(const wchar_t* key) const override;

    // DOMAIN_NAME of the tool's section, "192.168.100.1" when empty.
    static void ReadSwitchModeDomainName(char* out, size_t outSize);

    static UINT WatchSwitchModePorts(LPVOID dialog);
    static UINT SwitchHilinkModeOperationThread(LPVOID dialog);
    static UINT SwitchModemModeOperationThread(LPVOID dialog);

    CWinThread* SwitchToHilinkModeThread = nullptr;
    CWinThread* SwitchToModemModeThread = nullptr;
    CMarlPortManager m_portManager;

protected:
    afx_msg void OnSetEouButton();
    afx_msg void OnSetModemButton();

    DECLARE_MESSAGE_MAP()
};

// Factory of the dispatcher (tool type 3).
CDialog* CreateMarlSwitchModeToolDlg();
