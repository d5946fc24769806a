// Picks from an open drop-down list in a real window while the tool's watch
// thread refreshes the dialog: the carrier APN page's IP-type lists, opened
// with a click and chosen with the keys as a user does (xdotool), every pick
// sticks; the write then sends the picked type. Run by scripts/screenshots
// under Xvfb; skipped in the headless test runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/language.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "tests/support/real_window.h"
#include "tests/support/settled_click.h"
#include "tests/support/tool_test_env.h"
#include "tools/carriersetting/apn_page.h"
#include "tools/carriersetting/carrier_setting_dlg.h"

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Top-level windows the X server shows (a list's menu is one of them).
int VisibleWindows()
{
    FILE* p = ::popen("xdotool search --onlyvisible --maxdepth 1 --name '' 2>/dev/null", "r");
    if (!p)
        return -1;
    int lines = 0;
    for (int c; (c = std::fgetc(p)) != EOF;)
        lines += c == '\n';
    ::pclose(p);
    return lines;
}

struct PickApp : CWinApp {
    std::string mappedLog;
    int picks = 0;
    modemsim::ModemEmulator* emulator = nullptr;
    std::vector<std::string> failures;
    int picked = 0;

    void Expect(bool ok, const std::string& what)
    {
        if (!ok)
            failures.push_back(what);
    }
    static bool Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()) == 0; }

    void Drive(CMarlModemSettingDlg* dlg)
    {
        HWND d = ui::test::WaitForDialog(IDD_MARL_MODEM_SETTING);
        tooltest::MappedWindow window;
        if (!d || !tooltest::FirstMappedWindow(mappedLog, &window)) {
            failures.push_back("no mapped window");
            return;
        }
        // the windows shown with no list or box open; a list's menu unmaps a
        // while after its pick, and a click before that lands on the old menu
        const int shownClosed = VisibleWindows();
        auto button = [&](int id) { return ui::test::Control(d, id); };
        auto row = [&](int id) { return ui::test::FindControl(IDD_MARL_APN_PAGE, id); };
        // Read fills the rows; rows 1 and 2 stay empty
        Expect(tooltest::ClickWhenSettled(dlg, button(IDC_MARL_SETTING_READ)), "Read pressed");
        auto read = ui::test::WaitForPopup(120000);
        Expect(read && read->text == std::wstring(ReadModemSettingString(L"READ_SUCCESS_INFO")), "Read succeeded");
        if (read)
            ui::test::ClosePopup(*read);
        Expect(ui::test::WaitUntil([&] { return ui::test::IsEnabled(row(ApnRowComboId(1))); }, 60000),
               "the rows come back after the Read");
        for (int i = 0; i < picks && failures.empty(); ++i) {
            HWND combo = row(ApnRowComboId(1 + i % 2));
            const int target = (i / 2) % 2 == 0 ? APN_IPTYPE_IPV6 : APN_IPTYPE_IPV4;
            const int current = ui::test::Selection(combo);
            POINT at = tooltest::FieldCentre(d, combo, window);
            // the list opens under the click; the keys walk it from the
            // current item (from none, the first Down takes the first item)
            std::string keys;
            int steps = current < 0 ? target + 1 : target - current;
            for (int s = 0; s < std::abs(steps); ++s)
                keys += steps > 0 ? " Down" : " Up";
            Expect(ui::test::WaitUntil([&] { return VisibleWindows() <= shownClosed; }), "the last list closed");
            Expect(tooltest::ClickInWindow(window, at), "click on the list");
            // the list is open once its menu window is mapped (it then holds the keys)
            Expect(ui::test::WaitUntil([&] { return VisibleWindows() > shownClosed; }),
                   "the list opens (pick " + std::to_string(i) + ")");
            Expect(Run("xdotool key" + keys + " Return"), "keys in the open list");
            Expect(ui::test::WaitUntil([&] { return ui::test::Selection(combo) == target; }),
                   "pick " + std::to_string(i) + " sticks in the model");
            // and stays, whatever the watch does meanwhile
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            Expect(ui::test::Selection(combo) == target, "pick " + std::to_string(i) + " stays");
            ++picked;
        }
        if (!failures.empty())
            return;
        // the APNs of the two rows typed in as a user does
        for (int r : {1, 2}) {
            POINT at = tooltest::FieldCentre(d, row(ApnRowEditId(r)), window);
            Expect(tooltest::ClickInWindow(window, at, " key ctrl+a type pick" + std::to_string(r) + ".apn"),
                   "typing the APN");
            Expect(ui::test::WaitUntil([&] { return ui::test::Text(row(ApnRowEditId(r))) == L"pick" + std::to_wstring(r) + L".apn"; }),
                   "the APN typed into row " + std::to_string(r) + ": \"" +
                       WideToUtf8(ui::test::Text(row(ApnRowEditId(r)))) + "\" enabled " +
                       std::to_string(ui::test::IsEnabled(row(ApnRowEditId(r)))));
        }
        const int type1 = ui::test::Selection(row(ApnRowComboId(1)));
        const int type2 = ui::test::Selection(row(ApnRowComboId(2)));
        Expect(tooltest::ClickWhenSettled(dlg, button(IDC_MARL_SETTING_WRITE)), "Write pressed");
        auto write = ui::test::WaitForPopup(120000);
        Expect(write && write->text == std::wstring(ReadModemSettingString(L"WRITE_SUCCESS_INFO")), "Write succeeded");
        if (write)
            ui::test::ClosePopup(*write);
        auto typeText = [](int type) { return type == APN_IPTYPE_IPV6 ? "IPV6" : "IP"; };
        bool second = false, third = false;
        for (const auto& context : emulator->PdpContexts()) {
            second |= context.cid == 2 && context.apn == "pick1.apn" && context.type == typeText(type1);
            third |= context.cid == 3 && context.apn == "pick2.apn" && context.type == typeText(type2);
        }
        Expect(second && third, "the device holds both rows with the picked types");
    }

    BOOL InitInstance() override
    {
        auto* dlg = new CMarlModemSettingDlg();
        tooltest::RunDriven(*this, dlg, IDD_MARL_MODEM_SETTING, [&] { Drive(dlg); });
        delete dlg;
        return FALSE;
    }
};

TEST(FrameworkWindow, PicksFromAnOpenListStickWhileTheWatchRefreshes)
{
    const std::string log = tooltest::RealWindowLog();
    if (log.empty())
        GTEST_SKIP() << "needs a display and SETWELL_UI_MAPPED_LOG (scripts/screenshots)";
    tooltest::Workplace place;
    place.Make("ui-list-pick");
    place.WriteToolConfig();
    g_strLanguageFilePath.clear();
    auto emulator = place.StartEmulator();
    modemsim::PdpContext first;
    first.cid = 1;
    first.apn = "first.apn";
    emulator->SetPdpContext(first);

    PickApp app;
    app.mappedLog = log;
    const std::string picks = Env("SETWELL_UI_PICKS");
    app.picks = picks.empty() ? 40 : std::atoi(picks.c_str());
    app.emulator = emulator.get();
    EXPECT_EQ(AfxWinMain(), 0);
    EXPECT_TRUE(app.failures.empty()) << ::testing::PrintToString(app.failures);
    EXPECT_EQ(app.picked, app.picks);
    emulator->Stop();
    place.Remove();
}

}  // namespace
