#include "app/tool_dialog_frame.h"

#include "app/app_paths.h"
#include "app/prompt_dialogs.h"
#include "platform/win/clock.h"

#include <map>
#include <string>

namespace {

struct HeldName {
    HANDLE handle = nullptr;
    bool refused = false;
};

// Names the start-up holds until a dialog takes them over; what no dialog
// took is let go when the process ends.
struct HeldNames {
    std::mutex lock;
    std::map<std::wstring, HeldName> names;
    ~HeldNames()
    {
        for (auto& [name, held] : names)
            if (held.handle)
                CloseHandle(held.handle);
    }
};
HeldNames g_held;

// The start-up's answer for the name, taken over once; false when it never asked.
bool TakeHeldName(const wchar_t* name, HeldName* held)
{
    std::lock_guard<std::mutex> hold(g_held.lock);
    auto it = g_held.names.find(name ? name : L"");
    if (it == g_held.names.end())
        return false;
    *held = it->second;
    g_held.names.erase(it);
    return true;
}

}  // namespace

bool HoldSingleInstanceName(const wchar_t* mutexName)
{
    std::lock_guard<std::mutex> hold(g_held.lock);
    HeldName& slot = g_held.names[mutexName ? mutexName : L""];
    if (slot.handle)
        return true;  // held already by an earlier start-up step of this process
    slot.handle = CreateMutexW(nullptr, FALSE, mutexName);
    slot.refused = GetLastError() == ERROR_ALREADY_EXISTS;
    if (slot.refused && slot.handle) {
        CloseHandle(slot.handle);
        slot.handle = nullptr;
    }
    return !slot.refused;
}

HANDLE CheckSingleInstance(CWnd* window, const wchar_t* mutexName, RefusalStyle style, const wchar_t* text,
                           const wchar_t* caption)
{
    // a name the start-up asked for stays as it found it: a copy that released
    // no files must not run on them because the other copy has ended meanwhile
    HeldName held;
    if (!TakeHeldName(mutexName, &held)) {
        held.handle = CreateMutexW(nullptr, FALSE, mutexName);
        held.refused = GetLastError() == ERROR_ALREADY_EXISTS;
    }
    HANDLE mutex = held.handle;
    if (!held.refused)
        return mutex;
    if (style == RefusalStyle::Prompt || !window) {
        // over the dialog being initialised, which is not the main window yet
        CPromptInfoDialog prompt(window ? window : AfxGetMainWnd());
        prompt.m_strMessage = text ? text : L"";
        prompt.m_strCaption = caption ? caption : L"";
        prompt.DoModal();
    } else
        window->MessageBox(text, caption, MB_ICONINFORMATION | MB_OK);
    CloseHandle(mutex);
    AfxExitProcess(0);
}

BOOL IsToolKeySwallowed(const MSG* msg)
{
    if (msg->message == WM_SYSKEYDOWN && msg->wParam == VK_F4 && (GetKeyState(VK_MENU) & 0x8000))
        return TRUE;
    return msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN);
}

CToolDialogFrame::CToolDialogFrame(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}

CToolDialogFrame::~CToolDialogFrame()
{
    // the running tool's dialog lives until the process ends; others let the name go
    if (m_hMutex)
        CloseHandle(m_hMutex);
}

BEGIN_MESSAGE_MAP(CToolDialogFrame, CDialog)
    ON_WM_CLOSE()
END_MESSAGE_MAP()

CString CToolDialogFrame::ReadOwnString(const wchar_t* key) const
{
    return ReadLanguageString(m_pszLanguageSection, key, g_strLanguageFilePath);
}

BOOL CToolDialogFrame::PreTranslateMessage(MSG* msg)
{
    if (IsToolKeySwallowed(msg))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

INT_PTR CToolDialogFrame::DoModal()
{
    INT_PTR result = CDialog::DoModal();
    // the worker may still be on its result prompt when the loop ends otherwise
    WaitForWorker();
    StopWatchThread();
    return result;
}

BOOL CToolDialogFrame::StartWatchThread(AFX_THREADPROC proc)
{
    std::lock_guard<std::mutex> hold(m_threadLock);
    m_pfnWatchProc = proc;
    m_nStopFlag = 0;
    CWinThread* thread = AfxBeginThread(proc, this, THREAD_PRIORITY_HIGHEST);
    m_pLastWatchThread = thread;
    m_pWatchThread = thread;
    return thread != nullptr;
}

void CToolDialogFrame::StopWatchThread()
{
    m_nStopFlag = 1;
    CWinThread* thread;
    {
        std::lock_guard<std::mutex> hold(m_threadLock);
        thread = m_pLastWatchThread;
    }
    if (thread)
        thread->Join();
}

bool CToolDialogFrame::WatchPause(DWORD ms) const
{
    // short slices, so that a button press does not wait out the whole pause
    constexpr DWORD kSlice = 50;
    for (DWORD slept = 0; slept < ms; slept += kSlice) {
        if (StopRequested())
            return false;
        Sleep(ms - slept < kSlice ? ms - slept : kSlice);
    }
    return !StopRequested();
}

void CToolDialogFrame::RunWatchPasses(const std::function<DWORD()>& pass)
{
    while (!StopRequested()) {
        DWORD pause = pass();
        ++m_nWatchPasses;
        if (pause < kWatchRetryPauseMs)
            pause = kWatchRetryPauseMs;
        if (!WatchPause(pause))
            break;
    }
    WatchEnded();
}

void CToolDialogFrame::WatchEnded() { m_pWatchThread = nullptr; }

bool CToolDialogFrame::WorkerRunning() const
{
    std::lock_guard<std::mutex> hold(m_threadLock);
    // a worker that returned without its end step no longer counts
    return m_bWorkerBusy && m_pWorkerThread && !m_pWorkerThread->HasEnded();
}

BOOL CToolDialogFrame::StartWorker(AFX_THREADPROC proc, CWinThread** member)
{
    if (WorkerRunning())
        return FALSE;
    StopWatchThread();
    std::lock_guard<std::mutex> hold(m_threadLock);
    m_bWorkerBusy = true;
    CWinThread* thread = AfxBeginThread(proc, this, THREAD_PRIORITY_NORMAL);
    if (member)
        *member = thread;
    m_pWorkerThread = thread;
    if (thread)
        return TRUE;
    // no worker: keep the buttons following the device
    m_bWorkerBusy = false;
    m_nStopFlag = 0;
    if (m_pfnWatchProc) {
        CWinThread* watch = AfxBeginThread(m_pfnWatchProc, this, THREAD_PRIORITY_HIGHEST);
        m_pLastWatchThread = watch;
        m_pWatchThread = watch;
    }
    return FALSE;
}

void CToolDialogFrame::EndWorker()
{
    if (m_pfnWatchProc)
        StartWatchThread(m_pfnWatchProc);
    m_bWorkerBusy = false;
}

void CToolDialogFrame::WaitForWorker()
{
    CWinThread* worker;
    {
        std::lock_guard<std::mutex> hold(m_threadLock);
        worker = m_pWorkerThread;
    }
    if (worker)
        worker->Join();
}

void CToolDialogFrame::OnClose()
{
    // the worker still changes the dialog's controls; let it finish first
    WaitForWorker();
    CDialog::OnClose();
}
