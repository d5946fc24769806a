#pragma once
// The frame every tool dialog follows: one running copy per single-instance
// name, a key filter that never lets the keyboard close the tool, a watch
// thread that polls the device, and one worker at a time for the buttons.
//
// Watch thread: StartWatchThread(proc) with proc(dialog) calling
// RunWatchPasses (or its own loop over StopRequested / WatchPause, then
// WatchEnded). Button handler: StartWorker(proc, &member) stops and joins the
// watch thread first and refuses a second worker while one runs. Worker:
// its last step is EndWorker(), after its result prompt, which restarts the
// watch thread. The close box while a worker runs waits for the worker; when
// the modal loop ends the watch thread is stopped and joined.
#include <atomic>
#include <functional>
#include <mutex>

#include "app/language.h"
#include "platform/ui/afx.h"
#include "platform/win/named_mutex.h"

// The least pause between two watch passes: a pass that failed at once (a
// web server that refuses) would otherwise start the next one at once, a busy
// loop at the highest priority.
constexpr DWORD kWatchRetryPauseMs = 300;

// Single-instance names; classes that share a name exclude each other.
namespace single_instance {
constexpr const wchar_t* kMarlRestoreFactorySetting = L"TARSELVX530MARL,{7949BB5C-D572-48e4-802B-CBC8487F2A20}";
constexpr const wchar_t* kMarlSwitchModeTool = L"TARSELVX530MARL,{FD9851E5-63CE-47f9-A1CB-2B8EEB62B893}";
constexpr const wchar_t* kSwitchModeTool = kMarlSwitchModeTool;
constexpr const wchar_t* kMarlModemSettingAPNPage = L"TARSELVX530MARL,{9DCFEE18-2E19-4d5f-B705-7C4246CF3FBD}";
constexpr const wchar_t* kMarlModemSettingCommunicationModePage =
    L"TARSELVX530MARL,{6A40B408-DACC-4cc7-B3EA-EC71FDEAB614}";
constexpr const wchar_t* kMarlModemSetting = L"TARSELVX530MARL,{1D7D106D-3A96-43e2-AC19-135D4DFD6B5A}";
constexpr const wchar_t* kMarlModemSettingNew = L"TARSELVX530MARL,{EECE7FB1-F3FD-44bd-A6A1-A7EC52BDF18B}";
constexpr const wchar_t* kMarlWriteAPNInfo = L"TARSELVX530MARL,{B8290146-6133-406d-9535-FB639A12A543}";
constexpr const wchar_t* kMarlWimax = L"TARSELVX530MARL,{76259820-16CB-4100-B27D-AEC718EA1624}";
constexpr const wchar_t* kVX520ModemSetting = L"TARSELVX520,{1D7D106D-3A96-43e2-AC19-135D4DFD6B5A}";
constexpr const wchar_t* kVX520NetworkSettingPage = L"TARSELVX520,{9DCFEE18-2E19-4d5f-B705-7C4246CF3FBD}";
}  // namespace single_instance

// How a refused second start is shown.
enum class RefusalStyle {
    Prompt,      // ShowPromptInfo (text, caption)
    MessageBox,  // the window's message box with the information icon
};

// Returns only when no other live holder of the name exists; the handle is
// kept until the process ends. Otherwise shows the refusal over window, closes
// the handle and ends the process with exit code 0.
HANDLE CheckSingleInstance(CWnd* window, const wchar_t* mutexName, RefusalStyle style, const wchar_t* text,
                           const wchar_t* caption);

// Takes the name for the start-up before it releases files for the tool, and
// keeps the handle for the dialog's CheckSingleInstance, which then takes it
// over (or refuses, when the name was held elsewhere). True when this copy
// holds the name now.
bool HoldSingleInstanceName(const wchar_t* mutexName);

// The shared key filter: TRUE (swallowed) for Esc, Enter and Alt+F4.
BOOL IsToolKeySwallowed(const MSG* msg);

class CToolDialogFrame : public CDialog, public CLanguageOwner {
public:
    explicit CToolDialogFrame(UINT templateId, CWnd* parent = nullptr);
    ~CToolDialogFrame() override;

    // Runs the modal loop, then stops and joins the watch thread (and waits
    // for a worker that still runs).
    INT_PTR DoModal() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    // CLanguageOwner
    CString ReadOwnString(const wchar_t* key) const override;
    CWnd* LanguageWindow() override { return this; }

    // --- watch thread ---
    // Stop flag = 0, then proc(this) at the highest priority.
    BOOL StartWatchThread(AFX_THREADPROC proc);
    // Stop flag = 1 and waits until the watch thread has ended.
    void StopWatchThread();
    bool StopRequested() const { return m_nStopFlag.load() != 0; }
    // Sleeps ms of program time; false (at once) when the stop flag is raised.
    bool WatchPause(DWORD ms) const;
    // Passes until the stop flag is raised: each pass returns its pause in ms,
    // kWatchRetryPauseMs at the least.
    // Clears the watch thread member at its end.
    void RunWatchPasses(const std::function<DWORD()>& pass);
    // The last step of a watch procedure with a loop of its own.
    void WatchEnded();
    CWinThread* CurrentWatchThread() const { return m_pWatchThread.load(); }
    // Passes of RunWatchPasses ended so far, over every watch thread.
    unsigned WatchPassCount() const { return m_nWatchPasses.load(); }

    // --- workers ---
    // UI thread: refused (FALSE) while a worker runs; else stops and joins the
    // watch thread, starts proc(this) at normal priority, stores it in *member.
    BOOL StartWorker(AFX_THREADPROC proc, CWinThread** member);
    // Worker thread, last step (after its result prompt): stop flag = 0 and a
    // new watch thread.
    void EndWorker();
    bool WorkerRunning() const;

    std::atomic<int> m_nStopFlag{0};
    HANDLE m_hMutex = nullptr;

protected:
    // The watch procedure that StartWorker/EndWorker restart.
    AFX_THREADPROC m_pfnWatchProc = nullptr;
    // The language section of ReadOwnString (g_strLanguageFilePath).
    const wchar_t* m_pszLanguageSection = L"";

    afx_msg void OnClose();
    void WaitForWorker();

    DECLARE_MESSAGE_MAP()

private:
    std::atomic<CWinThread*> m_pWatchThread{nullptr};  // null when none runs
    std::atomic<unsigned> m_nWatchPasses{0};
    mutable std::mutex m_threadLock;
    CWinThread* m_pLastWatchThread = nullptr;  // kept for joining
    CWinThread* m_pWorkerThread = nullptr;
    std::atomic<bool> m_bWorkerBusy{false};
};
