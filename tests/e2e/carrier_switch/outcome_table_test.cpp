// Both switches of the carrier mode switch tool, one row per device
// behaviour: the tries of each step, the least program time from the press to
// the result box, the box, and the buttons while it is up and after.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "tests/support/carrier_tool_fixture.h"
#include "tests/support/case_name.h"
#include "tests/support/settled_click.h"
#include "tests/support/timeout_scale.h"
#include "tools/carrierswitch/marl_switch_mode_tool_dlg.h"

using namespace ui::test;

namespace {

struct SwitchCase {
    const char* name;
    bool fromNetworkCard;
    std::function<void(modemsim::ModemEmulator&)> device;
    const char* firstStep;  // AT line prefix or HTTP body fragment
    const char* secondStep;
    size_t firstTries, secondTries;
    const wchar_t* resultKey;
    uint32_t leastMs;
};

modemsim::Fault AtRefusal() { return {modemsim::FaultKind::Garbage, "\r\nERROR\r\n", 0, 500, -1}; }

const SwitchCase kCases[] = {
    {"eou entry refused", false, [](modemsim::ModemEmulator& e) { e.InjectAtFault("AT+ZCPE", AtRefusal()); },
     "AT+ZCPE=o", "AT+ZRST", 3, 0, L"FAILED_INFO", 3000},
    {"eou restart refused", false, [](modemsim::ModemEmulator& e) { e.InjectAtFault("AT+ZRST", AtRefusal()); },
     "AT+ZCPE=o", "AT+ZRST", 1, 3, L"FAILED_INFO", 3000},
    {"modem mode refused twice", true,
     [](modemsim::ModemEmulator& e) { e.InjectHttpFault("SET_PRODUCT_MODE_FOR_MARL", 500, 2); },
     "goformId=SET_PRODUCT_MODE_FOR_MARL", "REBOOT_DEVICE", 3, 1, L"SUCCESS_INFO", 2000},
    {"modem mode refused", true,
     [](modemsim::ModemEmulator& e) { e.InjectHttpFault("SET_PRODUCT_MODE_FOR_MARL", 500, -1); },
     "goformId=SET_PRODUCT_MODE_FOR_MARL", "REBOOT_DEVICE", 3, 0, L"FAILED_INFO", 3000},
    {"reboot refused", true, [](modemsim::ModemEmulator& e) { e.InjectHttpFault("REBOOT_DEVICE", 500, -1); },
     "goformId=SET_PRODUCT_MODE_FOR_MARL", "REBOOT_DEVICE", 1, 3, L"FAILED_INFO", 3000},
};

class CarrierSwitchOutcomeTest : public carriertest::CarrierToolTest<CMarlSwitchModeToolDlg>,
                                 public ::testing::WithParamInterface<SwitchCase> {
protected:
    CarrierSwitchOutcomeTest()
        : CarrierToolTest("carrier-switch-table", IDD_MARL_SWITCH_MODE_TOOL, L"MARL モデム切替ツール",
                          modemsim::Mode::Modem)
    {
    }
    bool ButtonsAre(bool eou, bool modem)
    {
        return WaitUntil(
            [&] { return IsEnabled(Item(IDC_MARL_SET_EOU)) == eou && IsEnabled(Item(IDC_MARL_SET_MODEM)) == modem; },
            30000);
    }
    size_t CountStep(const char* step)
    {
        return std::string(step).rfind("AT", 0) == 0 ? emulator_->CountAtLines(step) : CountHttp(step);
    }
};

void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.name; }

TEST_P(CarrierSwitchOutcomeTest, TriesPausesBoxAndButtons)
{
    const SwitchCase& c = GetParam();
    if (c.fromNetworkCard)
        emulator_->SetMode(modemsim::Mode::NetCard);
    OpenTool();
    ASSERT_TRUE(ButtonsAre(!c.fromNetworkCard, c.fromNetworkCard));
    c.device(*emulator_);
    emulator_->ClearReceived();
    const int pressed = c.fromNetworkCard ? IDC_MARL_SET_MODEM : IDC_MARL_SET_EOU;
    ASSERT_TRUE(tooltest::WaitUntilSettled(tool_.dialog(), Item(pressed)));
    const DWORD start = GetTickCount();
    ASSERT_TRUE(Click(Item(pressed)));
    auto box = ResultBox(120000);
    ASSERT_TRUE(box) << "no result box";
    EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(c.leastMs));
    EXPECT_EQ(box->text, std::wstring(tool_.dialog()->ReadOwnString(c.resultKey)));
    EXPECT_FALSE(IsEnabled(Item(IDC_MARL_SET_EOU)));
    EXPECT_FALSE(IsEnabled(Item(IDC_MARL_SET_MODEM)));
    ClosePopup(*box);
    EXPECT_EQ(CountStep(c.firstStep), c.firstTries);
    EXPECT_EQ(CountStep(c.secondStep), c.secondTries);
    if (std::wstring(c.resultKey) == L"FAILED_INFO") {
        EXPECT_TRUE(ButtonsAre(!c.fromNetworkCard, c.fromNetworkCard));  // the device stayed as it was
    }
}

INSTANTIATE_TEST_SUITE_P(EachCase, CarrierSwitchOutcomeTest, ::testing::ValuesIn(kCases),
                         tooltest::ByCaseName());

}  // namespace
