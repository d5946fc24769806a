#include "tools/diag/dlg_function.h"

#include <cstring>

#include "app/prompt_dialogs.h"
#include "device/diag_ops.h"
#include "device/goform.h"

UI_USE_TEMPLATE_FILE(diag_dialog);

const int kDiagVersionEdits[9] = {
    IDC_DIAG_BD_OUT_VERSION,   IDC_DIAG_BD_INNER_VERSION,    IDC_DIAG_PC_OUT_VERSION,
    IDC_DIAG_PC_INNER_VERSION, IDC_DIAG_MAC_OUT_VERSION,     IDC_DIAG_MAC_OUT_VERSION2,
    IDC_DIAG_LINUX_INNER_VERSION, IDC_DIAG_LINUX_OUT_VERSION, IDC_DIAG_INTEGRATE_VERSION,
};

namespace {

constexpr size_t kHttpReplyRoom = 1024;

void ShowResult(bool ok, const wchar_t* success, const wchar_t* failure) { AfxMessageBox(ok ? success : failure); }

}  // namespace

BEGIN_MESSAGE_MAP(CDlgFunction, CDialog)
    ON_BN_CLICKED(IDC_DIAG_HTTP_SWITCH, &CDlgFunction::OnHttpSwitch)
    ON_BN_CLICKED(IDC_DIAG_SCSI_SWITCH, &CDlgFunction::OnScsiSwitch)
    ON_BN_CLICKED(IDC_DIAG_READ_IMEI, &CDlgFunction::OnReadImei)
    ON_BN_CLICKED(IDC_DIAG_CLOSE_AUTORUN, &CDlgFunction::OnCloseAutoRun)
    ON_BN_CLICKED(IDC_DIAG_OFFLINE, &CDlgFunction::OnOffline)
    ON_BN_CLICKED(IDC_DIAG_RESTORE_FACTORY, &CDlgFunction::OnRestoreFactory)
    ON_BN_CLICKED(IDC_DIAG_ENTER_DOWNLOAD, &CDlgFunction::OnEnterDownload)
    ON_BN_CLICKED(IDC_DIAG_EXIT_DOWNLOAD, &CDlgFunction::OnExitDownload)
    ON_BN_CLICKED(IDC_DIAG_OPEN_AUTORUN, &CDlgFunction::OnOpenAutoRun)
    ON_BN_CLICKED(IDC_DIAG_QC_DOWNLOAD, &CDlgFunction::OnQcDownload)
    ON_BN_CLICKED(IDC_DIAG_GET_VERSION, &CDlgFunction::OnGetVersion)
    ON_BN_CLICKED(IDC_DIAG_WRITE_IMEI, &CDlgFunction::OnWriteImei)
    ON_EN_CHANGE(IDC_DIAG_IMEI, &CDlgFunction::OnImeiChange)
    ON_BN_CLICKED(IDC_DIAG_UNUSED, &CDlgFunction::OnUnusedButton)
END_MESSAGE_MAP()

CDlgFunction::CDlgFunction(CWnd* parent) : CDialog(IDD_DIAG_FUNCTION, parent)
{
    std::memset(&m_DeviceInfo, 0, sizeof m_DeviceInfo);
    std::memset(&m_LastDeviceInfo, 0, sizeof m_LastDeviceInfo);
    std::memset(&m_Scanner.m_DeviceInfo, 0, sizeof m_Scanner.m_DeviceInfo);
}

CDlgFunction::~CDlgFunction() = default;

CDialog* CreateDlgFunction() { return new CDlgFunction(); }

BOOL CDlgFunction::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_DIAG_GATEWAY, kDiagDefaultGateway);
    SetDlgItemText(IDC_DIAG_VID, kDiagDefaultVid);
    SetDlgItemText(IDC_DIAG_PID, kDiagDefaultPid);
    RefreshDeviceInfo();
    m_DeviceInfo = m_LastDeviceInfo;
    return TRUE;
}

int32_t CDlgFunction::RefreshDeviceInfo()
{
    std::memset(&m_LastDeviceInfo, 0, sizeof m_LastDeviceInfo);
    m_Scanner.GetDeviceInfo();
    m_LastDeviceInfo = m_Scanner.m_DeviceInfo;
    if (m_LastDeviceInfo.mode == DEVICE_PORT_MODE_UNKNOWN) {
        DebugTrace("Don't get anything of device");
        return 1;
    }
    return 0;
}

bool CDlgFunction::ReadEditText(int id, char (&out)[DIAG_DIALOG_TEXT_ROOM])
{
    std::memset(out, 0, sizeof out);
    CString text;
    GetDlgItemText(id, text);
    // a cut gateway, id or IMEI would address or write something else: refuse it
    char probe[DIAG_DIALOG_TEXT_ROOM + 4];
    int written = WideToAnsi(text, probe, sizeof probe);
    if (written > static_cast<int>(DIAG_DIALOG_TEXT_ROOM) - 1)
        return false;
    std::memcpy(out, probe, static_cast<size_t>(written));
    return true;
}

