// The VX520 dialog's SIM routines against the emulator, without a window: the
// pauses around the SIM state query.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "device/port_manager.h"
#include "emulator/modem_emulator.h"
#include "platform/win/clock.h"
#include "tests/support/timeout_scale.h"
#include "tests/support/tool_test_env.h"
#include "tools/vx520/pin_pages.h"
#include "tools/vx520/vx520_dialog.h"

namespace {

class SimStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        place_.Make("vx520-sim");
        emulator_ = place_.StartEmulator();
        ASSERT_EQ(ports_.OpenATPort(), 0);
        dialog_ = std::make_unique<CVX520ModemSettingDlg>();
    }
    void TearDown() override
    {
        dialog_.reset();
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
    }

    size_t CountAt(const std::string& prefix) { return emulator_->CountAtLines(prefix); }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    CMarlPortManager ports_;
    std::unique_ptr<CVX520ModemSettingDlg> dialog_;
};

TEST_F(SimStateTest, SimTestWaitsHalfASecondAfterItsQuery)
{
    const DWORD start = GetTickCount();
    EXPECT_TRUE(dialog_->IsSimReady());
    EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(500));
    EXPECT_TRUE(dialog_->m_bSimQueried.load());
}

// The PIN state read: the SIM query, half a second, and for a SIM that is
// there half a second more before the attempts are read; their counts reach
// every PIN page.
TEST_F(SimStateTest, PinStateReadPausesAroundItsSteps)
{
    emulator_->ClearReceived();
    DWORD start = GetTickCount();
    EXPECT_EQ(dialog_->ReadPinState(), 0);
    EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(1000));
    EXPECT_EQ(CountAt("AT+CPIN?"), 1u);
    EXPECT_EQ(CountAt("AT+ZPINPUK"), 1u);
    const auto counters = emulator_->PinCounters();
    ASSERT_NE(dialog_->m_pPinEntryPage, nullptr);
    EXPECT_EQ(dialog_->m_pPinEntryPage->m_nPinAttempts, counters.first);
    EXPECT_EQ(dialog_->m_pPukPage->m_nPukAttempts, counters.second);

    emulator_->SetSim(modemsim::SimState::None);
    emulator_->ClearReceived();
    start = GetTickCount();
    EXPECT_EQ(dialog_->ReadPinState(), 1);
    EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(500));
    EXPECT_EQ(CountAt("AT+ZPINPUK"), 0u);
    EXPECT_EQ(dialog_->m_nPinPageKind.load(), PIN_PAGE_SETTING);
}

}  // namespace
