#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ui/model.h"

struct CWinThread::State {
    std::mutex mu;
    std::condition_variable cv;
    bool resumed = false;
    bool ended = false;
    UINT exitCode = 0;
    int priority = THREAD_PRIORITY_NORMAL;
    std::thread thread;
    std::mutex joinMu;  // one joiner at a time
};

namespace {
// Every thread object lives until the process ends, so that a stored pointer
// can be joined at any time. Join waits until the system thread is gone, its
// thread-exit handlers included: a libcurl worker still freeing its TLS state
// while the process's exit frees the same state would free it twice.
struct Threads {
    std::mutex mu;
    std::vector<CWinThread*> all;
    std::atomic<DWORD> nextId{1};
};
Threads& Reg()
{
    static Threads* t = new Threads;
    return *t;
}

// Waits for the system thread of an ended procedure, once; never the caller's own.
void JoinSystemThread(CWinThread::State& s)
{
    std::lock_guard<std::mutex> lock(s.joinMu);
    if (s.thread.joinable() && s.thread.get_id() != std::this_thread::get_id())
        s.thread.join();
}

// Threads that ended without anyone joining them (a search, an earlier worker)
// are joined when the next one starts, so that ended threads do not pile up.
void ReapEndedThreads()
{
    std::vector<std::shared_ptr<CWinThread::State>> ended;
    {
        std::lock_guard<std::mutex> lock(Reg().mu);
        for (CWinThread* t : Reg().all) {
            std::lock_guard<std::mutex> l(t->state_->mu);
            if (t->state_->ended)
                ended.push_back(t->state_);
        }
    }
    for (auto& s : ended)
        JoinSystemThread(*s);
}

}  // namespace

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT, DWORD createFlags, void*)
{
    if (!proc)
        return nullptr;
    ReapEndedThreads();
    auto* t = new CWinThread;
    t->state_ = std::make_shared<CWinThread::State>();
    t->state_->priority = priority;
    t->state_->resumed = !(createFlags & CREATE_SUSPENDED);
    t->m_nThreadID = Reg().nextId++;
    std::shared_ptr<CWinThread::State> s = t->state_;
    std::lock_guard<std::mutex> lock(Reg().mu);
    Reg().all.push_back(t);
    s->thread = std::thread([s, proc, param] {
        {
            std::unique_lock<std::mutex> l(s->mu);
            s->cv.wait(l, [&] { return s->resumed; });
        }
        UINT code = proc(param);
        {
            std::lock_guard<std::mutex> l(s->mu);
            s->ended = true;
            s->exitCode = code;
        }
        s->cv.notify_all();
    });
    return t;
}

DWORD CWinThread::ResumeThread()
{
    bool was;
    {
        std::lock_guard<std::mutex> lock(state_->mu);
        was = state_->resumed;
        state_->resumed = true;
    }
    state_->cv.notify_all();
    return was ? 0 : 1;
}

BOOL CWinThread::SetThreadPriority(int priority)
{
    std::lock_guard<std::mutex> lock(state_->mu);
    state_->priority = priority;
    return TRUE;
}

int CWinThread::GetThreadPriority() const
{
    std::lock_guard<std::mutex> lock(state_->mu);
    return state_->priority;
}

bool CWinThread::Join(DWORD timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        // a thread joining may be asked by the one it waits for (SendMessage)
        ui::HandleSentMessages();
        std::unique_lock<std::mutex> lock(state_->mu);
        if (state_->ended) {
            lock.unlock();
            JoinSystemThread(*state_);
            return true;
        }
        auto now = std::chrono::steady_clock::now();
        if (timeoutMs != INFINITE && now >= deadline)
            return false;
        auto step = std::chrono::milliseconds(10);
        if (timeoutMs != INFINITE)
            step = std::min(step, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                                      std::chrono::milliseconds(1));
        lock.unlock();
        if (ui::CurrentBackend().PumpWhileBlocked(static_cast<DWORD>(step.count())))
            continue;
        lock.lock();
        state_->cv.wait_for(lock, step, [&] { return state_->ended; });
    }
}

bool CWinThread::HasEnded() const
{
    std::lock_guard<std::mutex> lock(state_->mu);
    return state_->ended;
}

UINT CWinThread::ExitCode() const
{
    std::lock_guard<std::mutex> lock(state_->mu);
    return state_->exitCode;
}
