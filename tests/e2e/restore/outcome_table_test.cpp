// The factory restore run, one row per web server behaviour: its requests,
// the least program time from the press to the result box, the box, and the
// button while it is up.
#include <gtest/gtest.h>

#include <string>

#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "tests/support/carrier_tool_fixture.h"
#include "tests/support/settled_click.h"
#include "tests/support/timeout_scale.h"
#include "tools/restore/restore_factory_setting_dlg.h"

using namespace ui::test;

namespace {

class RestoreOutcomeTest : public carriertest::CarrierToolTest<CMarlRestoreFactorySettingDlg> {
protected:
    RestoreOutcomeTest()
        : CarrierToolTest("restore-table", IDD_MARL_RESTORE_FACTORY_SETTING, L"MARL リセットツール",
                          modemsim::Mode::NetCard)
    {
    }
    HWND Button() { return Item(IDC_RESTORE_BUTTON); }
};

TEST_F(RestoreOutcomeTest, RefusalsCostASecondEachAndTheButtonIsOffUntilTheBoxCloses)
{
    const struct {
        int refusals;
        size_t requests;
        const wchar_t* resultKey;
        uint32_t leastMs;
    } cases[] = {
        {0, 1, L"SUCCESS_INFO", 0},
        {2, 3, L"SUCCESS_INFO", 2000},
        {-1, MARL_REQUEST_TRIES, L"FAILED_INFO", MARL_REQUEST_TRIES * 1000},  // the last refusal pauses too
    };
    OpenTool();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusals);
        emulator_->Replug();
        ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Button()); }, 60000));
        emulator_->ClearFaults();
        emulator_->ClearReceived();
        if (c.refusals != 0)
            emulator_->InjectHttpFault("RESTORE_FACTORY_SETTINGS", 500, c.refusals);
        ASSERT_TRUE(tooltest::WaitUntilSettled(tool_.dialog(), Button()));
        const DWORD start = GetTickCount();
        ASSERT_TRUE(Click(Button()));
        auto box = ResultBox(120000);
        ASSERT_TRUE(box) << "no result box";
        EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(c.leastMs));
        EXPECT_EQ(box->text, std::wstring(tool_.dialog()->ReadOwnString(c.resultKey)));
        EXPECT_FALSE(IsEnabled(Button()));
        ClosePopup(*box);
        EXPECT_EQ(CountHttp("goformId=RESTORE_FACTORY_SETTINGS"), c.requests);
    }
    emulator_->ClearFaults();
}

}  // namespace
