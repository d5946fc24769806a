// Both switches of the mode switch tool, one row per device behaviour: the
// tries of each step, the least program time the run takes, its one outcome
// prompt (text and caption) and the buttons while the prompt is up and after.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "platform/win/clock.h"
#include "tests/e2e/swapwell/swapwell_fixture.h"
#include "tests/support/settled_click.h"
#include "tests/support/case_name.h"
#include "tests/support/timeout_scale.h"

using namespace ui::test;

namespace {

struct OutcomeCase {
    const char* name;
    bool startsAsNetworkCard;
    std::function<void(modemsim::ModemEmulator&)> device;
    const char* firstStep;   // AT line prefix or HTTP body fragment of each step
    const char* secondStep;
    size_t firstTries, secondTries;
    const wchar_t* resultKey;
    uint32_t leastMs;             // program time from the press to the prompt
    bool normalAfter, modemAfter;  // the buttons once the watch thread is back
};

modemsim::Fault Refusal(int times)
{
    return {modemsim::FaultKind::Garbage, "\r\nERROR\r\n", 0, 500, times};
}

// A wait pass: 7 steps of the animation 500 ms apart, then 1000 ms before the listing.
constexpr uint32_t kWaitPassMs = 7 * 500 + 1000;

const OutcomeCase kCases[] = {
    {"normal mode switched", false, [](modemsim::ModemEmulator&) {}, "AT+ZCPE=o", "AT+ZRST", 1, 1,
     L"SUCCESS_INFO", kWaitPassMs, false, true},
    {"normal mode entry refused twice", false,
     [](modemsim::ModemEmulator& e) { e.InjectAtFault("AT+ZCPE", Refusal(2)); }, "AT+ZCPE=o", "AT+ZRST", 3, 1,
     L"SUCCESS_INFO", 2000 + kWaitPassMs, false, true},
    {"normal mode entry refused", false, [](modemsim::ModemEmulator& e) { e.InjectAtFault("AT+ZCPE", Refusal(-1)); },
     "AT+ZCPE=o", "AT+ZRST", 3, 0, L"FAILED_INFO", 3000, true, false},
    {"normal mode restart refused", false, [](modemsim::ModemEmulator& e) { e.InjectAtFault("AT+ZRST", Refusal(-1)); },
     "AT+ZCPE=o", "AT+ZRST", 1, 3, L"FAILED_INFO", 3000, true, false},
    {"modem mode switched", true, [](modemsim::ModemEmulator&) {}, "goformId=SET_PRODUCT_MODE&", "REBOOT_DEVICE", 1,
     1, L"SUCCESS_INFO", kWaitPassMs, true, false},
    {"modem mode request refused twice", true,
     [](modemsim::ModemEmulator& e) { e.InjectHttpFault("SET_PRODUCT_MODE", 500, 2); }, "goformId=SET_PRODUCT_MODE&",
     "REBOOT_DEVICE", 3, 1, L"SUCCESS_INFO", 2000 + kWaitPassMs, true, false},
    {"modem mode request refused", true,
     [](modemsim::ModemEmulator& e) { e.InjectHttpFault("SET_PRODUCT_MODE", 500, -1); }, "goformId=SET_PRODUCT_MODE&",
     "REBOOT_DEVICE", 3, 0, L"FAILED_INFO", 3000, false, true},
    {"modem mode reboot refused", true,
     [](modemsim::ModemEmulator& e) { e.InjectHttpFault("REBOOT_DEVICE", 500, -1); }, "goformId=SET_PRODUCT_MODE&",
     "REBOOT_DEVICE", 1, 3, L"FAILED_INFO", 3000, false, true},
};

class SwapwellOutcomeTest : public swapwelltest::SwapwellToolTest,
                            public ::testing::WithParamInterface<OutcomeCase> {
protected:
    size_t CountStep(const char* step)
    {
        if (step[0] == 'A' && step[1] == 'T')
            return CountAt(step);
        size_t n = 0;
        for (const auto& request : emulator_->HttpRequests())
            n += request.body.find(step) != std::string::npos;
        return n;
    }
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

TEST_P(SwapwellOutcomeTest, TriesPausesPromptAndButtons)
{
    const OutcomeCase& c = GetParam();
    for (const wchar_t* suffix : {kNormalModeSuffix, kModemModeSuffix})
        SetNoticeKey(suffix);
    if (c.startsAsNetworkCard)
        emulator_->SetMode(modemsim::Mode::NetCard);
    OpenTool();
    // before: only the button that fits the device
    ASSERT_TRUE(ButtonsAre(!c.startsAsNetworkCard, c.startsAsNetworkCard));
    c.device(*emulator_);
    emulator_->ClearReceived();
    const int pressed = c.startsAsNetworkCard ? IDC_GEN_MODEM_MODE : IDC_GEN_NORMAL_MODE;
    ASSERT_TRUE(tooltest::WaitUntilSettled(tool_.dialog(), Item(pressed)));
    const DWORD start = GetTickCount();
    ASSERT_TRUE(Click(Item(pressed)));

    auto prompt = WaitForPopup(120000);
    ASSERT_TRUE(prompt) << "no outcome prompt";
    const DWORD spent = GetTickCount() - start;
    EXPECT_EQ(prompt->templateId, IDD_PROMPT_INFO);
    EXPECT_EQ(prompt->text, std::wstring(tool_.dialog()->ReadOwnString(c.resultKey)));
    EXPECT_EQ(prompt->caption, std::wstring(tool_.dialog()->ReadOwnString(L"ATTENTION")));
    EXPECT_GE(spent, tooltest::AtLeastMs(c.leastMs));
    // during: neither switch can be pressed while its outcome is shown
    EXPECT_FALSE(IsEnabled(Item(IDC_GEN_NORMAL_MODE)));
    EXPECT_FALSE(IsEnabled(Item(IDC_GEN_MODEM_MODE)));
    ClosePopup(*prompt);

    EXPECT_EQ(CountStep(c.firstStep), c.firstTries);
    EXPECT_EQ(CountStep(c.secondStep), c.secondTries);
    // after: the watch thread shows the device as it is now
    EXPECT_TRUE(ButtonsAre(c.normalAfter, c.modemAfter));
}

INSTANTIATE_TEST_SUITE_P(EachCase, SwapwellOutcomeTest, ::testing::ValuesIn(kCases),
                         tooltest::ByCaseName());

}  // namespace
