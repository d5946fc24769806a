// The mode switch tool's threads against the user: the language menu while a
// worker looks its texts up, and the watch pace while the web server refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/notice_dialogs.h"
#include "app/prompt_dialogs.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "platform/win/registry.h"
#include "tests/support/paced_run.h"
#include "tests/e2e/swapwell/swapwell_fixture.h"
#include "tests/support/settled_click.h"
#include "tests/support/tool_test_env.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"

using namespace ui::test;

namespace {

const std::wstring kWaitingJapanese = L"モードを切り替えています。しばらくお待ち下さい";

class SwapwellThreadsTest : public swapwelltest::SwapwellToolTest {
protected:
    // the emulator's own restart time
    modemsim::EmulatorOptions EmulatorOptions() const override { return {}; }
};

}  // namespace

// The worker looks up its waiting texts and reads the language flag on every
// step of the wait while the menu changes both; the same language chosen again
// leaves its file alone. Run under ThreadSanitizer too.
TEST_F(SwapwellThreadsTest, LanguageMenuDuringTheWaitKeepsEveryTextWhole)
{
    SetNoticeKey(kNormalModeSuffix);
    emulator_->SetRestartMs(100000000);  // the device never comes back: the whole wait runs
    OpenTool();
    ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_GEN_NORMAL_MODE)); }));
    ASSERT_TRUE(Click(Item(IDC_GEN_NORMAL_MODE)));
    ASSERT_TRUE(WaitUntil([&] { return Text(Item(IDC_GEN_WAITING_INFO)) == kWaitingJapanese; }, 30000));

    const UINT items[] = {ID_LANGUAGE_ENGLISH_138, ID_LANGUAGE_ENGLISH_136, ID_LANGUAGE_JAPANESE_136,
                          ID_LANGUAGE_JAPANESE_138};
    std::vector<std::wstring> seen;
    for (int round = 0; round < 12; ++round) {
        for (UINT item : items) {
            ASSERT_TRUE(ChooseMenuItem(hwnd_, item));
            if (IsVisible(Item(IDC_GEN_WAITING_INFO)))
                seen.push_back(Text(Item(IDC_GEN_WAITING_INFO)));
            Sleep(40);
        }
    }
    ASSERT_TRUE(ChooseMenuItem(hwnd_, ID_LANGUAGE_ENGLISH_138));
    auto result = WaitForPopup(120000);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->templateId, IDD_PROMPT_INFO);
    // every text shown came from a whole file: never an empty look-up
    for (const std::wstring& text : seen)
        EXPECT_FALSE(text.empty());
    EXPECT_EQ(result->text, L"Set failed!");
    ClosePopup(*result);
}

// A listed network card whose web server refuses: the watch keeps both buttons
// as they were but never asks back to back.
TEST_F(SwapwellThreadsTest, RefusingWebServerPacesTheWatchPasses)
{
    if (!tooltest::RunsAtTimeScale(0.1))
        return;
    emulator_->SetMode(modemsim::Mode::NetCard);
    emulator_->InjectHttpFault("/goform/goform_get_cmd_process", 500, -1);
    emulator_->InjectHttpFault("ONLINE_UPGRADE_TOOL", 500, -1);
    OpenTool();
    ASSERT_TRUE(WaitUntil([&] { return tool_.dialog()->WatchPassCount() >= 1; }));
    DWORD elapsed = 0;
    const unsigned passes = tooltest::WatchPassesOver(tool_.dialog(), 5000, &elapsed);
    // each failed pass is followed by its pause (program time)
    EXPECT_LE(passes, elapsed / kWatchRetryPauseMs + 1) << passes << " passes in " << elapsed << " ms";
    EXPECT_GE(passes, 1u);
    EXPECT_FALSE(IsEnabled(Item(IDC_GEN_NORMAL_MODE)));
    EXPECT_FALSE(IsEnabled(Item(IDC_GEN_MODEM_MODE)));
    emulator_->ClearFaults();
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_GEN_MODEM_MODE)); }));
}
