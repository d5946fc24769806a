// Writing the language files out and the generic tool's language change.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include "app/app_paths.h"
#include "app/language.h"
#include "platform/ui/test_driver.h"
#include "platform/win/code_page.h"
#include "platform/win/own_resources.h"

namespace {

constexpr UINT kHostTemplate = 9301;
constexpr int kLabel = 1001;

const ui::DialogTemplate kHost = {kHostTemplate, L"host", 200, 100, L"MS Shell Dlg", 8,
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                  {{kLabel, ui::ControlKind::Static, L"", 7, 7, 150, 10, WS_VISIBLE}}};
UI_TEMPLATE_FILE(language_test_host, {&kHost}, {});

// A dialog of the generic switch tool's kind: own path, GEN_SWITCH_MODE_TOOL texts.
class HostDialog : public CDialog, public CLanguageOwner {
public:
    HostDialog() : CDialog(kHostTemplate) {}
    CString ReadOwnString(const wchar_t* key) const override { return ReadGenSwitchModeString(this, key); }
    CWnd* LanguageWindow() override { return this; }
    void SetLanguageTexts() override { SetDlgItemText(kLabel, ReadOwnString(L"STATIC_INFO")); }

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        SwitchGenericToolLanguage(this, LANGUAGE_JAPANESE);
        return TRUE;
    }
    void OnJapanese() { SwitchGenericToolLanguage(this, LANGUAGE_JAPANESE); }
    void OnEnglish() { SwitchGenericToolLanguage(this, LANGUAGE_ENGLISH); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(HostDialog, CDialog)
    ON_COMMAND(ID_LANGUAGE_JAPANESE_136, &HostDialog::OnJapanese)
    ON_COMMAND(ID_LANGUAGE_JAPANESE_138, &HostDialog::OnJapanese)
    ON_COMMAND(ID_LANGUAGE_ENGLISH_136, &HostDialog::OnEnglish)
    ON_COMMAND(ID_LANGUAGE_ENGLISH_138, &HostDialog::OnEnglish)
END_MESSAGE_MAP()

// An owner that only looks texts up, for the failure prompt.
class TextOwner : public CLanguageOwner {
public:
    explicit TextOwner(const wchar_t* section) : section_(section) {}
    CString ReadOwnString(const wchar_t* key) const override
    {
        return ReadLanguageString(section_, key, m_strLanguageFilePath);
    }
    CWnd* LanguageWindow() override { return nullptr; }
    const wchar_t* section_;
};

class LanguageRelease : public ::testing::Test {
protected:
    LanguageRelease()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/language-release-XXXXXX";
        folder_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~LanguageRelease() override
    {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    static std::string Bytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static std::string Resource(int id)
    {
        const OwnResource* r = FindOwnResource("TOOLS", id);
        return r ? std::string(reinterpret_cast<const char*>(r->data), r->size) : std::string();
    }
    std::string folder_;
};

}  // namespace

TEST_F(LanguageRelease, WritesTheResourceByteForByte)
{
    TextOwner owner(kGenSwitchModeSection);
    owner.m_strWorkFolder = Utf8ToWide(folder_);
    std::ofstream(folder_ + "/lan_eng_cfg.ini") << "an older, longer file that must be truncated............";
    EXPECT_EQ(ReleaseLanguageFile(&owner, IDR_LANGUAGE_ENGLISH, kEnglishLanguageFile), TRUE);
    EXPECT_EQ(ReleaseLanguageFile(&owner, IDR_LANGUAGE_JAPANESE, kJapaneseLanguageFile), TRUE);
    EXPECT_EQ(Bytes(folder_ + "/lan_eng_cfg.ini"), Resource(IDR_LANGUAGE_ENGLISH));
    EXPECT_EQ(Bytes(folder_ + "/lan_jap_cfg.ini"), Resource(IDR_LANGUAGE_JAPANESE));
}

TEST_F(LanguageRelease, AFileThatCannotBeWrittenIsReportedWithItsName)
{
    std::string english = std::string(TEST_FIXTURES_DIR) + "/../../resources/files/setwell/lan_eng_cfg.ini";
    struct Case {
        const wchar_t* section;
        std::wstring text;
        std::wstring caption;
    } cases[] = {
        // the kitting section has the key, with "%s" for the file name
        {kKittingSection, L"Read file lan_eng_cfg.ini failed!", L""},
        // no READ_FILE_FAIL in the generic tool's section: the built-in text
        {kGenSwitchModeSection, L"Read lan_eng_cfg.ini fail!", L"Attention"},
    };
    for (const Case& c : cases) {
        TextOwner owner(c.section);
        owner.m_strWorkFolder = Utf8ToWide(folder_ + "/missing-folder");
        owner.m_strLanguageFilePath = Utf8ToWide(english);
        auto result = std::async(std::launch::async,
                                 [&] { return ReleaseLanguageFile(&owner, IDR_LANGUAGE_ENGLISH, kEnglishLanguageFile); });
        // no main window in the test: find the prompt by its template
        HWND prompt = ui::test::WaitForDialog(103);
        ASSERT_NE(prompt, nullptr);
        ASSERT_TRUE(ui::test::WaitIdle(prompt));
        EXPECT_EQ(ui::test::Text(ui::test::Control(prompt, 1382)), c.text);
        EXPECT_EQ(ui::test::Text(prompt), c.caption);
        EXPECT_TRUE(ui::test::Click(ui::test::Control(prompt, IDOK)));
        EXPECT_EQ(result.get(), FALSE);
    }
}

// A directory where the file belongs is a failure like any other: the prompt,
// never a read error that ends the program.
TEST_F(LanguageRelease, ADirectoryAtTheFilePathGetsThePrompt)
{
    TextOwner owner(kGenSwitchModeSection);
    owner.m_strWorkFolder = Utf8ToWide(folder_);
    ASSERT_EQ(mkdir((folder_ + "/lan_eng_cfg.ini").c_str(), 0700), 0);
    auto result = std::async(std::launch::async,
                             [&] { return ReleaseLanguageFile(&owner, IDR_LANGUAGE_ENGLISH, kEnglishLanguageFile); });
    HWND prompt = ui::test::WaitForDialog(103);
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(ui::test::WaitIdle(prompt));
    EXPECT_EQ(ui::test::Text(ui::test::Control(prompt, 1382)), L"Read lan_eng_cfg.ini fail!");
    EXPECT_TRUE(ui::test::Click(ui::test::Control(prompt, IDOK)));
    EXPECT_EQ(result.get(), FALSE);
    EXPECT_FALSE(std::filesystem::exists(folder_ + "/lan_eng_cfg.ini.new"));
}

TEST_F(LanguageRelease, TheGenericToolSwitchesFileCaptionMenuAndTexts)
{
    HostDialog dialog;
    dialog.m_strWorkFolder = Utf8ToWide(folder_);
    std::thread ui([&] { dialog.DoModal(); });
    HWND hwnd = ui::test::WaitForDialog(kHostTemplate);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(ui::test::WaitIdle(hwnd));
    HWND label = ui::test::Control(hwnd, kLabel);

    struct Step {
        UINT item;  // 0: the state after start
        BYTE flag;
        const char* file;
        std::wstring caption;
        std::wstring label;
        std::vector<std::wstring> menu;
    } steps[] = {
        {0, LANGUAGE_JAPANESE, "lan_jap_cfg.ini", L"K415NQ \u30e2\u30fc\u30c9\u5207\u66ff\u30c4\u30fc\u30eb",
         L"\u7aef\u672b\u306e\u30e2\u30fc\u30c9\u3092\u9078\u629e\u3057\u3066\u4e0b\u3055\u3044\u3002",
         {L"\u65e5\u672c\u8a9e \u25bc/\u65e5\u672c\u8a9e", L"\u65e5\u672c\u8a9e \u25bc/English"}},
        {ID_LANGUAGE_ENGLISH_138, LANGUAGE_ENGLISH, "lan_eng_cfg.ini", L"Modem Switch Tool for K415NQ",
         L"Select the mode for your device.", {L"English \u25bc/\u65e5\u672c\u8a9e", L"English \u25bc/English"}},
        {ID_LANGUAGE_ENGLISH_136, LANGUAGE_ENGLISH, "lan_eng_cfg.ini", L"Modem Switch Tool for K415NQ",
         L"Select the mode for your device.", {L"English \u25bc/\u65e5\u672c\u8a9e", L"English \u25bc/English"}},
        {ID_LANGUAGE_JAPANESE_136, LANGUAGE_JAPANESE, "lan_jap_cfg.ini",
         L"K415NQ \u30e2\u30fc\u30c9\u5207\u66ff\u30c4\u30fc\u30eb",
         L"\u7aef\u672b\u306e\u30e2\u30fc\u30c9\u3092\u9078\u629e\u3057\u3066\u4e0b\u3055\u3044\u3002",
         {L"\u65e5\u672c\u8a9e \u25bc/\u65e5\u672c\u8a9e", L"\u65e5\u672c\u8a9e \u25bc/English"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.item);
        if (s.item) {
            std::filesystem::remove(folder_ + "/" + s.file);
            ASSERT_TRUE(ui::test::ChooseMenuItem(hwnd, s.item));
        }
        EXPECT_EQ(dialog.m_nLanguageFlag, s.flag);
        EXPECT_EQ(WideToUtf8(dialog.m_strLanguageFilePath), folder_ + "/" + s.file);
        EXPECT_TRUE(std::filesystem::exists(folder_ + "/" + s.file)) << "written again";
        EXPECT_EQ(ui::test::Text(hwnd), s.caption);
        EXPECT_EQ(ui::test::Text(label), s.label);
        EXPECT_EQ(ui::test::MenuItems(hwnd), s.menu);
    }
    // both menus stay loaded
    EXPECT_NE(dialog.m_menuEnglish.GetSafeHmenu(), nullptr);
    EXPECT_NE(dialog.m_menuJapanese.GetSafeHmenu(), nullptr);
    ASSERT_TRUE(ui::test::PressCloseBox(hwnd));
    ui.join();
}

TEST_F(LanguageRelease, CarrierToolsGetTheJapaneseFileOnceAndKeepASetPath)
{
    g_strWorkFolder = Utf8ToWide(folder_);
    g_strLanguageFilePath.clear();
    EXPECT_EQ(UseCarrierLanguageFile(), TRUE);
    EXPECT_EQ(g_strLanguageFilePath, Utf8ToWide(folder_ + "/lan_jap_cfg.ini"));
    EXPECT_EQ(Bytes(folder_ + "/lan_jap_cfg.ini"), Resource(IDR_LANGUAGE_JAPANESE));
    EXPECT_EQ(std::wstring(ReadRestoreFactoryString(L"TITLE")).empty(), false);

    // a path set before is kept and nothing is written
    g_strLanguageFilePath = L"/elsewhere/lan_eng_cfg.ini";
    std::filesystem::remove(folder_ + "/lan_jap_cfg.ini");
    EXPECT_EQ(UseCarrierLanguageFile(), TRUE);
    EXPECT_EQ(g_strLanguageFilePath, L"/elsewhere/lan_eng_cfg.ini");
    EXPECT_FALSE(std::filesystem::exists(folder_ + "/lan_jap_cfg.ini"));

    // no working folder to write to: the texts stay empty
    g_strLanguageFilePath.clear();
    g_strWorkFolder = Utf8ToWide(folder_ + "/missing");
    EXPECT_EQ(UseCarrierLanguageFile(), FALSE);
    EXPECT_TRUE(g_strLanguageFilePath.empty());
    g_strWorkFolder.clear();
}
