// A second copy of the kitting tool is refused while the first runs.
#include <gtest/gtest.h>


#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_paths.h"
#include "platform/ui/test_driver.h"
#include "platform/win/code_page.h"
#include "tests/support/child_process.h"
#include "tests/support/tool_test_env.h"
#include "tools/kitting/write_apn_info_dlg.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kReportVariable = "KITTING_SECOND_COPY_REPORT";

}  // namespace

// Runs only as the second copy, started by the test below in a child process.
TEST(KittingSecondCopy, Run)
{
    const char* report = std::getenv(kReportVariable);
    if (!report)
        GTEST_SKIP() << "runs only as the second copy";
    g_strWorkFolder = fs::path(report).parent_path().wstring();
    g_strLanguageFilePath.clear();
    std::thread([report] {
        auto popup = ui::test::WaitForPopup(30000);
        std::ofstream out(report);
        if (popup)
            out << popup->messageBox << "\n"
                << (popup->type & 0xF0u) << "\n"
                << WideToUtf8(popup->caption) << "\n"
                << WideToUtf8(popup->text) << "\n";
        out.close();
        if (popup)
            ui::test::ClosePopup(*popup);
    }).detach();
    CWinApp app;
    CMarlWriteAPNInfoDlg dialog;
    app.m_pMainWnd = &dialog;
    dialog.DoModal();
    std::exit(3);  // reached only when the refusal did not end the process
}

TEST(KittingCopies, SecondCopyShowsItsRefusalAndExitsZeroWhileTheFirstRuns)
{
    tooltest::Workplace place;
    place.Make("kitting-copies");
    setenv("KESTLE_DEVICE_DIR", (place.Root() + "/no-device").c_str(), 1);
    g_strLanguageFilePath.clear();
    tooltest::ModalRun<CMarlWriteAPNInfoDlg> first;
    ASSERT_NE(first.Open(IDD_MARL_WRITE_APN_INFO), nullptr);

    fs::create_directories(place.Root() + "/second");
    std::string report = place.Root() + "/second/report.txt";
    pid_t second = childproc::SpawnSelf("KittingSecondCopy.Run", {std::string(kReportVariable) + "=" + report});
    ASSERT_GT(second, 0);
    EXPECT_EQ(childproc::WaitExit(second), 0);

    std::ifstream in(report);
    std::string messageBox, icon, caption, text;
    std::getline(in, messageBox);
    std::getline(in, icon);
    std::getline(in, caption);
    std::getline(in, text);
    EXPECT_EQ(messageBox, "1");
    EXPECT_EQ(icon, std::to_string(MB_ICONINFORMATION));
    EXPECT_EQ(caption, "MARL キッティングサポートツール");  // CHILD_TITLE
    EXPECT_EQ(text, "このプログラムは既に起動中です。");  // SINGLE_TOOL

    // the first copy runs on
    EXPECT_NE(ui::test::FindDialog(IDD_MARL_WRITE_APN_INFO), nullptr);
    first.Close();
    place.Remove();
    g_strLanguageFilePath.clear();
}
