#pragma once
// The kitting tool: one button provisions a modem in network-card mode through
// its web server from the files released into the kitting tool folder
// (Apn_cfg.ini section "APN_INFO", backupinfo).
#include <string>

#include "app/tool_dialog_frame.h"

constexpr UINT IDD_MARL_WRITE_APN_INFO = 141;
constexpr int IDC_KITTING_WRITE = 1381;
constexpr int IDC_KITTING_INFO = 1382;

// Tries of every goform request of a run, 1000 ms apart.
constexpr int KITTING_REQUEST_TRIES = 50;
// Presence tests while the modem restarts after the backup restore.
constexpr int KITTING_RESTART_TESTS = 300;
constexpr const char* kKittingDefaultDomainName = "192.168.100.1";
constexpr const wchar_t* kKittingToolFolderName = L"VX530KittingTool";

// 1 when the path names an existing file or folder (a trailing "/" is ignored).
BOOL FolderExists(const std::wstring& path);

// The IMEI of a web-server answer: the text between the first "{" and the
// first "}", after its first ":", between the next two double quotes.
// Returns 0 for exactly 15 characters, else 1; *imei is empty when nothing
// could be taken out.
int ParseImeiAnswer(const char* answer, std::string* imei);

enum KittingPdpType { KITTING_PDP_IPV4 = 0, KITTING_PDP_IPV6 = 1, KITTING_PDP_IPV4V6 = 2 };

class CMarlWriteAPNInfoDlg : public CToolDialogFrame {
public:
    explicit CMarlWriteAPNInfoDlg(CWnd* parent = nullptr);
    ~CMarlWriteAPNInfoDlg() override;

    BOOL OnInitDialog() override;
    CString ReadOwnString(const wchar_t* key) const override;

    // 1 when the private base exists; the tool folder member is then set.
    BOOL GetKittingToolFolder();
    // 0 when the web server answered (the restore tool's section).
    int IsDeviceWebServerDown() const;

    // The run and its steps: 0 success, otherwise the failing step's result.
    int RunKitting();
    int CheckDeviceImei();
    int GetDeviceIMEIOverHttp(char* answer);
    int ReadDeviceImeiSetting(std::string* imei) const;
    int CheckPrivacySetting();
    int ReadPrivacySetting(int* on);
    // 0 when the provisioning data, the backup file and the request texts will
    // do; checked before the first request that changes the modem.
    int CheckRunInputs();
    // 0 when the upload was taken, or its answer was lost to the restart it
    // causes (the web server went away); a refused upload fails after its tries.
    int RestoreBackupFile();
    void WaitForWebServer();
    int SetDefaultAPN(int pdpType, int index);
    int DeleteAPN();
    int DeleteOneAPN(int index);
    int WriteAPNParameters();
    int GetAPNCmd(int index, char* command, size_t room) const;
    int SendAPNCommand(const char* command);
    int GetInternetSetting(int* on);
    int ReadConfigPdpType();

    static UINT WatchKittingDevice(LPVOID dialog);
    static UINT WriteAPNInformationDoOperationThread(LPVOID dialog);

    const std::wstring& ToolFolder() const { return m_strToolFolder; }
    int PdpType() const { return m_nPdpType; }

    // the last worker started
    CWinThread* m_pWriteAPNInformationThread = nullptr;

protected:
    afx_msg void OnWriteButton();

    DECLARE_MESSAGE_MAP()

private:
    std::wstring ToolFile(const wchar_t* name) const;

    std::wstring m_strToolFolder;
    int m_nPdpType = KITTING_PDP_IPV4;
};

// Factory of the dispatcher (tool type 5).
CDialog* CreateMarlWriteAPNInfoDlg();
