// The keyboard in real windows, as the X server delivers it (xdotool): Tab
// and Shift+Tab round Setwell's network page, a radio group as one stop with
// the arrows inside it, Ctrl+Tab / Ctrl+PageDown through the carrier setting
// tool's pages, and a result box centred over its tool. The focus is read
// from the model. Run by scripts/screenshots under Xvfb; skipped headless.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/language.h"
#include "app/prompt_dialogs.h"
#include "platform/ui/test_driver.h"
#include "platform/win/debug_output.h"
#include "tests/support/real_window.h"
#include "tests/support/tool_test_env.h"
#include "tools/carriersetting/carrier_setting_dlg.h"
#include "tools/vx520/network_page.h"
#include "tools/vx520/vx520_dialog.h"

namespace {

using namespace ui::test;

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

int IdOf(HWND h)
{
    int id = 0;
    ui::WithNode(h, [&](ui::Node& n) { id = n.id; });
    return id;
}

bool Key(const tooltest::MappedWindow& window, const std::string& keys)
{
    return std::system(("xdotool key --window " + window.xid + " " + keys + " 2>/dev/null").c_str()) == 0;
}

// "X Y W H" of an X window, from xwininfo
bool Geometry(const std::string& xid, int* x, int* y, int* w, int* h)
{
    FILE* p = ::popen(("xwininfo -id " + xid + " 2>/dev/null").c_str(), "r");
    if (!p)
        return false;
    char line[256];
    int found = 0;
    while (std::fgets(line, sizeof line, p)) {
        found += std::sscanf(line, " Absolute upper-left X: %d", x) == 1;
        found += std::sscanf(line, " Absolute upper-left Y: %d", y) == 1;
        found += std::sscanf(line, " Width: %d", w) == 1;
        found += std::sscanf(line, " Height: %d", h) == 1;
    }
    ::pclose(p);
    return found == 4;
}

// the index-th line's window of the mapped log
std::string MappedXid(const std::string& log, size_t index)
{
    std::string id;
    WaitUntil([&] {
        FILE* f = std::fopen(log.c_str(), "r");
        if (!f)
            return false;
        char line[512];
        for (size_t i = 0; std::fgets(line, sizeof line, f); ++i)
            if (i == index) {
                id = std::string(line).substr(0, std::string(line).find(' '));
                break;
            }
        std::fclose(f);
        return !id.empty();
    });
    return id;
}

struct ToolApp : CWinApp {
    std::string mappedLog;
    std::vector<std::string> failures;
    CDialog* tool = nullptr;
    UINT toolId = 0;
    std::function<void(HWND, const tooltest::MappedWindow&)> drive;

    void Expect(bool ok, const std::string& what)
    {
        if (!ok)
            failures.push_back(what);
    }
    BOOL InitInstance() override
    {
        std::thread driver([this] {
            HWND d = WaitForDialog(toolId);
            tooltest::MappedWindow window;
            if (!d || !tooltest::FirstMappedWindow(mappedLog, &window))
                failures.push_back("no mapped window");
            else
                drive(d, window);
            std::thread answering([] {
                for (int i = 0; i < 10 && AnswerPopup(200); ++i) {
                }
            });
            if (::IsWindow(d))
                PressCloseBox(d);
            answering.join();
        });
        m_pMainWnd = tool;
        tool->DoModal();
        m_pMainWnd = nullptr;
        driver.join();
        return FALSE;
    }
};

class KeyboardWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        log_ = Env("SETWELL_UI_MAPPED_LOG");
        if (Env("SETWELL_UI") == "headless" || Env("DISPLAY").empty() || log_.empty())
            GTEST_SKIP() << "needs a display and SETWELL_UI_MAPPED_LOG (scripts/screenshots)";
        place_.Make("ui-keyboard");
        place_.WriteToolConfig();
        g_strLanguageFilePath.clear();
        emulator_ = place_.StartEmulator();
    }
    void TearDown() override
    {
        if (emulator_)
            emulator_->Stop();
        place_.Remove();
    }
    void Run(ToolApp& app)
    {
        app.mappedLog = log_;
        EXPECT_EQ(AfxWinMain(), 0);
        EXPECT_TRUE(app.failures.empty()) << ::testing::PrintToString(app.failures);
    }
    std::string log_;
    DebugCapture capture_;
    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
};

// the Setwell window once its watch pass has found the device and read the page
HWND NetworkReady(HWND d, const DebugCapture& capture)
{
    // past the first watch pass, which reads the device for the new connection
    WaitUntil([&] { return capture.Count("Search NMEA Port SUCCESS!") >= 2; }, 60000);
    // the page is filled from the device once the window is up
    HWND auth = FindControl(IDD_VX520_NETWORK_PAGE, IDC_NET_AUTH_COMBO);
    WaitUntil([&] { return IsEnabled(Control(d, IDC_VX520_READ)) && IsEnabled(auth); }, 60000);
    WaitIdle(d);
    return FindControl(IDD_VX520_NETWORK_PAGE, IDC_NET_APN_EDIT);
}

