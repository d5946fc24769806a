#pragma once
// The mode switch tool against the emulator in the headless back end: what
// every test of the tool sets up, and the helpers its tests share.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/notice_dialogs.h"
#include "app/prompt_dialogs.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/registry.h"
#include "tests/support/tool_test_env.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"

namespace swapwelltest {

class SwapwellToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        place_.Make("swapwell-e2e");
        place_.WriteToolConfig();
        emulator_ = place_.StartEmulator(EmulatorOptions());
    }

    void TearDown() override
    {
        tool_.Close();
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
    }

    // The device the tool meets; a restart takes 2 s of program time.
    virtual modemsim::EmulatorOptions EmulatorOptions() const
    {
        modemsim::EmulatorOptions options;
        options.restartMs = 2000;
        return options;
    }

    void OpenTool()
    {
        hwnd_ = tool_.Open(IDD_SWITCH_MODE_TOOL);
        ASSERT_NE(hwnd_, nullptr);
    }

    HWND Item(int id) { return ui::test::Control(hwnd_, id); }

    bool ButtonsAre(bool normal, bool modem)
    {
        return ui::test::WaitUntil([&] { return ui::test::IsEnabled(Item(IDC_GEN_NORMAL_MODE)) == normal &&
                                                ui::test::IsEnabled(Item(IDC_GEN_MODEM_MODE)) == modem; });
    }

    // The next popup's text, after closing it.
    std::wstring AnswerNext(UINT expectedTemplate, DWORD timeoutMs = 60000)
    {
        auto popup = ui::test::WaitForPopup(timeoutMs);
        if (!popup)
            return L"<no popup>";
        EXPECT_EQ(popup->templateId, expectedTemplate) << std::string(popup->text.begin(), popup->text.end());
        ui::test::ClosePopup(*popup);
        return popup->text;
    }

    size_t CountAt(const std::string& prefix) { return emulator_->CountAtLines(prefix); }

    // Marks a notice "don't show again", so that its switch runs at once.
    void SetNoticeKey(const wchar_t* suffix)
    {
        HKEY key = nullptr;
        std::wstring path = std::wstring(kDontShowAgainKeyPrefix) + suffix;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    tooltest::Workplace place_;
    tooltest::ModalRun<CSwitchModeToolDlg> tool_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    HWND hwnd_ = nullptr;
};

}  // namespace swapwelltest
