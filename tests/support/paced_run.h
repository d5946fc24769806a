#pragma once
// A test that bounds how often something happens per program second needs
// program time to run slowly enough that the work itself cannot hide a missing
// pause: at a small SETWELL_TIME_SCALE one pass of real work already spans a
// pause's worth of program time. Such a test runs itself again in a child
// process at a larger factor.
#include <gtest/gtest.h>

#include <string>

#include "platform/win/clock.h"
#include "tests/support/child_process.h"

namespace tooltest {

// True when this process runs at scale or slower and should run the test body;
// otherwise runs the current test in a child at scale, expects it to pass, and
// returns false.
inline bool RunsAtTimeScale(double scale)
{
    if (TimeScale() >= scale)
        return true;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    pid_t child = childproc::SpawnSelf(name, {"SETWELL_TIME_SCALE=" + std::to_string(scale)});
    EXPECT_GT(child, 0);
    if (child > 0) {
        EXPECT_EQ(childproc::WaitExit(child, 300000), 0) << name << " at time scale " << scale;
    }
    return false;
}

}  // namespace tooltest
