// The sample dialog in a real window (FLTK back end). Run by scripts/screenshots
// under Xvfb, which takes the picture; skipped in the headless test runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/test_driver.h"
#include "tests/unit/ui/sample_dialog.h"

namespace {

struct ShotApp : CWinApp {
    int heldMs = 0;
    BOOL InitInstance() override
    {
        sample::CSampleDialog dlg;
        m_pMainWnd = &dlg;
        // holds the window for the picture, then closes it as a user would
        std::thread closer([this] {
            HWND d = ui::test::WaitForDialog(sample::kDialogId);
            std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));
            if (d)
                ui::test::PressCloseBox(d);
        });
        dlg.DoModal();
        closer.join();
        m_pMainWnd = nullptr;
        return FALSE;
    }
};

bool HasDisplay()
{
    const char* mode = std::getenv("SETWELL_UI");
    const char* display = std::getenv("DISPLAY");
    return !(mode && std::strcmp(mode, "headless") == 0) && display && *display;
}

TEST(FrameworkWindow, SampleDialogInARealWindow)
{
    if (!HasDisplay())
        GTEST_SKIP() << "needs a display (scripts/screenshots)";
    const char* hold = std::getenv("SETWELL_UI_HOLD_MS");
    ShotApp app;
    app.heldMs = hold ? std::atoi(hold) : 3000;
    EXPECT_EQ(AfxWinMain(), 0);
}

// Keys typed into the real window, as the X server delivers them: Tab and
// Shift+Tab move the focus, Enter presses the focused button; a box a worker
// shows while the window's thread joins it still comes up and takes its key.
struct KeysApp : CWinApp {
    std::string mappedLog;
    std::vector<std::string> failures;
    INT_PTR result = -2;
    std::vector<std::string> events;

    // the X window of the index-th window mapped (0 the first)
    std::string WindowId(size_t index = 0)
    {
        std::string id;
        ui::test::WaitUntil([&] {
            std::ifstream log(mappedLog);
            std::string line;
            for (size_t i = 0; std::getline(log, line); ++i)
                if (i == index) {
                    id = line.substr(0, line.find(' '));
                    return true;
                }
            return false;
        });
        return id;
    }
    bool Logged(sample::CSampleDialog& dlg, const std::string& event)
    {
        return ui::test::WaitUntil([&] {
            auto seen = dlg.log.Take();
            return std::find(seen.begin(), seen.end(), event) != seen.end();
        });
    }
    void Expect(bool ok, const std::string& what)
    {
        if (!ok)
            failures.push_back(what);
    }
    BOOL InitInstance() override
    {
        sample::CSampleDialog dlg;
        m_pMainWnd = &dlg;
        std::thread typist([&] {
            HWND d = ui::test::WaitForDialog(sample::kDialogId);
            std::string xid = WindowId();
            // checked: false where the key closes the window before its release lands
            auto keyTo = [&](const std::string& window, const char* name, bool checked) {
                std::string command = "xdotool key --window " + window + " " + name + " 2>/dev/null";
                int status = std::system(command.c_str());
                Expect(!checked || status == 0, command);
            };
            auto key = [&](const char* name) { keyTo(xid, name, true); };
            auto focusBecomes = [&](int id) {
                return ui::test::WaitUntil([&] { return ui::test::FocusOf(d) == ui::test::Control(d, id); });
            };
            if (!d || xid.empty()) {
                failures.push_back("no mapped window");
            } else {
                Expect(focusBecomes(1004), "first focus on the name edit");
                key("Tab");
                Expect(focusBecomes(1005), "Tab to the read-only edit");
                key("shift+Tab");
                Expect(focusBecomes(1004), "Shift+Tab back to the name edit");
                key("shift+Tab");
                Expect(focusBecomes(IDCANCEL), "Shift+Tab wraps to Cancel");
                // Alt+F4 reaches the dialog's filter, which keeps the window
                dlg.swallowKeys = true;
                key("alt+F4");
                Expect(Logged(dlg, "pre:" + std::to_string(WM_SYSKEYDOWN) + ":0"), "Alt+F4 reaches PreTranslateMessage");
                Expect(::IsWindow(d), "a swallowed Alt+F4 leaves the window open");
                dlg.swallowKeys = false;
                // the window's thread joins a worker whose box waits for the user
                ::PostMessage(d, sample::kMsgJoinBoxWorker, 0, 0);
                std::string box = WindowId(1);
                Expect(!box.empty(), "the worker's box is mapped while the window's thread joins");
                if (!box.empty())
                    keyTo(box, "Return", false);
                Expect(Logged(dlg, "joined"), "the box's Enter ends the worker and the join");
                // while a worker's box is up, the window under it takes no key
                ::PostMessage(d, sample::kMsgBoxWorker, 0, 0);
                box = WindowId(2);
                Expect(!box.empty(), "the second box is mapped");
                key("Escape");
                if (!box.empty())
                    keyTo(box, "Return", false);
                Expect(Logged(dlg, "box answered"), "the box's Enter answers it");
                Expect(ui::test::WaitIdle(d) && ::IsWindow(d), "Esc under the box left the window open");
                key("Return");
                Expect(ui::test::WaitUntil([&] { return !::IsWindow(d); }), "Enter on Cancel closes");
            }
            if (::IsWindow(d))
                ui::test::PressCloseBox(d);
        });
        result = dlg.DoModal();
        typist.join();
        events = dlg.log.Take();
        m_pMainWnd = nullptr;
        return FALSE;
    }
};

TEST(FrameworkWindow, TabAndEnterFromTheKeyboard)
{
    if (!HasDisplay())
        GTEST_SKIP() << "needs a display (scripts/screenshots)";
    const char* log = std::getenv("SETWELL_UI_MAPPED_LOG");
    if (!log || !*log)
        GTEST_SKIP() << "needs SETWELL_UI_MAPPED_LOG (scripts/screenshots)";
    KeysApp app;
    app.mappedLog = log;
    EXPECT_EQ(AfxWinMain(), 0);
    EXPECT_TRUE(app.failures.empty()) << ::testing::PrintToString(app.failures);
    EXPECT_EQ(app.result, IDCANCEL);
    EXPECT_NE(std::find(app.events.begin(), app.events.end(), "OnCancel"), app.events.end());
}

}  // namespace
