#include "app/tally_kit_app.h"
#include "tools/carriersetting/carrier_setting_dlg.h"
#include "tools/carrierswitch/marl_switch_mode_tool_dlg.h"
#include "tools/diag/dlg_function.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"
#include "tools/kitting/write_apn_info_dlg.h"
#include "tools/restore/restore_factory_setting_dlg.h"
#include "tools/vx520/vx520_dialog.h"
#include "tools/wimax/wimax_dlg.h"

#include "app/app_paths.h"
#include "app/tool_dialog_frame.h"
#include "app/released_files.h"
#include "app/work_folder.h"
#include "device/ini_reader.h"
#include "platform/win/named_mutex.h"
#include "platform/win/temp_folder.h"

namespace {

constexpr int32_t kDiagnosticFunctionsTool = 0;

// Types 5 and 7 release their files first.
BOOL PrepareKittingTool(CTALLY_KITApp& app)
{
    return app.PrepareToolFolder(single_instance::kMarlWriteAPNInfo, &CTALLY_KITApp::CreateKittingToolFolder,
                                 &CTALLY_KITApp::ReleaseFilesFromExeFile);
}

BOOL PrepareWimaxTool(CTALLY_KITApp& app)
{
    return app.PrepareToolFolder(single_instance::kMarlWimax, &CTALLY_KITApp::CreateWimaxToolFolder,
                                 &CTALLY_KITApp::ReleaseWimaxFilesFromExeFile);
}

// True while another live copy holds the tool's single-instance name.
bool AnotherCopyRuns(const wchar_t* mutexName)
{
    HANDLE probe = CreateMutexW(nullptr, FALSE, mutexName);
    bool held = probe && GetLastError() == ERROR_ALREADY_EXISTS;
    if (probe)
        CloseHandle(probe);
    return held;
}

// One row per tool type. prepare runs first and must succeed for the dialog to
// be built; create is the tool's dialog factory (nullptr until the tool exists).
struct ToolDialogRow {
    int32_t toolType;
    BOOL (*prepare)(CTALLY_KITApp& app);
    CDialog* (*create)();
};

const ToolDialogRow kToolDialogs[] = {
    {0, nullptr, CreateDlgFunction},
    {2, nullptr, CreateMarlRestoreFactorySettingDlg},
    {3, nullptr, CreateMarlSwitchModeToolDlg},
    {4, nullptr, CreateMarlModemSettingDlg},
    {5, PrepareKittingTool, CreateMarlWriteAPNInfoDlg},
    {6, nullptr, CreateMarlModemSettingDlgNew},
    {7, PrepareWimaxTool, CreateMarlWimaxDlg},
    {8, nullptr, CreateVX520ModemSettingDlg},
    {9, nullptr, CreateSwitchModeToolDlg},
};

const ToolDialogRow& FindToolDialogRow(int32_t toolType)
{
    for (const ToolDialogRow& row : kToolDialogs)
        if (row.toolType == toolType)
            return row;
    return FindToolDialogRow(kDiagnosticFunctionsTool);
}

} // namespace

int32_t DispatchedToolType(int32_t toolType) { return FindToolDialogRow(toolType).toolType; }

CTALLY_KITApp::CTALLY_KITApp() = default;

CTALLY_KITApp::~CTALLY_KITApp()
{
    if (!m_strWorkFolder.empty())
        DeleteFolderTree(m_strWorkFolder);
    if (!m_strToolFolder.empty())
        DeleteFolderTree(m_strToolFolder);
}

BOOL CTALLY_KITApp::InitInstance()
{
    // the common controls and control hosting are always ready in our framework
    CWinApp::InitInstance();
    SetRegistryKey(L"\u5e94\u7528\u7a0b\u5e8f\u5411\u5bfc\u751f\u6210\u7684\u672c\u5730\u5e94\u7528\u7a0b\u5e8f");

    // Without its own configuration the program would open the diagnostic
    // functions in place of the tool the user started: it stops instead.
    if (!CreateWorkFolder()) {
        std::wstring base = GetPrivateBaseFolder();
        ShowStartupMessage(L"No private working folder could be made in " +
                           (base.empty() ? GetTempFolderPath() + PrivateBaseFolderName() : base) + L".");
        m_nExitCode = 1;
        return FALSE;
    }
    if (!ReleaseToolConfig(L"Adatper_cfg.ini")) {
        m_nExitCode = 1;
        return FALSE;
    }
    g_strCfgFilePath = m_strWorkFolder + L"/Adatper_cfg.ini";
    g_strWorkFolder = m_strWorkFolder;

    CDialog* dialog = nullptr;
    CreateToolDialog(&dialog);
    if (dialog)
        RunMainDialog(*this, dialog);
    return FALSE; // the dialog object lives until the process ends
}

BOOL CTALLY_KITApp::PrepareToolFolder(const wchar_t* mutexName, BOOL (CTALLY_KITApp::*createFolder)(),
                                      BOOL (CTALLY_KITApp::*release)(std::wstring* failure))
{
    // the running copy's folder is in use: its dialog shows the refusal
    if (AnotherCopyRuns(mutexName))
        return TRUE;
    if (!(this->*createFolder)()) {
        std::wstring base = GetPrivateBaseFolder();
        ShowStartupMessage(L"The tool folder cannot be made in " + (base.empty() ? GetTempFolderPath() : base) +
                           L" (it is missing, or it is not a private folder of this user).");
        m_nExitCode = 1;
        return FALSE;
    }
    std::wstring failure;
    if (!(this->*release)(&failure)) {
        ShowStartupMessage(failure);
        m_nExitCode = 1;
        return FALSE;
    }
    return TRUE;
}

void CTALLY_KITApp::CreateToolDialog(CDialog** dialog)
{
    m_nToolType = ReadIniInt("TOOLS_INFO", "TOOLS_TYPE", 0, g_strCfgFilePath.c_str());
    const ToolDialogRow& row = FindToolDialogRow(m_nToolType);
    CDialog* built = nullptr;
    if (!row.prepare || row.prepare(*this))
        built = row.create ? row.create() : nullptr;
    if (dialog)
        *dialog = built;
}
