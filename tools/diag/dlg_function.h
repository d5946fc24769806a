#pragma once
// The diagnostic functions dialog: single device functions (mode switch by
// HTTP or through the CD drive, IMEI, autorun, download modes, offline,
// factory reset, versions). Each button works synchronously on the UI thread
// and reports in fixed English texts.
#include "device/port_scanner.h"
#include "platform/ui/afx.h"

constexpr UINT IDD_DIAG_FUNCTION = 129;
constexpr int IDC_DIAG_HTTP_SWITCH = 1100;
constexpr int IDC_DIAG_GATEWAY = 1101;
constexpr int IDC_DIAG_SCSI_SWITCH = 1102;
constexpr int IDC_DIAG_VID = 1103;
constexpr int IDC_DIAG_PID = 1104;
constexpr int IDC_DIAG_IMEI = 1105;
constexpr int IDC_DIAG_READ_IMEI = 1106;
constexpr int IDC_DIAG_WRITE_IMEI = 1107;
constexpr int IDC_DIAG_CLOSE_AUTORUN = 1108;
constexpr int IDC_DIAG_GET_VERSION = 1110;
constexpr int IDC_DIAG_INTEGRATE_VERSION = 1111;
constexpr int IDC_DIAG_OPEN_AUTORUN = 1112;
constexpr int IDC_DIAG_ENTER_DOWNLOAD = 1113;
constexpr int IDC_DIAG_EXIT_DOWNLOAD = 1114;
constexpr int IDC_DIAG_OFFLINE = 1115;
constexpr int IDC_DIAG_RESTORE_FACTORY = 1116;
constexpr int IDC_DIAG_QC_DOWNLOAD = 1117;
constexpr int IDC_DIAG_UNUSED = 1118;
constexpr int IDC_DIAG_BD_OUT_VERSION = 1120;
constexpr int IDC_DIAG_BD_INNER_VERSION = 1122;
constexpr int IDC_DIAG_PC_OUT_VERSION = 1123;
constexpr int IDC_DIAG_PC_INNER_VERSION = 1124;
constexpr int IDC_DIAG_MAC_OUT_VERSION = 1125;
constexpr int IDC_DIAG_LINUX_OUT_VERSION = 1126;
constexpr int IDC_DIAG_LINUX_INNER_VERSION = 1127;
constexpr int IDC_DIAG_MAC_OUT_VERSION2 = 1128;

// Version edits in the order of the version record's texts.
extern const int kDiagVersionEdits[9];

// Room of the narrow texts handed to the device layer (terminator included).
constexpr size_t DIAG_DIALOG_TEXT_ROOM = 512;
constexpr int DIAG_IMEI_EDIT_MAX = 15;

constexpr const wchar_t* kDiagDefaultGateway = L"192.168.0.1";
constexpr const wchar_t* kDiagDefaultVid = L"2c7e";
constexpr const wchar_t* kDiagDefaultPid = L"1403";

class CDlgFunction : public CDialog {
public:
    explicit CDlgFunction(CWnd* parent = nullptr);
    ~CDlgFunction() override;

    BOOL OnInitDialog() override;
    // 0 when the scan found something, 1 when not.
    int32_t RefreshDeviceInfo();

    DeviceInfo m_DeviceInfo;      // in use by every DIAG button
    DeviceInfo m_LastDeviceInfo;  // of the last scan
    CDevicePortScanner m_Scanner;

protected:
    afx_msg void OnHttpSwitch();
    afx_msg void OnScsiSwitch();
    afx_msg void OnReadImei();
    afx_msg void OnCloseAutoRun();
    afx_msg void OnOffline();
    afx_msg void OnRestoreFactory();
    afx_msg void OnEnterDownload();
    afx_msg void OnExitDownload();
    afx_msg void OnOpenAutoRun();
    afx_msg void OnQcDownload();
    afx_msg void OnGetVersion();
    afx_msg void OnWriteImei();
    afx_msg void OnImeiChange();
    afx_msg void OnUnusedButton();

    DECLARE_MESSAGE_MAP()

private:
    // The edit's text in the system code page; false when it does not fit.
    bool ReadEditText(int id, char (&out)[DIAG_DIALOG_TEXT_ROOM]);
    // Port step, then op; the message of the outcome (a failed port step too).
    void RunDiagButton(int (*op)(), const wchar_t* success, const wchar_t* failure);
};

struct NineVersionRecord;
// Wide form of one version text; a full slot carries no terminator.
CString DiagVersionText(const NineVersionRecord& versions, size_t index);

// Factory of the dispatcher (tool type 0 and every type without a tool).
CDialog* CreateDlgFunction();
