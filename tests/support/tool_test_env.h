#pragma once
// What every tool test sets up: a private folder holding the per-user stores
// and the working folder (the process-wide paths point into it), the emulator
// published through KESTLE_DEVICE_DIR, and a dialog run modally on a UI thread
// of its own as the program's main window, so that its prompts are owned by it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/app_paths.h"
#include "app/language.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/afx.h"
#include "platform/ui/test_driver.h"
#include "platform/win/code_page.h"
#include "platform/win/own_resources.h"

namespace tooltest {

class Workplace {
public:
    // Makes <TMPDIR>/<name>-XXXXXX with config/, run/ (0700) and work/, and points
    // XDG_CONFIG_HOME, XDG_RUNTIME_DIR and g_strWorkFolder at them.
    void Make(const char* name)
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-XXXXXX";
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        root_ = templ;
        for (const char* sub : {"config", "run", "work"})
            std::filesystem::create_directories(root_ + "/" + sub);
        ::chmod((root_ + "/run").c_str(), 0700);
        setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
        g_strWorkFolder = Utf8ToWide(Work());
    }

    // Writes the program's resource "TOOLS" id into the working folder.
    void WriteResource(int id, const std::string& fileName)
    {
        const OwnResource* res = FindOwnResource("TOOLS", id);
        ASSERT_NE(res, nullptr) << id;
        std::ofstream(Work() + "/" + fileName, std::ios::binary)
            .write(reinterpret_cast<const char*>(res->data), static_cast<std::streamsize>(res->size));
    }

    // The released tool configuration, as the start-up writes it.
    void WriteToolConfig()
    {
        WriteResource(133, "Adatper_cfg.ini");
        g_strCfgFilePath = g_strWorkFolder + L"/Adatper_cfg.ini";
    }

    // Both language files in the working folder, and the process-wide path on one.
    void WriteLanguageFiles()
    {
        WriteResource(IDR_LANGUAGE_JAPANESE, "lan_jap_cfg.ini");
        WriteResource(IDR_LANGUAGE_ENGLISH, "lan_eng_cfg.ini");
    }
    void UseLanguage(BYTE flag)
    {
        g_strLanguageFilePath =
            g_strWorkFolder + L"/" + (flag == LANGUAGE_ENGLISH ? kEnglishLanguageFile : kJapaneseLanguageFile);
    }

    // Starts the emulator in <root>/device and publishes it.
    std::unique_ptr<modemsim::ModemEmulator> StartEmulator(modemsim::EmulatorOptions options = {})
    {
        options.dir = root_ + "/device";
        auto emulator = std::make_unique<modemsim::ModemEmulator>(options);
        std::string error;
        EXPECT_TRUE(emulator->Start(&error)) << error;
        setenv("KESTLE_DEVICE_DIR", emulator->DeviceDir().c_str(), 1);
        return emulator;
    }

    void Remove()
    {
        unsetenv("KESTLE_DEVICE_DIR");
        std::error_code ec;
        if (!root_.empty())
            std::filesystem::remove_all(root_, ec);
    }

    const std::string& Root() const { return root_; }
    std::string Work() const { return root_ + "/work"; }

private:
    std::string root_;
};

// A dialog run modally on its own UI thread as the program's main window.
template <class Dialog>
class ModalRun {
public:
    // Builds the dialog on the UI thread with make and waits until its window is up.
    HWND Open(UINT templateId, std::function<Dialog*()> make = [] { return new Dialog(); })
    {
        ui::test::DiscardPopups();
        thread_ = std::thread([this, make] {
            dialog_ = make();
            app_.m_pMainWnd = dialog_;
            dialog_->DoModal();
            app_.m_pMainWnd = nullptr;
        });
        hwnd_ = ui::test::WaitForDialog(templateId);
        return hwnd_;
    }

    // Presses the close box (after beforeClose, on the test thread), answering
    // any prompt a failed test left open, and deletes the dialog.
    void Close(const std::function<void()>& beforeClose = {})
    {
        if (!thread_.joinable())
            return;
        if (beforeClose)
            beforeClose();
        std::thread answering([] {
            for (int i = 0; i < 20 && ui::test::AnswerPopup(200); ++i) {
            }
        });
        ui::test::PressCloseBox(hwnd_);
        thread_.join();
        answering.join();
        delete dialog_;
        dialog_ = nullptr;
    }

    Dialog* dialog() const { return dialog_; }
    HWND hwnd() const { return hwnd_; }

private:
    CWinApp app_;
    std::thread thread_;
    Dialog* dialog_ = nullptr;
    HWND hwnd_ = nullptr;
};

}  // namespace tooltest
