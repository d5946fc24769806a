#include "platform/ui/afx_app.h"

#include <cstdio>

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() { g_app = this; }
CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}
BOOL CWinApp::InitInstance() { return TRUE; }
void CWinApp::SetRegistryKey(const wchar_t*) {}

CWinApp* AfxGetApp() { return g_app; }

int AfxWinMain()
{
    if (!g_app)
        return 1;
    g_app->InitInstance();
    return 0;
}

int AfxMessageBox(const wchar_t* text)
{
    std::fprintf(stderr, "%ls\n", text ? text : L"");
    return 1;
}
