// Scenes for the screenshot pass that a program start alone does not reach:
// the tools in English (their language menu), the VX520 PIN pages (the
// emulator's SIM states, the PIN tab chosen), the prompts and the notices with
// the language files' texts. SETWELL_UI_SCENE names the scene; once it is set
// up the program creates the file SETWELL_UI_SCENE_READY and keeps the window
// until SETWELL_UI_HOLD_MS have passed. Skipped without a display or a scene.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "app/language.h"
#include "app/notice_dialogs.h"
#include "app/prompt_dialogs.h"
#include "platform/ui/test_driver.h"
#include "platform/win/debug_output.h"
#include "tests/support/real_window.h"
#include "tests/support/tool_test_env.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"
#include "tools/kitting/write_apn_info_dlg.h"
#include "tools/vx520/network_page.h"
#include "tools/vx520/pin_pages.h"
#include "tools/vx520/vx520_dialog.h"

using modemsim::SimState;

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

struct Scene {
    enum Kind { Prompt, BigPrompt, NormalNotice, ModemNotice, Vx520, GenSwitch, Kitting } kind;
    SimState sim = SimState::Ready;
    UINT pinPage = 0;   // the PIN tab with that page, 0 the network tab
    // on the tool once it is up: its authentication list opened with a click,
    // or a message box it owns
    enum Extra { None, OpenAuthList, OwnedBox } extra = None;
};

// "<scene>-ja" or "<scene>-en"
const std::map<std::string, Scene> kScenes = {
    {"prompt", {Scene::Prompt}},
    {"bigprompt", {Scene::BigPrompt}},
    {"notice-normal", {Scene::NormalNotice}},
    {"notice-modem", {Scene::ModemNotice}},
    {"setwell", {Scene::Vx520}},
    {"swapwell", {Scene::GenSwitch}},
    // the provisioning tool's texts with their line breaks (no language menu:
    // "-en" names the English file before the tool looks for one)
    {"provisioning", {Scene::Kitting}},
    {"pin-setting", {Scene::Vx520, SimState::Ready, IDD_VX520_PIN_SETTING_PAGE}},
    {"pin-entry", {Scene::Vx520, SimState::Pin, IDD_VX520_PIN_ENTRY_PAGE}},
    {"pin-puk", {Scene::Vx520, SimState::Puk, IDD_VX520_PUK_ENTRY_PAGE}},
    {"pin-fail", {Scene::Vx520, SimState::Fail, IDD_VX520_SIM_FAIL_PAGE}},
    {"auth-list", {Scene::Vx520, SimState::Ready, 0, Scene::OpenAuthList}},
    {"owned-box", {Scene::Vx520, SimState::Ready, 0, Scene::OwnedBox}},
};

struct SceneApp : CWinApp {
    Scene scene{};
    bool english = false;
    std::wstring languageFile;
    std::string failure;

    CString Text(const wchar_t* section, const wchar_t* key)
    {
        return ReadLanguageString(section, key, languageFile);
    }

    void Ready()
    {
        std::ofstream(Env("SETWELL_UI_SCENE_READY")) << "ready\n";
    }

    // holds the picture, then closes the window as a user would
    void HoldThenClose(HWND h)
    {
        const std::string hold = Env("SETWELL_UI_HOLD_MS");
        std::this_thread::sleep_for(std::chrono::milliseconds(hold.empty() ? 3000 : std::atoi(hold.c_str())));
        std::thread answering([] {
            for (int i = 0; i < 10 && ui::test::AnswerPopup(200); ++i) {
            }
        });
        if (::IsWindow(h))
            ui::test::PressCloseBox(h);
        answering.join();
    }

    // A tool dialog: its first watch pass, English through its menu, the PIN tab.
    void DriveTool(UINT templateId, DebugCapture* capture)
    {
        HWND d = ui::test::WaitForDialog(templateId);
        // past the first watch pass, which reads the device for the new connection
        if (templateId == IDD_VX520_MODEM_SETTING &&
            !ui::test::WaitUntil([&] { return capture->Count("Search NMEA Port SUCCESS!") >= 2; }))
            failure = "no watch pass";
        if (!d) {
            failure = "the tool did not open";
            return;
        }
        if (english && !ui::test::ChooseMenuItem(d, ID_LANGUAGE_ENGLISH_138))
            failure = "no English menu item";
        if (scene.pinPage) {
            HWND tab = ui::test::Control(d, IDC_VX520_TAB);
            // the tab change reads the device: once the watch pass found it
            ui::test::WaitUntil([&] { return ui::test::IsEnabled(ui::test::Control(d, IDC_VX520_READ)); });
            ui::test::SelectTab(tab, 1);
            if (!ui::test::WaitUntil([&] {
                    HWND page = ui::test::FindDialog(scene.pinPage);
                    return page && ui::test::IsVisible(page);
                }))
                failure = "the PIN page did not show";
        }
        ui::test::WaitIdle(d);
        std::thread box;
        if (scene.extra == Scene::OpenAuthList)
            OpenAuthList(d);
        if (scene.extra == Scene::OwnedBox) {
            box = std::thread([d] { ::MessageBox(d, L"Set Successfully!", L"Attention", MB_ICONINFORMATION); });
            if (!ui::test::WaitForPopup())
                failure = "no message box";
        }
        Ready();
        HoldThenClose(d);
        if (box.joinable())
            box.join();
    }

