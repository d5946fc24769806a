#include "app/tally_kit_app.h"

// The one application object; its own file so that tests can build their own.
CTALLY_KITApp theApp;

int RunToolProgram(std::span<const ToolDialogRow> toolDialogs)
{
    if (AfxGetApp() != &theApp)
        return 1;
    theApp.UseToolDialogs(toolDialogs);
    int code = AfxWinMain();
    return code != 0 ? code : theApp.m_nExitCode;
}
