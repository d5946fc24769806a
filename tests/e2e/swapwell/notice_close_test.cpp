// The switch goes on however its notice ends: here the window system closes it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/notice_dialogs.h"
#include "app/prompt_dialogs.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "tests/e2e/swapwell/swapwell_fixture.h"
#include "tests/support/tool_test_env.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"

using namespace ui::test;

namespace {

class SwapwellNoticeTest : public swapwelltest::SwapwellToolTest {};

TEST_F(SwapwellNoticeTest, NoticeClosedByTheSystemStillRunsTheSwitch)
{
    OpenTool();
    ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_GEN_NORMAL_MODE)); }));
    ASSERT_TRUE(Click(Item(IDC_GEN_NORMAL_MODE)));
    auto notice = WaitForPopup(30000);
    ASSERT_TRUE(notice.has_value());
    ASSERT_EQ(notice->templateId, IDD_NORMAL_MODE_NOTICE);
    ASSERT_TRUE(PostMessage(notice->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0));

    if (!WaitUntil([&] { return !IsWindow(notice->hwnd); }, 30000)) {
        // still up: end it so that the tool can close, and fail
        ADD_FAILURE() << "the notice stayed up";
        Click(Control(notice->hwnd, IDC_NORMAL_NOTICE_OK));
    }
    auto result = WaitForPopup(120000);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->templateId, IDD_PROMPT_INFO);
    EXPECT_NE(result->text.find(L"成功"), std::wstring::npos);
    ClosePopup(*result);
    EXPECT_EQ(emulator_->CurrentMode(), modemsim::Mode::NetCard);
}

}  // namespace
