#pragma once
// The factory restore tool: one button, enabled while the modem's web server
// answers, that asks the web server to restore the factory settings.
#include "app/tool_dialog_frame.h"
#include "platform/win/clock.h"

constexpr UINT IDD_MARL_RESTORE_FACTORY_SETTING = 136;
constexpr int IDC_RESTORE_GROUP = 1382;
constexpr int IDC_RESTORE_BUTTON = 1091;

constexpr const char* kRestoreConfigSection = "MARL_RESTORE_FACTORY_SETTING_TOOL_INFO";
// Host the workers use when the configuration names none.
constexpr const char* kMarlDefaultDomainName = "192.168.100.1";
// Tries of a carrier tool's request, 1000 ms apart.
constexpr int MARL_REQUEST_TRIES = 3;

// Room of the DOMAIN_NAME value, its terminator included.
constexpr size_t kMarlDomainNameRoom = 255;
// DOMAIN_NAME of section (cut to kMarlDomainNameRoom - 1 characters),
// kMarlDefaultDomainName when empty; out must hold kMarlDomainNameRoom bytes or more.
void ReadMarlDomainName(const char* section, char* out, size_t outSize);

// Up to MARL_REQUEST_TRIES calls of request, 1000 ms (then afterFailure)
// after each failure; true when one returned 0.
template <class Request, class AfterFailure>
bool TryMarlRequest(Request request, AfterFailure afterFailure)
{
    for (int attempt = 0; attempt < MARL_REQUEST_TRIES; ++attempt) {
        if (request() == 0)
            return true;
        Sleep(1000);
        afterFailure();
    }
    return false;
}

template <class Request>
bool TryMarlRequest(Request request)
{
    return TryMarlRequest(request, [] {});
}

class CMarlRestoreFactorySettingDlg : public CToolDialogFrame {
public:
    explicit CMarlRestoreFactorySettingDlg(CWnd* parent = nullptr);
    ~CMarlRestoreFactorySettingDlg() override;

    BOOL OnInitDialog() override;
    CString ReadOwnString(const wchar_t* key) const override;

    // 0 when the web server of the tool's section answered (also the APN
    // provisioning tool's presence test).
    static int IsDeviceWebServerDown();

    // the last worker started
    CWinThread* RestoreFactorySettingDoOperationThread = nullptr;

protected:
    afx_msg void OnRestoreButton();

    DECLARE_MESSAGE_MAP()
};

// The watch thread and the worker; the argument is the dialog.
UINT WatchRestoreFactoryDevice(LPVOID dialog);
UINT RestoreFactorySettingDoOperationThread(LPVOID dialog);

// Factory of the dispatcher (tool type 2).
CDialog* CreateMarlRestoreFactorySettingDlg();
