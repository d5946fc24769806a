#pragma once
// What the carrier tool tests share: a private workplace with the shipped
// configuration, the emulator, the tool run modally, and the answer to its
// information message boxes.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "app/app_paths.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "tests/support/settled_click.h"
#include "tests/support/tool_test_env.h"

namespace carriertest {

template <class Dialog>
class CarrierToolTest : public ::testing::Test {
protected:
    CarrierToolTest(const char* name, UINT templateId, std::wstring title, modemsim::Mode mode)
        : name_(name), templateId_(templateId), title_(std::move(title)), mode_(mode)
    {
    }

    void SetUp() override
    {
        place_.Make(name_);
        place_.WriteToolConfig();
        // each test writes its own language file into its own working folder
        g_strLanguageFilePath.clear();
        modemsim::EmulatorOptions options;
        options.mode = mode_;
        options.restartMs = 500;
        emulator_ = place_.StartEmulator(options);
    }

    void TearDown() override
    {
        tool_.Close();
        if (emulator_)
            emulator_->Stop();
        g_strLanguageFilePath.clear();
        place_.Remove();
    }

    void OpenTool()
    {
        hwnd_ = tool_.Open(templateId_);
        ASSERT_NE(hwnd_, nullptr);
    }

    HWND Item(int id) { return ui::test::Control(hwnd_, id); }

    // Presses a button once the buttons follow the device (see ClickWhenSettled).
    bool Press(int id) { return tooltest::ClickWhenSettled(tool_.dialog(), Item(id)); }

    // The next popup, which must be an information message box with the
    // tool's title; its text, after pressing OK.
    std::wstring AnswerMessageBox()
    {
        auto popup = ResultBox(60000);
        if (!popup)
            return L"<no popup>";
        ui::test::ClosePopup(*popup);
        return popup->text;
    }
    // The same box left open, so that the test looks at the tool meanwhile.
    std::optional<ui::test::Popup> ResultBox(DWORD timeoutMs)
    {
        auto popup = ui::test::WaitForPopup(timeoutMs);
        if (popup) {
            EXPECT_TRUE(popup->messageBox);
            EXPECT_NE(popup->type & MB_ICONINFORMATION, 0u);
            EXPECT_EQ(popup->caption, title_);
        }
        return popup;
    }

    // HTTP requests whose body holds part.
    size_t CountHttp(const std::string& part)
    {
        size_t n = 0;
        for (const auto& request : emulator_->HttpRequests())
            n += request.body.find(part) != std::string::npos;
        return n;
    }

    // Replaces the released configuration by a tool type and one section.
    void WriteConfig(int toolType, const std::string& section)
    {
        std::ofstream(place_.Work() + "/Adatper_cfg.ini")
            << "[TOOLS_INFO]\r\nTOOLS_TYPE = " << toolType << "\r\n" << section;
    }

    // The version text the web server answers with.
    void SetVersionAnswer(const std::string& version)
    {
        emulator_->SetVersions({version, "", "", "", "", "", "", "", ""});
    }

    const char* name_;
    UINT templateId_;
    std::wstring title_;
    modemsim::Mode mode_;
    tooltest::Workplace place_;
    tooltest::ModalRun<Dialog> tool_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    HWND hwnd_ = nullptr;
};

}  // namespace carriertest
