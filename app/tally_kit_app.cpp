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

CTALLY_KITApp::CTALLY_KITApp() { AfxSetForcedEndCleanup(&RemoveAllOwnFolders); }

CTALLY_KITApp::~CTALLY_KITApp() { RemoveOwnFolders({m_strWorkFolder, m_strToolFolder}); }

void CTALLY_KITApp::SetExitCode(int code)
{
    m_nExitCode = code;
    AfxSetExitStatus(code);
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
        SetExitCode(1);
        ShowStartupMessage(L"No private working folder could be made in " +
                           (base.empty() ? GetTempFolderPath() + PrivateBaseFolderName() : base) + L".");
        return FALSE;
    }
    if (!ReleaseToolConfig(L"Adatper_cfg.ini"))
        return FALSE;
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
    // The name is held from here until the dialog owns it: a copy without it
    // never names, makes or removes the running copy's folder; its dialog
    // shows the refusal.
    if (!HoldSingleInstanceName(mutexName))
        return TRUE;
    if (!(this->*createFolder)()) {
        std::wstring base = GetPrivateBaseFolder();
        SetExitCode(1);
        ShowStartupMessage(L"The tool folder cannot be made in " + (base.empty() ? GetTempFolderPath() : base) +
                           L" (it is missing, or it is not a private folder of this user).");
        return FALSE;
    }
    std::wstring failure;
    if (!(this->*release)(&failure)) {
        SetExitCode(1);
        ShowStartupMessage(failure);
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
