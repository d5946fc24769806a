#pragma once
// The application object: makes the working folder, writes out the embedded
// tool configuration and runs the one tool dialog of its type.
#include "platform/ui/afx_app.h"
#include "platform/win/win_types.h"

#include <cstdint>
#include <span>
#include <string>

#include "app/tool_registry.h"

class CDialog;

class CTALLY_KITApp : public CWinApp {
public:
    CTALLY_KITApp();
    // Deletes the working folder and the tool folder with all their contents
    // (a copy refused for another running copy never took the tool folder).
    ~CTALLY_KITApp() override;

    // Always FALSE: the dialog has run by then and the program ends. A start-up
    // that cannot go on says why and sets m_nExitCode.
    BOOL InitInstance() override;

    BOOL CreateWorkFolder();
    BOOL ReleaseToolConfig(const wchar_t* fileName);
    // The tool table, from the entry program: the application knows no tool.
    void UseToolDialogs(std::span<const ToolDialogRow> toolDialogs);
    // Reads TOOLS_TYPE into m_nToolType and builds its dialog from the tool
    // table (nullptr when none).
    void CreateToolDialog(CDialog** dialog);
    BOOL CreateKittingToolFolder();
    BOOL CreateWimaxToolFolder();

    // Types 5 and 7: the tool folder and its release, unless another copy of
    // the tool runs (its folder is left alone; the dialog then refuses to
    // start). A failure is shown with its entry and folder and sets
    // m_nExitCode; FALSE then.
    BOOL PrepareToolFolder(const wchar_t* mutexName, BOOL (CTALLY_KITApp::*createFolder)(),
                           BOOL (CTALLY_KITApp::*release)(std::wstring* failure));
    // Nonzero when every entry was written; else *failure (when given) says
    // which entry and which folder.
    BOOL ReleaseFilesFromExeFile(std::wstring* failure = nullptr);
    BOOL ReleaseWimaxFilesFromExeFile(std::wstring* failure = nullptr);

    std::wstring m_strWorkFolder;
    int32_t m_nToolType = 0;
    std::wstring m_strToolFolder;
    // what main returns: nonzero when the start-up could not open the tool
    int m_nExitCode = 0;
    // sets m_nExitCode before the failure is shown: a close signal during the
    // message ends with it too
    void SetExitCode(int code);

private:
    BOOL CreateToolFolder(const wchar_t* name);

    std::span<const ToolDialogRow> m_toolDialogs;
};

extern CTALLY_KITApp theApp;

// The entry of every tool program: runs theApp with the tool table; what
// main returns.
int RunToolProgram(std::span<const ToolDialogRow> toolDialogs);

// The tool type whose dialog the dispatcher builds for a TOOLS_TYPE value:
// unknown values get the diagnostic functions dialog (type 0).
int32_t DispatchedToolType(std::span<const ToolDialogRow> toolDialogs, int32_t toolType);

// Makes the dialog the application's main window and runs it modally.
void RunMainDialog(CWinApp& app, CDialog* dialog);
