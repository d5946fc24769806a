#pragma once
// A tool started as a second copy, in a child process of the test program
// that runs one gtest of the same program; the child writes down the popup
// its refusal shows and answers it.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_paths.h"
#include "platform/ui/afx.h"
#include "platform/ui/test_driver.h"
#include "platform/win/code_page.h"
#include "tests/support/child_process.h"

extern char** environ;

namespace secondcopy {

constexpr const char* kReportVariable = "MARL_SECOND_COPY_REPORT";

struct Refusal {
    int exitCode = -1;
    bool seen = false;
    bool messageBox = false;
    UINT templateId = 0;
    UINT type = 0;
    std::string caption;
    std::string text;
};

// The child's side: runs Dialog as the main window of a fresh application
// object; returns only when the report variable is absent.
template <class Dialog>
void RunAsSecondCopy()
{
    const char* report = std::getenv(kReportVariable);
    if (!report)
        GTEST_SKIP() << "runs only as the second copy";
    std::string reportPath = report;
    g_strWorkFolder = Utf8ToWide(std::filesystem::path(reportPath).parent_path().string());
    g_strCfgFilePath = g_strWorkFolder + L"/Adatper_cfg.ini";
    g_strLanguageFilePath.clear();
    std::thread([reportPath] {
        auto popup = ui::test::WaitForPopup(30000);
        {
            std::ofstream out(reportPath);
            if (popup)
                out << popup->messageBox << "\n"
                    << popup->templateId << "\n"
                    << popup->type << "\n"
                    << WideToUtf8(popup->caption) << "\n"
                    << WideToUtf8(popup->text) << "\n";
        }
        if (popup)
            ui::test::ClosePopup(*popup);
    }).detach();
    CWinApp app;
    Dialog dialog;
    app.m_pMainWnd = &dialog;
    dialog.DoModal();
    std::exit(3);  // reached only when the refusal did not end the process
}

// The parent's side: runs gtest `filter` of this program as a second copy with
// its report in folder (which must exist) and waits for it to end.
inline Refusal StartSecondCopy(const std::string& filter, const std::string& folder)
{
    Refusal result;
    std::string report = folder + "/second-copy-report.txt";
    pid_t pid = childproc::SpawnSelf(filter, {std::string(kReportVariable) + "=" + report});
    if (pid < 0)
        return result;
    result.exitCode = childproc::WaitExit(pid);
    std::ifstream in(report);
    std::string line;
    if (std::getline(in, line)) {
        result.seen = true;
        result.messageBox = line == "1";
        std::getline(in, line);
        result.templateId = static_cast<UINT>(std::stoul(line.empty() ? "0" : line));
        std::getline(in, line);
        result.type = static_cast<UINT>(std::stoul(line.empty() ? "0" : line));
        std::getline(in, result.caption);
        std::getline(in, result.text);
    }
    return result;
}

}  // namespace secondcopy
