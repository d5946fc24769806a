#include "platform/ui/afx_app.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
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
int g_terminatePipe[2] = {-1, -1};
// set once the process has begun to end, by AfxExitProcess or by a return from main
std::atomic<bool> g_processEnding{false};

void OnTerminateSignal(int)
{
    char byte = 1;
    ssize_t ignored = write(g_terminatePipe[1], &byte, 1);
    (void)ignored;
}

// SIGTERM and SIGINT close the main window as its close box would, so the
// program still cleans up; a tool that does not end soon is ended anyway.
void CloseOnTerminateSignals()
{
    if (pipe2(g_terminatePipe, O_CLOEXEC) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnTerminateSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::thread([] {
        char byte;
        while (read(g_terminatePipe[0], &byte, 1) != 1)
            if (errno != EINTR)
                return;
        using namespace std::chrono;
        for (auto end = steady_clock::now() + seconds(5); steady_clock::now() < end;) {
            // the main window's handle as its thread published it: this thread
            // never reads the application's or the window's members
            if (HWND main = ui::PublishedMainWindow()) {
                ::PostMessage(main, WM_SYSCOMMAND, SC_CLOSE, 0);
                std::this_thread::sleep_for(seconds(5));
                break;
            }
            std::this_thread::sleep_for(milliseconds(50));
        }
        AfxExitProcess(0);
    }).detach();
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
// a real window, unless SETWELL_UI=headless; false when no display can be
// opened (a tool nobody can see would hold its single-instance name)
bool ChooseBackend()
{
    const char* mode = std::getenv("SETWELL_UI");
    if (mode && std::strcmp(mode, "headless") == 0)
        return true;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return false;
    auto fltk = MakeFltkBackend();
    if (!fltk)
        return false;
    SetBackend(std::move(fltk));
    return true;
}
}  // namespace ui

int AfxWinMain()
{
    if (!g_app)
        return 1;
    // before the working folder and the single-instance name exist
    if (!ui::ChooseBackend()) {
        std::fputs("cannot open display\n", stderr);
        return 1;
    }
    std::atexit([] { g_processEnding.store(true); });
    CloseOnTerminateSignals();
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
    // One thread ends the process. Another that asks meanwhile (the signal
    // thread's fallback while the leak check of a slow exit still runs) waits
    // for it: exit handlers run twice would free twice.
    if (g_processEnding.exchange(true))
        for (;;)
            pause();
    ui::SetExiting();
    std::fflush(nullptr);
    std::exit(code);
}
