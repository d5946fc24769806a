// The carrier switch tool's watch while the modem boots: a listed card whose web
// server does not confirm it yet is asked again after a pause, never back to back.
#include <gtest/gtest.h>

#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "tests/support/paced_run.h"
#include "tests/support/carrier_tool_fixture.h"
#include "tools/carrierswitch/marl_switch_mode_tool_dlg.h"

using namespace ui::test;

namespace {

class CarrierSwitchPaceTest : public carriertest::CarrierToolTest<CMarlSwitchModeToolDlg> {
protected:
    CarrierSwitchPaceTest()
        : CarrierToolTest("carrier-switch-pace", IDD_MARL_SWITCH_MODE_TOOL, L"MARL モデム切替ツール",
                          modemsim::Mode::NetCard)
    {
    }
};

}  // namespace

TEST_F(CarrierSwitchPaceTest, UnconfirmedNetworkCardPacesTheWatchPasses)
{
    if (!tooltest::RunsAtTimeScale(0.1))
        return;
    SetVersionAnswer("failure");
    OpenTool();
    ASSERT_TRUE(WaitUntil([&] { return tool_.dialog()->WatchPassCount() >= 1; }));
    DWORD elapsed = 0;
    const unsigned passes = tooltest::WatchPassesOver(tool_.dialog(), 5000, &elapsed);
    EXPECT_LE(passes, elapsed / kWatchRetryPauseMs + 1) << passes << " passes in " << elapsed << " ms";
    EXPECT_FALSE(IsEnabled(Item(IDC_MARL_SET_EOU)));
    EXPECT_FALSE(IsEnabled(Item(IDC_MARL_SET_MODEM)));
    SetVersionAnswer("V1.0");
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_MARL_SET_MODEM)); }));
}
