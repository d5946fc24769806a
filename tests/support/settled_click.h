#pragma once
// Pressing a tool's button the way a user does after a run: once the buttons
// follow the device again.
#include "app/tool_dialog_frame.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"

namespace tooltest {

// Waits until no worker runs and a watch pass has ended since, with the button
// enabled (a run timed from then on starts with the press), then presses it. The worker enables its buttons just before the
// watch thread it restarts disables them for its first pass; a press landing
// in between is dropped, as a click on a disabled button is.
inline bool WaitUntilSettled(const CToolDialogFrame* frame, HWND button, DWORD timeoutMs = 60000)
{
    if (!ui::test::WaitUntil([&] { return !frame->WorkerRunning(); }, timeoutMs))
        return false;
    const unsigned passes = frame->WatchPassCount();
    return ui::test::WaitUntil([&] { return frame->WatchPassCount() > passes && ui::test::IsEnabled(button); },
                               timeoutMs);
}

inline bool ClickWhenSettled(const CToolDialogFrame* frame, HWND button, DWORD timeoutMs = 60000)
{
    return WaitUntilSettled(frame, button, timeoutMs) && ui::test::Click(button);
}

// The watch passes that end within about ms of program time; *elapsed is the
// program time the count covers.
inline unsigned WatchPassesOver(const CToolDialogFrame* frame, DWORD ms, DWORD* elapsed)
{
    const DWORD start = GetTickCount();
    const unsigned atStart = frame->WatchPassCount();
    while (GetTickCount() - start < ms)
        Sleep(100);
    const unsigned passes = frame->WatchPassCount() - atStart;
    *elapsed = GetTickCount() - start;
    return passes;
}

}  // namespace tooltest
