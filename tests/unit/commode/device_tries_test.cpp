// The four device routines every mode change uses, against the emulator: how
// many tries each makes and the pause after each refused one.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "device/port_manager.h"
#include "emulator/modem_emulator.h"
#include "platform/win/clock.h"
#include "tests/support/timeout_scale.h"
#include "tests/support/tool_test_env.h"
#include "tools/carriersetting/commode_page.h"

namespace {

class DeviceTriesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        place_.Make("commode-tries");
        emulator_ = place_.StartEmulator();
    }
    void TearDown() override
    {
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
    }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
};

struct Routine {
    const char* name;
    std::function<int(CMarlPortManager&)> call;
};

const Routine kRoutines[] = {
    {"band write", [](CMarlPortManager& p) { return WriteDeviceBand(p, kBandPlusAreaWimaxOn); }},
    {"flag read", [](CMarlPortManager& p) { DeviceFlagRecord f{}; return ReadDeviceFlagState(p, &f); }},
    {"flag write", [](CMarlPortManager& p) { DeviceFlagRecord f{1, 0, 1}; return WriteDeviceFlagState(p, &f); }},
    {"network state read", [](CMarlPortManager& p) { int s = 0; return ReadDeviceNetworkState(p, &s); }},
};

// refusals before the device answers -> tries sent, result, pauses in program ms
struct TriesCase {
    int refusals;
    size_t tries;
    bool ok;
    uint32_t pausedMs;
};

const TriesCase kTriesCases[] = {
    {0, 1, true, 0},
    {1, 2, true, 1000},
    {2, 3, true, 2000},
    {-1, DEVICE_MODE_TRIES, false, DEVICE_MODE_TRIES * 1000},  // the last refusal pauses too
};

TEST_F(DeviceTriesTest, EachRoutineTriesThreeTimesASecondApart)
{
    static_assert(DEVICE_MODE_TRIES == 3);
    for (const Routine& routine : kRoutines) {
        for (const TriesCase& c : kTriesCases) {
            SCOPED_TRACE(std::string(routine.name) + ", refusals " + std::to_string(c.refusals));
            CMarlPortManager ports;
            emulator_->ClearFaults();
            emulator_->ClearReceived();
            if (c.refusals != 0)
                emulator_->InjectAtFault("", {modemsim::FaultKind::Garbage, "\r\nERROR\r\n", 0, 500, c.refusals});
            const uint32_t start = GetTickCount();
            const int result = routine.call(ports);
            const uint32_t spent = GetTickCount() - start;
            EXPECT_EQ(result == 0, c.ok) << result;
            const auto lines = emulator_->AtLines();
            ASSERT_EQ(lines.size(), c.tries);
            for (const auto& line : lines)
                EXPECT_EQ(line, lines[0]);  // the same command each time
            EXPECT_GE(spent, tooltest::AtLeastMs(c.pausedMs));
        }
    }
}

TEST_F(DeviceTriesTest, WithoutAnAtPortNothingIsTried)
{
    emulator_->Unplug();
    for (const Routine& routine : kRoutines) {
        SCOPED_TRACE(routine.name);
        CMarlPortManager ports;
        EXPECT_NE(routine.call(ports), 0);
    }
    EXPECT_TRUE(emulator_->AtLines().empty());
}

}  // namespace
