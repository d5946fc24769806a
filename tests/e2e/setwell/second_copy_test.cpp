// A second copy of the modem setting tool refuses to start while the first runs.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_paths.h"
#include "platform/ui/test_driver.h"
#include "tests/support/child_process.h"
#include "tools/vx520/vx520_dialog.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

constexpr const char* kRoleVariable = "SETWELL_COPY_ROLE";
constexpr const char* kReportVariable = "SETWELL_COPY_REPORT";

pid_t SpawnSelf(const std::vector<std::string>& env) { return childproc::SpawnSelf("SetwellCopy.Run", env); }

std::string Ascii(const std::wstring& w)
{
    std::string out;
    for (wchar_t c : w)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace

// Runs only in a child started by the test below: "first" keeps the tool open
// (and reports once it is up), "second" reports the refusal it meets.
TEST(SetwellCopy, Run)
{
    const char* role = std::getenv(kRoleVariable);
    const char* report = std::getenv(kReportVariable);
    if (!role || !report)
        GTEST_SKIP() << "runs only as a child copy";
    fs::path folder = fs::path(report).parent_path();
    g_strWorkFolder = folder.wstring();
    g_strCfgFilePath = g_strWorkFolder + L"/Adatper_cfg.ini";
    std::string reportPath = report;
    bool second = std::string(role) == "second";
    std::thread([reportPath, second] {
        if (second) {
            auto popup = ui::test::WaitForPopup(30000);
            std::ofstream out(reportPath);
            if (popup)
                out << popup->messageBox << " " << ((popup->type & MB_ICONINFORMATION) != 0) << "\n"
                    << Ascii(popup->caption) << "|" << Ascii(popup->text) << "\n";
            out.close();
            if (popup)
                ui::test::ClosePopup(*popup);
        } else if (ui::test::WaitForDialog(IDD_VX520_MODEM_SETTING, 30000)) {
            std::ofstream(reportPath) << "up\n";
        }
    }).detach();
    CWinApp app;
    CVX520ModemSettingDlg dialog;
    app.m_pMainWnd = &dialog;
    dialog.DoModal();
    std::exit(3);  // the second copy never gets here; the first is killed
}

TEST(SetwellCopies, SecondCopyShowsTheFixedRefusalAndExitsZero)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/setwell-copies-XXXXXX";
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    std::string root = templ;
    ASSERT_EQ(mkdir((root + "/run").c_str(), 0700), 0);
    fs::create_directories(root + "/first");
    fs::create_directories(root + "/second");
    auto env = [&](const char* role) {
        return std::vector<std::string>{
            std::string(kRoleVariable) + "=" + role,
            std::string(kReportVariable) + "=" + root + "/" + role + "/report.txt",
            "TMPDIR=" + root,
            "XDG_RUNTIME_DIR=" + root + "/run",
            "XDG_CONFIG_HOME=" + root + "/config",
            "KESTLE_DEVICE_DIR=" + root + "/no-device",
        };
    };
    pid_t first = SpawnSelf(env("first"));
    ASSERT_GT(first, 0);
    bool up = childproc::WaitForFile(root + "/first/report.txt", 30000);
    pid_t second = up ? SpawnSelf(env("second")) : -1;
    int secondExit = second > 0 ? childproc::WaitExit(second) : -1;
    bool firstRuns = waitpid(first, nullptr, WNOHANG) == 0;
    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);

    EXPECT_TRUE(up);
    EXPECT_EQ(secondExit, 0);
    EXPECT_TRUE(firstRuns);
    std::ifstream in(root + "/second/report.txt");
    std::string kind, texts;
    std::getline(in, kind);
    std::getline(in, texts);
    // the dialog's own message box with the information icon, in fixed English
    EXPECT_EQ(kind, "1 1");
    EXPECT_EQ(texts, "Modem Setting Tool for K415NQ|The program has been running. Cannot open it again!");
    std::error_code ec;
    fs::remove_all(root, ec);
}