void CDlgFunction::RunDiagButton(int (*op)(), const wchar_t* success, const wchar_t* failure)
{
    bool ok = SelectDiagPort(m_DeviceInfo) == 0 && op() == 0;
    ShowResult(ok, success, failure);
}

void CDlgFunction::OnHttpSwitch()
{
    char gateway[DIAG_DIALOG_TEXT_ROOM];
    char reply[kHttpReplyRoom] = {};
    bool ok = ReadEditText(IDC_DIAG_GATEWAY, gateway) && Http_SetDeviceMode(gateway, nullptr, reply) == 0;
    ShowResult(ok, L"Switch by Http Success!", L"Switch by Http Fail!");
}

void CDlgFunction::OnScsiSwitch()
{
    char vid[DIAG_DIALOG_TEXT_ROOM];
    char pid[DIAG_DIALOG_TEXT_ROOM];
    bool ok = ReadEditText(IDC_DIAG_VID, vid) && ReadEditText(IDC_DIAG_PID, pid) && SCSI_SwitchDeviceMode(vid, pid) == 0;
    ShowResult(ok, L"Switch by SCSI Success!", L"Switch by SCSI Fail!");
}

void CDlgFunction::OnReadImei()
{
    if (SelectDiagPort(m_DeviceInfo) != 0)
        return;
    char imei[DIAG_DIALOG_TEXT_ROOM] = {};
    if (Diag_GetIMEI(imei) != 0)
        return;
    imei[sizeof imei - 1] = '\0';
    CString wide;
    AnsiToWideString(imei, wide);
    SetDlgItemText(IDC_DIAG_IMEI, wide);
}

void CDlgFunction::OnWriteImei()
{
    char imei[DIAG_DIALOG_TEXT_ROOM];
    bool ok = ReadEditText(IDC_DIAG_IMEI, imei) && SelectDiagPort(m_DeviceInfo) == 0 && Diag_WriteIMEI(imei) == 0;
    ShowResult(ok, L"WriteIMEI success!", L"WriteIMEI Fail!");
}

void CDlgFunction::OnImeiChange()
{
    CString text;
    GetDlgItemText(IDC_DIAG_IMEI, text);
    if (text.GetLength() > DIAG_IMEI_EDIT_MAX)
        SetDlgItemText(IDC_DIAG_IMEI, text.Left(DIAG_IMEI_EDIT_MAX));
}

void CDlgFunction::OnCloseAutoRun() { RunDiagButton(Diag_CloseAutoRun, L"CloseAutoRun success!", L"CloseAutoRun Fail!"); }

void CDlgFunction::OnOpenAutoRun() { RunDiagButton(Diag_OpenAutoRun, L"Open Autorun success!", L"Open Autorun Fail!"); }

void CDlgFunction::OnEnterDownload()
{
    RunDiagButton(Diag_EnterTarselDownloadMode, L"Enter Download success!", L"Enter Download  Fail!");
}

void CDlgFunction::OnExitDownload()
{
    RunDiagButton(Diag_ExitTarselDownloadMode, L"Exit Download success!", L"Exit Download  Fail!");
}

void CDlgFunction::OnOffline() { RunDiagButton(Diag_Offline, L"EnterOffline success!", L"EnterOffline Fail!"); }

void CDlgFunction::OnRestoreFactory()
{
    RunDiagButton(Diag_RestoreFactorySetting, L"RestoreFactorySetting success!", L"RestoreFactorySetting Fail!");
}

void CDlgFunction::OnQcDownload()
{
    RunDiagButton(Diag_SwitchToQCDownloadMode, L"Switch to QC Download success!", L"Switch to QC Download Fail!");
}

void CDlgFunction::OnGetVersion()
{
    if (SelectDiagPort(m_DeviceInfo) != 0)
        return;
    NineVersionRecord versions;
    std::memset(&versions, 0, sizeof versions);
    if (Diag_GetVersion(&versions) != 0)
        return;
    for (size_t i = 0; i < DIAG_VERSION_TEXT_COUNT; ++i)
        SetDlgItemText(kDiagVersionEdits[i], DiagVersionText(versions, i));
}

void CDlgFunction::OnUnusedButton() {}

CString DiagVersionText(const NineVersionRecord& versions, size_t index)
{
    char text[DIAG_VERSION_TEXT_SLOT + 1] = {};
    if (index < DIAG_VERSION_TEXT_COUNT)
        std::memcpy(text, versions.text[index], DIAG_VERSION_TEXT_SLOT);
    CString wide;
    AnsiToWideString(text, wide);
    return wide;
}
