// One carrier modem setting tool at a time: each dialog has its own name, and
// the two pages' names shut out the other dialog class as well.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/app_paths.h"
#include "app/language.h"
#include "platform/ui/test_driver.h"
#include "platform/win/code_page.h"
#include "platform/win/named_mutex.h"
#include "tests/support/child_process.h"
#include "tests/support/tool_test_env.h"
#include "tools/carriersetting/carrier_setting_dlg.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

constexpr const char* kToolVariable = "CARRIER_SETTING_COPY_TOOL";
constexpr const char* kReportVariable = "CARRIER_SETTING_COPY_REPORT";

pid_t SpawnCopy(const std::vector<std::string>& own) { return childproc::SpawnSelf("CarrierSettingCopy.Run", own); }

using childproc::WaitExit;

std::unique_ptr<CDialog> MakeTool(int toolType)
{
    return std::unique_ptr<CDialog>(toolType == 6 ? CreateMarlModemSettingDlgNew() : CreateMarlModemSettingDlg());
}

bool NameHeld(const wchar_t* name)
{
    HANDLE handle = CreateMutexW(nullptr, FALSE, name);
    bool held = GetLastError() == ERROR_ALREADY_EXISTS;
    CloseHandle(handle);
    return held;
}

}  // namespace

// Runs only in a copy started by the tests below: opens the tool of its type
// and reports the first message box it meets.
TEST(CarrierSettingCopy, Run)
{
    const char* tool = std::getenv(kToolVariable);
    const char* report = std::getenv(kReportVariable);
    if (!tool || !report)
        GTEST_SKIP() << "runs only as a copy";
    g_strWorkFolder = Utf8ToWide(fs::path(report).parent_path().string());
    std::string reportPath = report;
    std::thread([reportPath] {
        auto popup = ui::test::WaitForPopup(30000);
        std::ofstream out(reportPath);
        if (popup)
            out << popup->messageBox << " " << ((popup->type & MB_ICONINFORMATION) != 0) << "\n"
                << WideToUtf8(popup->caption) << "|" << WideToUtf8(popup->text) << "\n";
        out.close();
        if (popup)
            ui::test::ClosePopup(*popup);
    }).detach();
    CWinApp app;
    std::unique_ptr<CDialog> dialog = MakeTool(std::atoi(tool));
    app.m_pMainWnd = dialog.get();
    dialog->DoModal();
    std::exit(3);  // a refused copy never gets here
}

class CarrierSettingCopies : public ::testing::Test {
protected:
    void SetUp() override
    {
        place_.Make("carrier-setting-copies");
        place_.WriteToolConfig();
        g_strLanguageFilePath.clear();
        setenv("KESTLE_DEVICE_DIR", (place_.Root() + "/no-device").c_str(), 1);
    }

    void TearDown() override
    {
        place_.Remove();
        g_strLanguageFilePath.clear();
    }

    tooltest::Workplace place_;
};

TEST_F(CarrierSettingCopies, RunningToolHoldsItsNameAndBothPageNames)
{
    struct Row {
        UINT templateId;
        int toolType;
        const wchar_t* ownName;
        const wchar_t* otherName;
    };
    const Row rows[] = {
        {IDD_MARL_MODEM_SETTING, 4, single_instance::kMarlModemSetting, single_instance::kMarlModemSettingNew},
        {IDD_MARL_MODEM_SETTING_NEW, 6, single_instance::kMarlModemSettingNew, single_instance::kMarlModemSetting},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.toolType);
        tooltest::ModalRun<CDialog> tool;
        ASSERT_NE(tool.Open(row.templateId, [&] { return MakeTool(row.toolType).release(); }), nullptr);
        EXPECT_TRUE(NameHeld(row.ownName));
        EXPECT_TRUE(NameHeld(single_instance::kMarlModemSettingAPNPage));
        EXPECT_TRUE(NameHeld(single_instance::kMarlModemSettingCommunicationModePage));
        EXPECT_FALSE(NameHeld(row.otherName));
        tool.Close();
        // a closed tool lets every name go
        EXPECT_FALSE(NameHeld(row.ownName));
        EXPECT_FALSE(NameHeld(single_instance::kMarlModemSettingAPNPage));
        EXPECT_FALSE(NameHeld(single_instance::kMarlModemSettingCommunicationModePage));
    }
}

TEST_F(CarrierSettingCopies, SecondCopyOfEitherToolShowsTheRefusalAndExitsZero)
{
    struct Row {
        int running;
        int started;
    };
    const Row rows[] = {{4, 4}, {4, 6}, {6, 4}, {6, 6}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.running << " then " << row.started);
        tooltest::ModalRun<CDialog> tool;
        ASSERT_NE(tool.Open(row.running == 6 ? IDD_MARL_MODEM_SETTING_NEW : IDD_MARL_MODEM_SETTING,
                            [&] { return MakeTool(row.running).release(); }),
                  nullptr);
        std::string copyFolder = place_.Root() + "/copy-" + std::to_string(row.running) + std::to_string(row.started);
        fs::create_directories(copyFolder);
        pid_t copy = SpawnCopy({
            std::string(kToolVariable) + "=" + std::to_string(row.started),
            std::string(kReportVariable) + "=" + copyFolder + "/report.txt",
        });
        ASSERT_GT(copy, 0);
        EXPECT_EQ(WaitExit(copy, 60000), 0);
        EXPECT_NE(ui::test::FindDialog(row.running == 6 ? IDD_MARL_MODEM_SETTING_NEW : IDD_MARL_MODEM_SETTING), nullptr)
            << "the first copy runs on";
        std::ifstream in(copyFolder + "/report.txt");
        std::string kind, texts;
        std::getline(in, kind);
        std::getline(in, texts);
        EXPECT_EQ(kind, "1 1");
        std::string expected = WideToUtf8(std::wstring(ReadModemSettingString(L"TITLE"))) + "|" +
                               WideToUtf8(std::wstring(ReadModemSettingString(L"SINGLE_TOOL")));
        EXPECT_GT(expected.size(), 1u);
        EXPECT_EQ(texts, expected);
        tool.Close();
    }
}