// The stops a person expects from the APN field on, once round: each enabled
// control of the page and the window; a radio group is one stop, at its
// checked button.
std::vector<std::vector<HWND>> ExpectedCycle(HWND d)
{
    auto page = [](int id) { return FindControl(IDD_VX520_NETWORK_PAGE, id); };
    auto usable = [](HWND h) { return h && IsEnabled(h) && IsVisible(h); };
    std::vector<std::vector<int>> pageStops = {{IDC_NET_APN_EDIT}, {IDC_NET_AUTH_COMBO}, {IDC_NET_USER_EDIT},
                                               {IDC_NET_PASSWORD_EDIT}};
    std::vector<std::vector<int>> groups = {{IDC_NET_MODE_ALL, IDC_NET_MODE_LTE},
                                            {IDC_NET_ROAMING_ENABLE, IDC_NET_ROAMING_DISABLE},
                                            {IDC_NET_SELECTION_AUTO, IDC_NET_SELECTION_MANUAL},
                                            {IDC_NET_SEARCH},
                                            {IDC_NET_OPERATOR_LIST}};
    std::vector<std::vector<HWND>> out;
    auto add = [&](std::vector<HWND> members) {
        std::vector<HWND> kept;
        for (HWND h : members)
            if (usable(h))
                kept.push_back(h);
        if (!kept.empty())
            out.push_back(kept);
    };
    for (auto& ids : pageStops)
        add({page(ids[0])});
    add({Control(d, IDC_VX520_READ)});
    add({Control(d, IDC_VX520_APPLY)});
    add({Control(d, IDC_VX520_TAB)});
    for (auto& ids : groups) {
        std::vector<HWND> members;
        for (int id : ids)
            members.push_back(page(id));
        add(members);
    }
    return out;
}

// the focus is on that stop: one of its members, the checked one of a group
bool FocusOn(HWND d, const std::vector<HWND>& stop)
{
    HWND f = FocusOf(d);
    bool anyChecked = false;
    for (HWND h : stop)
        anyChecked |= stop.size() > 1 && IsChecked(h);
    return std::find(stop.begin(), stop.end(), f) != stop.end() && (!anyChecked || IsChecked(f));
}

TEST_F(KeyboardWindow, TabGoesRoundSetwellsNetworkPage)
{
    ToolApp app;
    app.tool = CreateVX520ModemSettingDlg();
    app.toolId = IDD_VX520_MODEM_SETTING;
    app.drive = [&](HWND d, const tooltest::MappedWindow& window) {
        HWND apn = NetworkReady(d, capture_);
        app.Expect(SetFocusTo(apn), "focus to the APN field");
        app.Expect(WaitUntil([&] { return FocusOf(d) == apn; }), "the APN field has the focus");
        // the page may still change what is enabled: the stops are taken anew before each key
        for (bool back : {false, true}) {
            const size_t rounds = ExpectedCycle(d).size();
            app.Expect(rounds >= 8, "the page has its controls: " + std::to_string(rounds));
            for (size_t i = 1; i <= rounds; ++i) {
                const auto cycle = ExpectedCycle(d);
                size_t at = 0;
                while (at < cycle.size() && !FocusOn(d, cycle[at]))
                    ++at;
                app.Expect(at < cycle.size(), "the focus is on a stop: " + std::to_string(IdOf(FocusOf(d))));
                app.Expect(cycle.size() == rounds, "the page changed under the keys");
                if (!app.failures.empty())
                    return;
                const auto& want = cycle[(at + (back ? cycle.size() - 1 : 1)) % cycle.size()];
                app.Expect(Key(window, back ? "shift+Tab" : "Tab"), "Tab typed");
                app.Expect(WaitUntil([&] { return FocusOn(d, want); }),
                           std::string(back ? "Shift+Tab" : "Tab") + " stop " + std::to_string(i) + " of " +
                               std::to_string(cycle.size()) + ": control " + std::to_string(IdOf(want[0])) +
                               ", the focus is on " + std::to_string(IdOf(FocusOf(d))));
                if (!app.failures.empty())
                    return;
            }
            app.Expect(FocusOf(d) == apn, "once round, the focus is back on the APN field");
        }
    };
    Run(app);
}

