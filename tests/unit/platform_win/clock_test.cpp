#include "platform/win/clock.h"
#include "platform/win/debug_output.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(Clock, ScaleComesFromTheEnvironmentOfTheTests)
{
    EXPECT_DOUBLE_EQ(TimeScale(), 0.01);
    EXPECT_EQ(ScaledMs(1000), 10u);
    EXPECT_EQ(ScaledMs(1), 1u);
    EXPECT_EQ(ScaledMs(0), 0u);
}

TEST(Clock, TickCountRunsInProgramTime)
{
    const auto realStart = std::chrono::steady_clock::now();
    uint32_t start = GetTickCount();
    Sleep(1000);
    uint32_t elapsed = GetTickCount() - start;
    const double realMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - realStart).count();
    EXPECT_GE(elapsed, 1000u);
    // real time divided by the factor, however long the sleep really took
    EXPECT_LE(elapsed, realMs / TimeScale() + 1);
}

TEST(Clock, DeviceTimeoutsHaveAFactorOfTheirOwn)
{
    // the suite keeps device timeouts at full length
    EXPECT_DOUBLE_EQ(TimeoutScale(), 1.0);
    EXPECT_EQ(TimeoutScaledMs(5000), 5000u);
    SetTimeoutScale(0.01);
    EXPECT_EQ(TimeoutScaledMs(5000), 50u);
    EXPECT_EQ(TimeoutScaledMs(1), 1u);
    EXPECT_EQ(TimeoutScaledMs(0), 0u);
    EXPECT_EQ(ScaledMs(5000), 50u) << "waits keep their own factor";
    SetTimeoutScale(-3);  // anything not positive: back to the environment's
    EXPECT_DOUBLE_EQ(TimeoutScale(), 1.0);
    // a day of timeout does not wrap
    SetTimeoutScale(1000);
    EXPECT_EQ(TimeoutScaledMs(86400000u), 4294967295u);
    SetTimeoutScale(0);
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
