#include "platform/win/clock.h"
#include "platform/win/debug_output.h"

#include <gtest/gtest.h>

TEST(Clock, ScaleComesFromTheEnvironmentOfTheTests)
{
    EXPECT_DOUBLE_EQ(TimeScale(), 0.01);
    EXPECT_EQ(ScaledMs(1000), 10u);
    EXPECT_EQ(ScaledMs(1), 1u);
    EXPECT_EQ(ScaledMs(0), 0u);
}

TEST(Clock, TickCountRunsInProgramTime)
{
    uint32_t start = GetTickCount();
    Sleep(1000);
    uint32_t elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 1000u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(DebugOutput, CaptureSeesNarrowAndWideTexts)
{
    DebugCapture capture;
    OutputDebugStringA("narrow line");
    OutputDebugStringW(L"wide \u65e5\u672c");
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "narrow line");
    EXPECT_EQ(lines[1], "wide \xe6\x97\xa5\xe6\x9c\xac");
}
