#pragma once
// Where a person clicks in a real window: the framework logs each mapped
// window ("0xID WxH caption", a box's texts after tabs) to
// SETWELL_UI_MAPPED_LOG, and a control's place follows from the model's
// pixels (the menu bar sits above the client area).
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "platform/ui/model.h"
#include "platform/ui/test_driver.h"

namespace tooltest {

struct MappedWindow {
    std::string xid;
    int height = 0;
};

// The first window in the log, once there is one.
inline bool FirstMappedWindow(const std::string& log, MappedWindow* out)
{
    return ui::test::WaitUntil([&] {
        std::ifstream in(log);
        std::string line;
        if (!std::getline(in, line) || line.find(' ') == std::string::npos)
            return false;
        out->xid = line.substr(0, line.find(' '));
        const std::string size = line.substr(line.find(' ') + 1);
        out->height = std::atoi(size.substr(size.find('x') + 1).c_str());
        return true;
    });
}

// The centre of a control's field in its top-level window as X has it (a
// drop-down list's field is its closed height).
inline POINT FieldCentre(HWND top, HWND control, const MappedWindow& window)
{
    int x = 0, y = 0, w = 0, h = 0, baseY = 13, modelHeight = 0;
    ui::WithNode(top, [&](ui::Node& n) {
        baseY = n.baseY;
        modelHeight = n.rect.bottom - n.rect.top;
    });
    ui::WithNode(control, [&](ui::Node& n) {
        w = n.rect.right - n.rect.left;
        h = n.rect.bottom - n.rect.top;
        if (n.kind == ui::WndKind::ComboBox)
            h = std::min(h, baseY + 9);
    });
    for (HWND c = control; c && c != top;) {
        HWND parent = nullptr;
        ui::WithNode(c, [&](ui::Node& n) {
            x += n.rect.left;
            y += n.rect.top;
            parent = n.parent;
        });
        c = parent;
    }
    return POINT{x + w / 2, y + h / 2 + (window.height - modelHeight)};
}

// A click there with xdotool, then what follows it (" key ..." or " type ...").
inline bool ClickInWindow(const MappedWindow& window, POINT at, const std::string& then = "")
{
    const std::string command = "xdotool mousemove --window " + window.xid + " " + std::to_string(at.x) + " " +
                                std::to_string(at.y) + " click 1" + then + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

// The mapped-window log of a real-window run; empty when the run is
// headless or has no display (the test then skips).
inline std::string RealWindowLog()
{
    const char* ui = std::getenv("SETWELL_UI");
    const char* display = std::getenv("DISPLAY");
    const char* log = std::getenv("SETWELL_UI_MAPPED_LOG");
    if ((ui && std::string(ui) == "headless") || !display || !*display || !log)
        return "";
    return log;
}

// Runs dialog modal on this thread (the UI thread) while drive works it from
// another; then the boxes still up are answered and the dialog of templateId
// closed by its close box, as a person ends the tool.
template <class Dialog>
void RunDriven(CWinApp& app, Dialog* dialog, UINT templateId, const std::function<void()>& drive)
{
    std::thread driver([&] {
        drive();
        HWND d = ui::test::FindDialog(templateId);
        std::thread answering([] {
            for (int i = 0; i < 10 && ui::test::AnswerPopup(200); ++i) {
            }
        });
        if (d)
            ui::test::PressCloseBox(d);
        answering.join();
    });
    app.m_pMainWnd = dialog;
    dialog->DoModal();
    app.m_pMainWnd = nullptr;
    driver.join();
}

}  // namespace tooltest
