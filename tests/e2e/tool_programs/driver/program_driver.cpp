// Built into a copy of a tool-type program for the whole-program tests, around
// the program's own main (renamed ProgramMain there): when
// TOOL_DRIVER_REPORT names a file, a thread works the program's headless
// window as a user would and writes down what it saw, one line each:
//   dialog <template id>      the tool's dialog is up
//   popup <caption>|<text>    a box it answered
//   closed                    it pressed the close box
//   no dialog                 the dialog did not come (after the box that came instead)
// TOOL_DRIVER_TEMPLATE  the dialog template to wait for
// TOOL_DRIVER_CLICKS    control ids to press in order, comma-separated; an id
//                       ending in "!" is a button whose run ends in a box
// TOOL_DRIVER_GO        a file to wait for before the first press
// TOOL_DRIVER_REFUSAL=N a second copy (1) or a failed start: only answer the
//                       first N boxes
// TOOL_DRIVER_STAY=1    leave the tool open after the presses, its boxes unanswered
// TOOL_DRIVER_EITHER=1  either copy of a start race: a box before the dialog
//                       is answered as the refusal, else as without it
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "app/tool_dialog_frame.h"
#include "platform/ui/test_driver.h"
#include "platform/win/code_page.h"
#include "tests/support/settled_click.h"

namespace {

class Report {
public:
    explicit Report(const char* path) : out_(path, std::ios::app) {}
    void Line(const std::string& text)
    {
        out_ << text << "\n";
        out_.flush();
    }

private:
    std::ofstream out_;
};

void AnswerOnePopup(Report& report, DWORD timeoutMs)
{
    auto popup = ui::test::WaitForPopup(timeoutMs);
    if (!popup) {
        report.Line("no popup");
        return;
    }
    report.Line("popup " + WideToUtf8(popup->caption) + "|" + WideToUtf8(popup->text));
    ui::test::ClosePopup(*popup);
}

// The tool's dialog; null when a box came first (a refusal: answered, so that
// the program ends at once and the test reads why) or after a minute.
HWND WaitForToolDialog(UINT templateId, Report& report, bool* boxed)
{
    for (int waited = 0; waited < 60000; waited += 20) {
        if (HWND dialog = ui::test::FindDialog(templateId))
            return dialog;
        if (auto popup = ui::test::WaitForPopup(20)) {
            report.Line("popup " + WideToUtf8(popup->caption) + "|" + WideToUtf8(popup->text));
            ui::test::ClosePopup(*popup);
            *boxed = true;
            return nullptr;
        }
    }
    return nullptr;
}

void Drive(const std::string& reportPath)
{
    Report report(reportPath.c_str());
    if (const char* refusal = std::getenv("TOOL_DRIVER_REFUSAL"); refusal && std::atoi(refusal) > 0) {
        for (int n = std::atoi(refusal); n > 0; --n)
            AnswerOnePopup(report, 60000);
        return;
    }
    const char* templ = std::getenv("TOOL_DRIVER_TEMPLATE");
    const char* either = std::getenv("TOOL_DRIVER_EITHER");
    bool boxed = false;
    HWND dialog = WaitForToolDialog(templ ? static_cast<UINT>(std::atoi(templ)) : 0, report, &boxed);
    if (!dialog) {
        // in a start race the box is all the refused copy shows
        if (!boxed || !either || *either != '1')
            report.Line("no dialog");
        return;
    }
    report.Line(std::string("dialog ") + templ);
    if (const char* go = std::getenv("TOOL_DRIVER_GO"))
        while (!std::filesystem::exists(go))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto* frame = dynamic_cast<CToolDialogFrame*>(AfxGetMainWnd());
    std::stringstream clicks(std::getenv("TOOL_DRIVER_CLICKS") ? std::getenv("TOOL_DRIVER_CLICKS") : "");
    const char* stayValue = std::getenv("TOOL_DRIVER_STAY");
    const bool stay = stayValue && *stayValue == '1';
    for (std::string id; std::getline(clicks, id, ',');) {
        bool boxed = !id.empty() && id.back() == '!';
        HWND control = ui::test::Control(dialog, std::atoi(id.c_str()));
        bool clicked = boxed && frame ? tooltest::ClickWhenSettled(frame, control) : ui::test::Click(control);
        if (!clicked) {
            report.Line("not clicked " + id);
            break;
        }
        if (boxed && !stay)
            AnswerOnePopup(report, 180000);
    }
    if (stay)
        return;
    report.Line("closed");
    ui::test::PressCloseBox(dialog);
}

}  // namespace

// The program's own main, renamed for this copy.
int ProgramMain();

int main()
{
    const char* report = std::getenv("TOOL_DRIVER_REPORT");
    if (report && *report)
        std::thread(Drive, std::string(report)).detach();
    return ProgramMain();
}