TEST_F(KeyboardWindow, ArrowsMoveInsideARadioGroup)
{
    ToolApp app;
    app.tool = CreateVX520ModemSettingDlg();
    app.toolId = IDD_VX520_MODEM_SETTING;
    app.drive = [&](HWND d, const tooltest::MappedWindow& window) {
        NetworkReady(d, capture_);
        HWND all = FindControl(IDD_VX520_NETWORK_PAGE, IDC_NET_MODE_ALL);
        HWND lte = FindControl(IDD_VX520_NETWORK_PAGE, IDC_NET_MODE_LTE);
        HWND enable = FindControl(IDD_VX520_NETWORK_PAGE, IDC_NET_ROAMING_ENABLE);
        HWND disable = FindControl(IDD_VX520_NETWORK_PAGE, IDC_NET_ROAMING_DISABLE);
        // a click on the unchecked button checks it and gives it the focus
        HWND other = IsChecked(all) ? lte : all;
        app.Expect(tooltest::ClickInWindow(window, tooltest::FieldCentre(d, other, window)), "click on a mode");
        app.Expect(WaitUntil([&] { return FocusOf(d) == other && IsChecked(other); }), "the clicked radio is focused");
        if (other == lte) {
            app.Expect(Key(window, "Left"), "Left typed");
            app.Expect(WaitUntil([&] { return FocusOf(d) == all && IsChecked(all); }), "Left to 4G/LTE/3G/GSM");
        }
        app.Expect(Key(window, "Right"), "Right typed");
        app.Expect(WaitUntil([&] { return FocusOf(d) == lte && IsChecked(lte) && !IsChecked(all); }),
                   "Right moves to 4G/LTE and checks it");
        app.Expect(Key(window, "Down"), "Down typed");
        app.Expect(WaitUntil([&] { return FocusOf(d) == all && IsChecked(all); }), "Down wraps round the group");
        app.Expect(Key(window, "Left"), "Left typed");
        app.Expect(WaitUntil([&] { return FocusOf(d) == lte && IsChecked(lte); }), "Left wraps back");
        // one Tab leaves the group for the next one, at its checked button
        HWND roaming = IsChecked(disable) ? disable : enable;
        app.Expect(Key(window, "Tab"), "Tab typed");
        app.Expect(WaitUntil([&] { return FocusOf(d) == roaming; }), "one Tab leaves the group");
        app.Expect(Key(window, "shift+Tab"), "Shift+Tab typed");
        app.Expect(WaitUntil([&] { return FocusOf(d) == lte; }), "Shift+Tab comes back to the checked button");
    };
    Run(app);
}

TEST_F(KeyboardWindow, CtrlTabChangesTheCarrierSettingPage)
{
    ToolApp app;
    app.tool = new CMarlModemSettingDlg();
    app.toolId = IDD_MARL_MODEM_SETTING;
    app.drive = [&](HWND d, const tooltest::MappedWindow& window) {
        HWND tab = Control(d, IDC_MARL_SETTING_TAB);
        app.Expect(Items(tab).size() >= 2, "the tool has two pages");
        WaitIdle(d);
        struct Step {
            const char* keys;
            int page;
        };
        for (Step s : {Step{"ctrl+Tab", 1}, Step{"ctrl+shift+Tab", 0}, Step{"ctrl+Next", 1}, Step{"ctrl+Prior", 0},
                       Step{"ctrl+Prior", 1}}) {
            app.Expect(Key(window, s.keys), s.keys);
            app.Expect(WaitUntil([&] { return Selection(tab) == s.page; }),
                       std::string(s.keys) + " shows page " + std::to_string(s.page));
            WaitIdle(d);
        }
    };
    Run(app);
    delete app.tool;
}

TEST_F(KeyboardWindow, ResultBoxOpensCentredOverItsTool)
{
    ToolApp app;
    app.tool = CreateVX520ModemSettingDlg();
    app.toolId = IDD_VX520_MODEM_SETTING;
    app.drive = [&](HWND d, const tooltest::MappedWindow& window) {
        NetworkReady(d, capture_);
        std::thread box([] { ShowPromptInfo(L"Set Successfully!", L"Attention"); });
        auto popup = WaitForPopup();
        app.Expect(popup.has_value(), "the box is up");
        const std::string boxXid = MappedXid(app.mappedLog, 1);
        int ox = 0, oy = 0, ow = 0, oh = 0, bx = 0, by = 0, bw = 0, bh = 0;
        app.Expect(Geometry(window.xid, &ox, &oy, &ow, &oh), "the tool's geometry");
        app.Expect(WaitUntil([&] { return Geometry(boxXid, &bx, &by, &bw, &bh) && bw > 0; }), "the box's geometry");
        const int dx = (bx + bw / 2) - (ox + ow / 2), dy = (by + bh / 2) - (oy + oh / 2);
        app.Expect(std::abs(dx) <= 2 && std::abs(dy) <= 2,
                   "box at " + std::to_string(bx) + "," + std::to_string(by) + " " + std::to_string(bw) + "x" +
                       std::to_string(bh) + " over " + std::to_string(ox) + "," + std::to_string(oy) + " " +
                       std::to_string(ow) + "x" + std::to_string(oh));
        if (popup)
            ClosePopup(*popup);
        box.join();
    };
    Run(app);
}

}  // namespace
