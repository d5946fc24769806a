#include "app/tally_kit_app.h"

#include "app/app_paths.h"
#include "app/tool_dialog_frame.h"
#include "app/released_files.h"
#include "app/work_folder.h"
#include "device/ini_reader.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/win/named_mutex.h"
#include "platform/win/own_program_file.h"
#include "platform/win/temp_folder.h"

namespace {

constexpr int32_t kDiagnosticFunctionsTool = 0;

// nullptr only for a table without the diagnostic functions
const ToolDialogRow* FindToolDialogRow(std::span<const ToolDialogRow> toolDialogs, int32_t toolType)
{
    for (const ToolDialogRow& row : toolDialogs)
        if (row.toolType == toolType)
            return &row;
    return toolType == kDiagnosticFunctionsTool ? nullptr
                                                : FindToolDialogRow(toolDialogs, kDiagnosticFunctionsTool);
}

} // namespace

int32_t DispatchedToolType(std::span<const ToolDialogRow> toolDialogs, int32_t toolType)
{
    const ToolDialogRow* row = FindToolDialogRow(toolDialogs, toolType);
    return row ? row->toolType : kDiagnosticFunctionsTool;
}

// the forced end skips the exit handlers: the port library's exclusive flags
// would stay on the modem's ttys
static void ForcedEndCleanup()
{
    KestleReleasePorts();
    RemoveAllOwnFolders();
}

CTALLY_KITApp::CTALLY_KITApp() { AfxSetForcedEndCleanup(&ForcedEndCleanup); }

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

BOOL CTALLY_KITApp::CreateWorkFolder()
{
    std::wstring folder = MakeOwnWorkFolder();
    if (folder.empty())
        return FALSE;
    m_strWorkFolder = folder;
    return TRUE;
}

BOOL CTALLY_KITApp::CreateToolFolder(const wchar_t* name)
{
    std::wstring folder = MakeOwnToolFolder(name);
    if (folder.empty())
        return FALSE;
    m_strToolFolder = folder;
    return TRUE;
}

BOOL CTALLY_KITApp::CreateKittingToolFolder() { return CreateToolFolder(L"VX530KittingTool"); }

BOOL CTALLY_KITApp::CreateWimaxToolFolder() { return CreateToolFolder(L"VX530WimaxTool"); }

BOOL CTALLY_KITApp::ReleaseToolConfig(const wchar_t* fileName)
{
    const std::wstring name = fileName ? fileName : L"";
    if (WriteToolConfig(m_strWorkFolder, name))
        return TRUE;
    SetExitCode(1);
    ShowStartupMessage(L"Read " + name + L" fail!");
    return FALSE;
}

BOOL CTALLY_KITApp::ReleaseFilesFromExeFile(std::wstring* failure)
{
    return ReleaseAppendedFiles(GetOwnProgramFile(), m_strToolFolder, kKittingToolFiles, failure);
}

BOOL CTALLY_KITApp::ReleaseWimaxFilesFromExeFile(std::wstring* failure)
{
    return ReleaseAppendedFiles(GetOwnProgramFile(), m_strToolFolder, kWimaxToolFiles, failure);
}

void CTALLY_KITApp::UseToolDialogs(std::span<const ToolDialogRow> toolDialogs) { m_toolDialogs = toolDialogs; }

void CTALLY_KITApp::CreateToolDialog(CDialog** dialog)
{
    m_nToolType = ReadIniInt("TOOLS_INFO", "TOOLS_TYPE", 0, g_strCfgFilePath.c_str());
    const ToolDialogRow* row = FindToolDialogRow(m_toolDialogs, m_nToolType);
    CDialog* built = nullptr;
    if (row && (!row->prepare || row->prepare(*this)))
        built = row->create ? row->create() : nullptr;
    if (dialog)
        *dialog = built;
}
