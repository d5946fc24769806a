// Wide text, threads, message boxes of the application and process exit.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/ui/afx_app.h"
#include "platform/ui/test_driver.h"
#include "tests/unit/ui/sample_dialog.h"

using namespace ui::test;

namespace {

TEST(CStringTest, FormatTakesWideStringsAsWindowsDoes)
{
    struct Case {
        std::wstring got, want;
    };
    CString a, b, c, d;
    a.Format(L"%d%s", 3, L"回");
    b.Format(L"%s=%hs;%c", L"APN", "internet", L'x');
    c.Format(L"%5.1f|%-3d|%%|%S", 2.25, 7, "n");
    d.Format(L"%s", static_cast<const wchar_t*>(CString(L"日本語")));
    const Case cases[] = {{a.str(), L"3回"}, {b.str(), L"APN=internet;x"}, {c.str(), L"  2.2|7  |%|n"}, {d.str(), L"日本語"}};
    for (const Case& k : cases)
        EXPECT_EQ(k.got, k.want);
    CString big;
    big.Format(L"%s", std::wstring(5000, L'a').c_str());
    EXPECT_EQ(big.GetLength(), 5000);
}

TEST(CStringTest, PiecesAndSearch)
{
    CString s(L"4402093,\"31\"");
    EXPECT_EQ(s.Left(7), L"4402093");
    EXPECT_EQ(s.Mid(8), L"\"31\"");
    EXPECT_EQ(s.Mid(9, 2), L"31");
    EXPECT_EQ(s.Mid(50), L"");
    EXPECT_EQ(s.Right(3), L"31\"");
    EXPECT_EQ(s.Find(L','), 7);
    EXPECT_EQ(s.Find(L"31"), 9);
    EXPECT_EQ(s.Find(L'x'), -1);
    EXPECT_EQ(s.Find(L'4', 100), -1);
    CString t(L"SIM Not Inserted");
    EXPECT_NE(t.MakeLower().Find(L"not insert"), -1);
    EXPECT_EQ(CString("日本").GetLength(), 2);
    EXPECT_EQ(CString(L"日本").ToUtf8(), "日本");
    EXPECT_TRUE(CString(L"a") < CString(L"b"));
    EXPECT_EQ(CString(L"ab") + L"c" + CString(L"d"), L"abcd");
}

struct ThreadArgs {
    std::atomic<int> ran{0};
    std::atomic<bool> go{false};
};

UINT Work(LPVOID p)
{
    auto* a = static_cast<ThreadArgs*>(p);
    while (!a->go)
        std::this_thread::yield();
    ++a->ran;
    return 7;
}

TEST(ThreadTest, BeginJoinSuspendAndPriority)
{
    ThreadArgs args;
    CWinThread* t = AfxBeginThread(Work, &args, THREAD_PRIORITY_HIGHEST);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetThreadPriority(), THREAD_PRIORITY_HIGHEST);
    EXPECT_FALSE(t->Join(20));
    args.go = true;
    EXPECT_TRUE(t->Join());
    EXPECT_TRUE(t->HasEnded());
    EXPECT_EQ(t->ExitCode(), 7u);
    EXPECT_TRUE(t->Join());   // again: the object stays valid

    ThreadArgs later;
    later.go = true;
    CWinThread* s = AfxBeginThread(Work, &later, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    EXPECT_FALSE(s->Join(20));
    EXPECT_EQ(later.ran, 0);
    s->ResumeThread();
    EXPECT_TRUE(s->Join());
    EXPECT_EQ(later.ran, 1);
}

// What a thread's exit frees (a library's per-thread state) is freed before
// Join returns: the process may end right after, and its exit must not free
// the same state while the thread still does.
std::atomic<bool> g_exitHandlerDone{false};
struct SlowThreadExit {
    ~SlowThreadExit()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        g_exitHandlerDone = true;
    }
};

UINT WorkWithThreadState(LPVOID)
{
    thread_local SlowThreadExit state;
    (void)&state;
    return 0;
}