    // a click on the network page's authentication list, as a user opens it
    void OpenAuthList(HWND d)
    {
        HWND combo = ui::test::FindControl(IDD_VX520_NETWORK_PAGE, IDC_NET_AUTH_COMBO);
        if (!ui::test::WaitUntil([&] { return ui::test::IsEnabled(combo) && ui::test::IsVisible(combo); })) {
            failure = "the authentication list is not usable";
            return;
        }
        tooltest::MappedWindow window;
        if (!tooltest::FirstMappedWindow(Env("SETWELL_UI_MAPPED_LOG"), &window) ||
            !tooltest::ClickInWindow(window, tooltest::FieldCentre(d, combo, window)))
            failure = "no click on the list";
        std::this_thread::sleep_for(std::chrono::milliseconds(300));   // the list's window is drawn
    }

    BOOL InitInstance() override
    {
        const wchar_t* gen = kGenSwitchModeSection;
        std::thread driver;
        DebugCapture capture;
        CDialog* tool = nullptr;
        UINT toolId = 0;
        switch (scene.kind) {
        case Scene::Prompt:
        case Scene::BigPrompt: {
            UINT id = scene.kind == Scene::Prompt ? IDD_PROMPT_INFO : IDD_BIG_PROMPT_INFO;
            driver = std::thread([this, id] {
                HWND d = ui::test::WaitForDialog(id);
                Ready();
                HoldThenClose(d);
            });
            if (scene.kind == Scene::Prompt)
                ShowPromptInfo(Text(kVX520Section, L"SINGLE_TOOL"), Text(kVX520Section, L"ATTENTION"));
            else
                ShowBigPromptInfo(Text(kVX520Section, L"WRONG_PIN_THREE_TIMES"), Text(kVX520Section, L"ATTENTION"));
            break;
        }
        case Scene::NormalNotice:
        case Scene::ModemNotice: {
            bool normal = scene.kind == Scene::NormalNotice;
            UINT id = normal ? IDD_NORMAL_MODE_NOTICE : IDD_MODEM_MODE_NOTICE;
            int ok = normal ? IDC_NORMAL_NOTICE_OK : IDC_MODEM_NOTICE_OK;
            driver = std::thread([this, id, ok] {
                HWND d = ui::test::WaitForDialog(id);
                Ready();
                const std::string hold = Env("SETWELL_UI_HOLD_MS");
                std::this_thread::sleep_for(std::chrono::milliseconds(hold.empty() ? 3000 : std::atoi(hold.c_str())));
                if (d)
                    ui::test::Click(ui::test::Control(d, ok));   // only OK ends a notice
            });
            CString text = Text(gen, normal ? L"NORMAL_MODE_NOTES" : L"MODEM_MODE_NOTES");
            if (normal)
                ShowNormalModeNotice(text, Text(gen, L"ATTENTION1"), Text(gen, L"DONOT_AGAIN"));
            else
                ShowModemModeNotice(text, Text(gen, L"ATTENTION1"), Text(gen, L"DONOT_AGAIN"));
            break;
        }
        case Scene::Vx520:
            tool = CreateVX520ModemSettingDlg();
            toolId = IDD_VX520_MODEM_SETTING;
            break;
        case Scene::GenSwitch:
            tool = CreateSwitchModeToolDlg();
            toolId = IDD_SWITCH_MODE_TOOL;
            break;
        case Scene::Kitting:
            if (english)
                g_strLanguageFilePath = languageFile;
            tool = CreateMarlWriteAPNInfoDlg();
            toolId = IDD_MARL_WRITE_APN_INFO;
            break;
        }
        if (tool) {
            driver = std::thread([this, toolId, &capture] { DriveTool(toolId, &capture); });
            m_pMainWnd = tool;
            tool->DoModal();
            m_pMainWnd = nullptr;
        }
        driver.join();
        return FALSE;
    }
};

TEST(RealWindowScene, Show)
{
    const std::string mode = Env("SETWELL_UI"), display = Env("DISPLAY"), name = Env("SETWELL_UI_SCENE");
    if (mode == "headless" || display.empty() || name.empty() || Env("SETWELL_UI_SCENE_READY").empty())
        GTEST_SKIP() << "a scene of scripts/screenshots";
    const size_t dash = name.rfind('-');
    ASSERT_NE(dash, std::string::npos) << name;
    auto it = kScenes.find(name.substr(0, dash));
    ASSERT_NE(it, kScenes.end()) << name;
    const std::string language = name.substr(dash + 1);
    ASSERT_TRUE(language == "ja" || language == "en") << name;

    tooltest::Workplace place;
    place.Make("ui-scene");
    place.WriteToolConfig();
    place.WriteLanguageFiles();
    std::unique_ptr<modemsim::ModemEmulator> emulator;
    if (it->second.kind == Scene::Vx520 || it->second.kind == Scene::GenSwitch || it->second.kind == Scene::Kitting) {
        modemsim::EmulatorOptions options;
        options.sim = it->second.sim;
        emulator = place.StartEmulator(options);
    }

    SceneApp app;
    app.scene = it->second;
    app.english = language == "en";
    app.languageFile = g_strWorkFolder + L"/" + (app.english ? kEnglishLanguageFile : kJapaneseLanguageFile);
    EXPECT_EQ(AfxWinMain(), 0);
    EXPECT_EQ(app.failure, "");
    if (emulator)
        emulator->Stop();
    place.Remove();
}

}  // namespace
