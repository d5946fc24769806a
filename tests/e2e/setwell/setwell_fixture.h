#pragma once
// The VX520 modem setting tool against the emulator in the headless back end:
// what every test of the tool sets up, and the helpers its tests share.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/app_paths.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "tests/support/tool_test_env.h"
#include "tools/vx520/network_page.h"
#include "tools/vx520/vx520_dialog.h"

namespace setwelltest {

class SetwellToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        place_.Make("setwell-e2e");
        place_.WriteToolConfig();
        g_strLanguageFilePath.clear();
    }

    void TearDown() override
    {
        tool_.Close();
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
    }

    void StartEmulator(modemsim::SimState sim = modemsim::SimState::Ready)
    {
        modemsim::EmulatorOptions options;
        options.sim = sim;
        emulator_ = place_.StartEmulator(options);
    }

    HWND Item(int id) { return ui::test::Control(hwnd_, id); }
    HWND NetItem(int id) { return ui::test::FindControl(IDD_VX520_NETWORK_PAGE, id); }
    HWND Tab() { return Item(IDC_VX520_TAB); }

    // Waits until the page reads a tab change, a language switch or a PIN page
    // switch asked for are over (also one waiting for a PIN page refresh),
    // their inputs given back.
    bool PageReadsOver()
    {
        return ui::test::WaitIdle(hwnd_) && ui::test::WaitUntil([&] {
                   return !dialog_->PageReadsPending() && dialog_->m_nPinPageReady.load() == 1;
               }) && ui::test::WaitIdle(hwnd_);
    }

    // Waits until the PIN tab holds the page of that template, shown.
    bool PinPageShown(UINT templateId)
    {
        return ui::test::WaitUntil([&] {
            HWND page = ui::test::FindDialog(templateId);
            return page && ui::test::IsVisible(page);
        });
    }

    size_t CountAt(const std::string& prefix) { return emulator_->CountAtLines(prefix); }

    // Answers every popup until one holds the text; false when none came.
    bool AnswerUntil(const std::wstring& text, DWORD timeoutMs = 60000)
    {
        for (int i = 0; i < 10; ++i) {
            auto popup = ui::test::AnswerPopup(timeoutMs);
            if (!popup)
                return false;
            if (popup->text.find(text) != std::wstring::npos)
                return true;
        }
        return false;
    }

    tooltest::Workplace place_;
    tooltest::ModalRun<CVX520ModemSettingDlg> tool_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    CVX520ModemSettingDlg* dialog_ = nullptr;
    HWND hwnd_ = nullptr;
};

}  // namespace setwelltest
