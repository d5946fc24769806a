#include "app/tool_dialog_frame.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/prompt_dialogs.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "platform/win/code_page.h"
#include "tests/support/child_process.h"
#include "tests/support/settled_click.h"


namespace {

constexpr UINT kToolTemplate = 9501;
constexpr int kStart = 1001;    // starts the worker
constexpr int kDefault = 1002;  // the default push button: Enter would press it
constexpr const wchar_t* kTestMutex = L"TARSELVX530MARL,{00000000-0000-4000-8000-TOOLFRAMETEST}";

const ui::DialogTemplate kTool = {
    kToolTemplate, L"tool", 200, 100, L"MS Shell Dlg", 8, WS_POPUP | WS_CAPTION | WS_SYSMENU,
    {{kStart, ui::ControlKind::Button, L"Start", 7, 7, 60, 14, WS_VISIBLE | WS_TABSTOP},
     {kDefault, ui::ControlKind::Button, L"Default", 7, 30, 60, 14, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON}}};
UI_TEMPLATE_FILE(tool_frame_test, {&kTool}, {});

// What the threads did, in order.
class Journal {
public:
    void Add(const std::string& event)
    {
        std::lock_guard<std::mutex> hold(lock_);
        events_.push_back(event);
        changed_.notify_all();
    }
    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> hold(lock_);
        return events_;
    }
    size_t Count(const std::string& event) const
    {
        std::lock_guard<std::mutex> hold(lock_);
        return std::count(events_.begin(), events_.end(), event);
    }
    bool WaitFor(const std::string& event, size_t times = 1)
    {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, std::chrono::seconds(30), [&] {
            return static_cast<size_t>(std::count(events_.begin(), events_.end(), event)) >= times;
        });
    }
    // index of the first occurrence, -1 when none
    int IndexOf(const std::string& event) const
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = std::find(events_.begin(), events_.end(), event);
        return it == events_.end() ? -1 : static_cast<int>(it - events_.begin());
    }

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
};

// A tool on the frame: its watch pass pauses 1000 ms, its worker can be held.
class TestTool : public CToolDialogFrame {
public:
    explicit TestTool(Journal& journal, const wchar_t* mutexName = kTestMutex)
        : CToolDialogFrame(kToolTemplate), journal_(journal), mutexName_(mutexName)
    {
    }

    BOOL OnInitDialog() override
    {
        CToolDialogFrame::OnInitDialog();
        m_hMutex = CheckSingleInstance(this, mutexName_, RefusalStyle::Prompt, L"The program has been running.",
                                       L"Attention");
        StartWatchThread(&TestTool::Watch);
        return TRUE;
    }
    static UINT Watch(LPVOID param)
    {
        auto* self = static_cast<TestTool*>(param);
        self->journal_.Add("watch start");
        self->RunWatchPasses([self] {
            self->journal_.Add("pass");
            return DWORD{1000};
        });
        self->journal_.Add("watch end");
        return 0;
    }
    static UINT Work(LPVOID param)
    {
        auto* self = static_cast<TestTool*>(param);
        // before the journal line, which the test waits for
        self->watchEndedAtWorkerStart = self->CurrentWatchThread() == nullptr;
        self->journal_.Add("worker start");
        {
            std::unique_lock<std::mutex> hold(self->gateLock_);
            self->gateChanged_.wait(hold, [self] { return self->gateOpen_; });
        }
        ShowPromptInfo(L"done", L"Attention");
        self->journal_.Add("worker end");
        self->EndWorker();
        return 0;
    }
    void OnStart() { startAccepted.push_back(StartWorker(&TestTool::Work, &workerThread)); }
    void OnDefault() { journal_.Add("default pressed"); }
    void Open()
    {
        std::lock_guard<std::mutex> hold(gateLock_);
        gateOpen_ = true;
        gateChanged_.notify_all();
    }

    CWinThread* workerThread = nullptr;
    std::vector<BOOL> startAccepted;  // UI thread only
    std::atomic<bool> watchEndedAtWorkerStart{false};
    bool gateOpen_ = true;

    DECLARE_MESSAGE_MAP()

private:
    Journal& journal_;
    const wchar_t* mutexName_;
    std::mutex gateLock_;
    std::condition_variable gateChanged_;
};

