#pragma once
// The WiMAX 2+ switch tool: reads and sets WiMAX 2+ on the carrier modem,
// over the device's web server when it answers, else over the AT port with
// the device-mode case tables. Shows the user's ID from the tool folder's
// config.ini.
#include <string>

#include "app/tool_dialog_frame.h"
#include "device/port_manager.h"

constexpr UINT IDD_MARL_WIMAX = 145;
constexpr int IDC_WIMAX_ON = 1383;
constexpr int IDC_WIMAX_OFF = 1384;
constexpr int IDC_WIMAX_USER_ID = 1385;
constexpr int IDC_WIMAX_READ = 1386;
constexpr int IDC_WIMAX_SET = 1379;
constexpr int IDC_WIMAX_GROUP = 1387;

// Attempts of a read or set to find the web server or an AT port.
constexpr int WIMAX_PATH_ATTEMPTS = 50;
// Tries of one goform request.
constexpr int WIMAX_GOFORM_TRIES = 10;
constexpr const char* kWimaxDefaultDomainName = "192.168.100.1";
constexpr const wchar_t* kWimaxToolFolderName = L"VX530WimaxTool";

class CMarlWimaxDlg : public CToolDialogFrame {
public:
    explicit CMarlWimaxDlg(CWnd* parent = nullptr);
    ~CMarlWimaxDlg() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    CString ReadOwnString(const wchar_t* key) const override;

    // 1 when the private base exists and the tool folder path was set.
    int SetWimaxToolFolderPath();
    void SetWimaxTexts();
    // 0 when a user ID was shown, 1 when there was none.
    int ShowUserId();
    int IsDeviceWebServerDown() const;
    // 0 with *enabled = 1 (on) or 0 (off).
    int GetWimaxByGoform(unsigned char* enabled) const;
    int SetWimaxByGoform(bool on) const;
    int SetWimaxRadios(unsigned char enabled);
    int ReadWimaxState();
    int WriteWimaxState();

    static UINT WatchWimaxDevice(LPVOID dialog);
    static UINT ReadParametersThread(LPVOID dialog);
    static UINT WriteParametersThread(LPVOID dialog);

    const std::wstring& ToolFolderPath() const { return m_strToolFolderPath; }

    int m_nWimaxRadio = 0;  // radio group 1383 / 1384
    CWinThread* pReadParametersThread = nullptr;
    CWinThread* m_pWriteParametersThread = nullptr;
    CMarlPortManager m_portManager;

protected:
    afx_msg void OnReadButton();
    afx_msg void OnSetButton();

    DECLARE_MESSAGE_MAP()

private:
    std::wstring m_strToolFolderPath;
};

// Factory of the dispatcher (tool type 7).
CDialog* CreateMarlWimaxDlg();
