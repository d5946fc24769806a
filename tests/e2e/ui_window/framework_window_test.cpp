// The sample dialog in a real window (FLTK back end). Run by scripts/screenshots
// under Xvfb, which takes the picture; skipped in the headless test runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

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

TEST(FrameworkWindow, SampleDialogInARealWindow)
{
    const char* mode = std::getenv("SETWELL_UI");
    const char* display = std::getenv("DISPLAY");
    if ((mode && std::strcmp(mode, "headless") == 0) || !display || !*display)
        GTEST_SKIP() << "needs a display (scripts/screenshots)";
    const char* hold = std::getenv("SETWELL_UI_HOLD_MS");
    ShotApp app;
    app.heldMs = hold ? std::atoi(hold) : 3000;
    EXPECT_EQ(AfxWinMain(), 0);
}

}  // namespace