BEGIN_MESSAGE_MAP(TestTool, CToolDialogFrame)
    ON_BN_CLICKED(kStart, &TestTool::OnStart)
    ON_BN_CLICKED(kDefault, &TestTool::OnDefault)
END_MESSAGE_MAP()

std::string TempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tool-frame-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

// Runs one tool dialog modally on its own UI thread.
class ToolFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        runtime_ = TempFolder();
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    }
    void Open(bool gateOpen = true)
    {
        tool_ = std::make_unique<TestTool>(journal_);
        tool_->gateOpen_ = gateOpen;
        modal_ = std::async(std::launch::async, [this] {
            tool_->DoModal();
            journal_.Add("modal returned");
        });
        hwnd_ = ui::test::WaitForDialog(kToolTemplate);
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_TRUE(journal_.WaitFor("pass"));
    }
    void Close()
    {
        if (!modal_.valid())
            return;
        ui::test::PressCloseBox(hwnd_);
        modal_.get();
    }
    void TearDown() override
    {
        Close();
        std::error_code ec;
        std::filesystem::remove_all(runtime_, ec);
    }
    Journal journal_;
    std::unique_ptr<TestTool> tool_;
    std::future<void> modal_;
    HWND hwnd_ = nullptr;
    std::string runtime_;
};

}  // namespace

TEST(ToolFrameNames, SharedNamesAndTheirForm)
{
    EXPECT_STREQ(single_instance::kSwitchModeTool, single_instance::kMarlSwitchModeTool);
    EXPECT_STREQ(single_instance::kVX520ModemSetting, L"TARSELVX520,{1D7D106D-3A96-43e2-AC19-135D4DFD6B5A}");
    // the same GUID under another maker word is another name
    EXPECT_STRNE(single_instance::kVX520ModemSetting, single_instance::kMarlModemSetting);
}

