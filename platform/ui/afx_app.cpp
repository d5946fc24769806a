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
std::atomic<int> g_exitStatus{0};
std::atomic<void (*)()> g_forcedEndCleanup{nullptr};

// Real time a close signal leaves the tool to end by itself.
constexpr auto kCloseGrace = std::chrono::seconds(5);

void OnTerminateSignal(int)
{
    char byte = 1;
    ssize_t ignored = write(g_terminatePipe[1], &byte, 1);
    (void)ignored;
}

// The tool did not end in time. Exit handlers beside a running UI thread would
// free what it still uses: only the program's folders go, then the process.
[[noreturn]] void EndWithoutExitHandlers()
{
    if (g_processEnding.exchange(true))
        for (;;)
            pause();  // the exit is on its way on another thread
    if (void (*cleanup)() = g_forcedEndCleanup.load())
        cleanup();
    std::fflush(nullptr);
    _exit(g_exitStatus.load());
}

// The close signals close the tool as its close box would: the innermost
// modal box first, then the one below it, down to the main window, so that the
// process ends on the UI thread with its own status. A tool that does not end
// within the grace period is ended anyway.
void CloseOnTerminateSignals()
{
    if (pipe2(g_terminatePipe, O_CLOEXEC) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = OnTerminateSignal;
    sigemptyset(&action.sa_mask);
    // SIGHUP and SIGQUIT too: a closed terminal or a logout must not skip the clean-up
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT})
        sigaction(sig, &action, nullptr);
    std::thread([] {
        char byte;
        while (read(g_terminatePipe[0], &byte, 1) != 1)
            if (errno != EINTR)
                return;
        using namespace std::chrono;
        HWND closed = nullptr;
        for (auto end = steady_clock::now() + kCloseGrace; steady_clock::now() < end;) {
            // the process ends on its own way now: nothing more to close
            if (g_processEnding.load())
                for (;;)
                    pause();
            // handles only: this thread never reads a window's or the application's members
            HWND innermost = ui::InnermostModalWindow();
            if (innermost && innermost != closed) {
                ::PostMessage(innermost, WM_SYSCOMMAND, SC_CLOSE, 0);
                closed = innermost;
            }
            std::this_thread::sleep_for(milliseconds(20));
        }
        EndWithoutExitHandlers();
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

void AfxSetExitStatus(int code) { g_exitStatus.store(code); }

void AfxSetForcedEndCleanup(void (*cleanup)()) { g_forcedEndCleanup.store(cleanup); }

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