TEST(ThreadTest, JoinReturnsOnlyOnceTheThreadsExitHandlersHaveRun)
{
    for (bool suspended : {false, true}) {
        g_exitHandlerDone = false;
        CWinThread* t = AfxBeginThread(WorkWithThreadState, nullptr, THREAD_PRIORITY_NORMAL, 0,
                                       suspended ? CREATE_SUSPENDED : 0);
        ASSERT_NE(t, nullptr);
        if (suspended)
            t->ResumeThread();
        EXPECT_TRUE(t->Join());
        EXPECT_TRUE(g_exitHandlerDone) << suspended;
        EXPECT_TRUE(t->Join());  // again, from the same or another thread
        std::thread other([t] { EXPECT_TRUE(t->Join()); });
        other.join();
    }
    // threads nobody joins are joined when a later one starts
    g_exitHandlerDone = false;
    CWinThread* unjoined = AfxBeginThread(WorkWithThreadState, nullptr);
    while (!unjoined->HasEnded())
        std::this_thread::yield();
    ThreadArgs args;
    args.go = true;
    CWinThread* next = AfxBeginThread(Work, &args);
    EXPECT_TRUE(g_exitHandlerDone);
    EXPECT_TRUE(next->Join());
}

// A worker that waits for the UI thread while the UI thread joins it: the
// join answers the worker's SendMessage instead of locking up.
TEST(ThreadTest, JoinOnTheUiThreadAnswersMessagesFromTheJoinedWorker)
{
    sample::CSampleDialog dlg;
    std::thread ui([&] { dlg.DoModal(); });
    HWND d = WaitForDialog(sample::kDialogId);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(::SendMessage(d, sample::kMsgJoinWorker, 0, 0), 21);
    EXPECT_EQ(dlg.log.Take(), (std::vector<std::string>{"ask:ui"}));
    PressCloseBox(d);
    ui.join();
}

TEST(MessageBoxTest, ApplicationMessageBoxUsesTheProgramCaption)
{
    std::thread worker([] { AfxMessageBox(L"Read Adatper_cfg.ini fail!"); });
    auto box = AnswerPopup();
    worker.join();
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->messageBox);
    EXPECT_EQ(box->caption, L"unit_ui");
    EXPECT_EQ(box->text, L"Read Adatper_cfg.ini fail!");
}

TEST(MessageBoxTest, EmptyTextsStillShowAnOkButton)
{
    std::thread worker([] { ::MessageBox(nullptr, L"", L"", MB_OK); });
    auto box = WaitForPopup();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, L"");
    EXPECT_TRUE(IsVisible(Control(box->hwnd, IDOK)));
    EXPECT_TRUE(PressEsc(box->hwnd));   // Esc answers OK
    worker.join();
}

// ---- exit from inside a dialog ------------------------------------------------
struct LoudApp : CWinApp {
    ~LoudApp() override { std::fprintf(stderr, "application object destroyed\n"); }
};

class RefusingDialog : public CDialog {
public:
    RefusingDialog() : CDialog(sample::kPlainId) {}
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        AfxExitProcess(0);
    }
};

TEST(ExitTest, ExitFromInitDialogRunsTheApplicationDestructor)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static LoudApp app;
            RefusingDialog dlg;
            dlg.DoModal();
            std::fprintf(stderr, "DoModal returned\n");
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "application object destroyed");
}

// ---- close signal --------------------------------------------------------------
// A tool that does not end within the grace period is ended without its exit
// handlers (they would run beside its UI thread), with the status it set and
// after the cleanup it registered.
class StubbornDialog : public CDialog {
public:
    StubbornDialog() : CDialog(sample::kPlainId) {}
    void OnCancel() override {}  // the close box does nothing
};

struct StubbornApp : CWinApp {
    BOOL InitInstance() override
    {
        StubbornDialog dialog;
        m_pMainWnd = &dialog;
        dialog.DoModal();
        std::fprintf(stderr, "the dialog ended\n");
        return FALSE;
    }
    ~StubbornApp() override { std::fprintf(stderr, "application object destroyed\n"); }
};

TEST(ExitTest, CloseSignalEndsAToolThatStaysOpenWithItsStatusAndCleanup)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("SETWELL_UI", "headless", 1);
            static StubbornApp app;
            AfxSetExitStatus(5);
            AfxSetForcedEndCleanup([] { std::fprintf(stderr, "cleanup ran\n"); });
            std::thread([] {
                WaitForDialog(sample::kPlainId);
                raise(SIGTERM);
            }).detach();
            AfxWinMain();
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(5), "^cleanup ran\n$");
}

}  // namespace
