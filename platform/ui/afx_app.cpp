#include "platform/ui/afx_app.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "platform/ui/model.h"

namespace {
CWinApp* g_app = nullptr;

std::wstring ProgramName()
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0)
        return L"";
    path[n] = 0;
    const char* base = std::strrchr(path, '/');
    return ui::Utf8ToWide(base ? base + 1 : path);
}
}  // namespace

CWinApp::CWinApp() { g_app = this; }
CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}
BOOL CWinApp::InitInstance() { return TRUE; }
void CWinApp::SetRegistryKey(const wchar_t*) {}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

namespace ui {
// a real window when a display is there, unless SETWELL_UI=headless
void ChooseBackend()
{
    const char* mode = std::getenv("SETWELL_UI");
    if (mode && std::strcmp(mode, "headless") == 0)
        return;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return;
    if (auto fltk = MakeFltkBackend())
        SetBackend(std::move(fltk));
}
}  // namespace ui

int AfxWinMain()
{
    if (!g_app)
        return 1;
    ui::ChooseBackend();
    g_app->InitInstance();
    return 0;
}

int AfxMessageBox(const wchar_t* text) { return AfxMessageBox(text, MB_OK, 0); }

int AfxMessageBox(const wchar_t* text, UINT type, UINT)
{
    static const std::wstring* program = new std::wstring(ProgramName());
    const wchar_t* caption = g_app && g_app->m_pszAppName ? g_app->m_pszAppName : program->c_str();
    CWnd* main = AfxGetMainWnd();
    return ui::ShowMessageBox(main ? main->m_hWnd : nullptr, text, caption, type);
}

void AfxExitProcess(int code)
{
    ui::SetExiting();
    std::fflush(nullptr);
    std::exit(code);
}