TEST_F(ToolFrame, KeysNeverCloseTheTool)
{
    Open();
    struct Case {
        const char* key;
        bool (*press)(HWND);
    } cases[] = {{"Esc", ui::test::PressEsc}, {"Enter", ui::test::PressEnter}, {"Alt+F4", ui::test::PressAltF4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ASSERT_TRUE(ui::test::SetFocusTo(ui::test::Control(hwnd_, kDefault)));
        c.press(hwnd_);
        ASSERT_TRUE(ui::test::WaitIdle(hwnd_));
        EXPECT_EQ(modal_.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    }
    EXPECT_EQ(journal_.Count("default pressed"), 0u);
    // a plain key still reaches the dialog's default handling
    MSG other = {};
    other.message = WM_KEYDOWN;
    other.wParam = VK_TAB;
    EXPECT_FALSE(IsToolKeySwallowed(&other));
}

TEST_F(ToolFrame, AButtonDuringTheWatchPauseStartsTheWorkerAfterTheWatchEnded)
{
    Open();
    // the pass has run; the watch thread is inside its 1000 ms pause now
    ASSERT_TRUE(ui::test::Click(ui::test::Control(hwnd_, kStart)));
    ASSERT_TRUE(journal_.WaitFor("worker start"));
    int watchEnd = journal_.IndexOf("watch end");
    ASSERT_GE(watchEnd, 0);
    EXPECT_LT(watchEnd, journal_.IndexOf("worker start"));
    EXPECT_TRUE(tool_->watchEndedAtWorkerStart.load());
    EXPECT_NE(tool_->workerThread, nullptr);

    // worker end: prompt, then a new watch thread
    auto popup = ui::test::WaitForPopup();
    ASSERT_TRUE(popup.has_value());
    EXPECT_EQ(popup->text, L"done");
    ui::test::ClosePopup(*popup);
    ASSERT_TRUE(journal_.WaitFor("watch start", 2));
    ASSERT_TRUE(journal_.WaitFor("pass", 2));
    auto events = journal_.Events();
    auto workerEnd = std::find(events.begin(), events.end(), "worker end");
    EXPECT_NE(std::find(workerEnd, events.end(), "watch start"), events.end()) << "restarted by the worker's end";
}

TEST_F(ToolFrame, ASecondPressWhileTheWorkerRunsIsRefused)
{
    Open(false);
    HWND start = ui::test::Control(hwnd_, kStart);
    ASSERT_TRUE(ui::test::Click(start));
    ASSERT_TRUE(journal_.WaitFor("worker start"));
    ASSERT_TRUE(ui::test::Click(start));
    ASSERT_TRUE(ui::test::WaitIdle(hwnd_));
    EXPECT_EQ(tool_->startAccepted, (std::vector<BOOL>{TRUE, FALSE}));
    EXPECT_EQ(journal_.Count("worker start"), 1u);
    EXPECT_EQ(journal_.Count("watch start"), 1u) << "no watch thread while the worker runs";
    tool_->Open();
    ui::test::AnswerPopup();
    ASSERT_TRUE(journal_.WaitFor("watch start", 2));
    // once the worker has ended (its end step starts the watch thread first),
    // the button works again
    ASSERT_TRUE(tooltest::ClickWhenSettled(tool_.get(), start));
    ASSERT_TRUE(journal_.WaitFor("worker start", 2));
    ui::test::AnswerPopup();
    ASSERT_TRUE(journal_.WaitFor("watch start", 3));
}

TEST_F(ToolFrame, TheCloseBoxWaitsForTheWorker)
{
    Open(false);
    ASSERT_TRUE(ui::test::Click(ui::test::Control(hwnd_, kStart)));
    ASSERT_TRUE(journal_.WaitFor("worker start"));
    auto closing = std::async(std::launch::async, [this] { ui::test::PressCloseBox(hwnd_); });
    Sleep(200);
    EXPECT_EQ(modal_.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    tool_->Open();
    ui::test::AnswerPopup();
    modal_.get();
    closing.get();
    EXPECT_LT(journal_.IndexOf("worker end"), journal_.IndexOf("modal returned"));
    // the modal loop's end stopped and joined the watch thread the worker restarted
    EXPECT_EQ(journal_.Count("watch start"), journal_.Count("watch end"));
    EXPECT_LT(journal_.IndexOf("watch end"), journal_.IndexOf("modal returned"));
}

TEST_F(ToolFrame, TheEndOfTheModalLoopJoinsTheWatchThread)
{
    Open();
    Close();
    EXPECT_EQ(journal_.Count("watch end"), 1u);
    EXPECT_LT(journal_.IndexOf("watch end"), journal_.IndexOf("modal returned"));
}

// ---- two processes ---------------------------------------------------------

// The second copy: run by the test below in a child process of this program.
TEST(ToolFrameSecondCopy, Run)
{
    const char* report = std::getenv("TOOL_FRAME_REPORT");
    if (!report)
        GTEST_SKIP() << "runs only as the second copy";
    std::thread answer([report] {
        auto popup = ui::test::WaitForPopup();
        std::ofstream out(report);
        if (popup)
            out << WideToUtf8(popup->caption) << "\n" << WideToUtf8(popup->text) << "\n";
        out.close();
        if (popup)
            ui::test::ClosePopup(*popup);
    });
    answer.detach();
    Journal journal;
    TestTool tool(journal);
    tool.DoModal();
    // reached only when the refusal did not end the process
    std::exit(3);
}

TEST_F(ToolFrame, ASecondCopyInAnotherProcessShowsItsRefusalAndExitsZero)
{
    Open();
    std::string report = runtime_ + "/second-copy.txt";
    pid_t child = childproc::SpawnSelf("ToolFrameSecondCopy.Run",
                                       {"TOOL_FRAME_REPORT=" + report, "SETWELL_UI=headless",
                                        "SETWELL_TIME_SCALE=0.01", "XDG_RUNTIME_DIR=" + runtime_});
    ASSERT_GT(child, 0);
    EXPECT_EQ(childproc::WaitExit(child), 0);

    std::ifstream in(report);
    std::string caption, text;
    std::getline(in, caption);
    std::getline(in, text);
    EXPECT_EQ(caption, "Attention");
    EXPECT_EQ(text, "The program has been running.");
    // the first copy runs on, untouched
    EXPECT_EQ(modal_.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    EXPECT_TRUE(ui::test::IsVisible(hwnd_));
    ASSERT_TRUE(ui::test::Click(ui::test::Control(hwnd_, kStart)));
    ui::test::AnswerPopup();
}
