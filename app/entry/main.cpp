#include "app/tally_kit_app.h"
#include "platform/ui/afx_app.h"

int main()
{
    // theApp sits in the stack library: naming it here links it into the program
    if (AfxGetApp() != &theApp)
        return 1;
    int code = AfxWinMain();
    return code != 0 ? code : theApp.m_nExitCode;
}
