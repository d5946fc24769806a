// The look-up family over the process-wide language path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/app_paths.h"
#include "app/language.h"
#include "platform/win/code_page.h"

namespace {

std::string SourceFile(const std::string& name)
{
    return std::string(TEST_FIXTURES_DIR) + "/../../resources/files/setwell/" + name;
}

std::string Utf16Le(const std::wstring& text)
{
    std::string bytes("\xff\xfe");
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

// Points g_strLanguageFilePath at a file for one test.
class Lookup : public ::testing::Test {
protected:
    void Use(const std::string& path) { g_strLanguageFilePath = Utf8ToWide(path); }
    void UseText(const std::wstring& text)
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/language-XXXXXX";
        int fd = mkstemp(pattern.data());
        ASSERT_GE(fd, 0);
        close(fd);
        file_ = pattern;
        std::ofstream(file_, std::ios::binary) << Utf16Le(text);
        Use(file_);
    }
    void TearDown() override
    {
        g_strLanguageFilePath.clear();
        if (!file_.empty())
            std::remove(file_.c_str());
    }
    std::string file_;
};

}  // namespace

TEST_F(Lookup, TimesPerLanguage)
{
    Use(SourceFile("lan_jap_cfg.ini"));
    EXPECT_EQ(ReadVX520String(L"TIMES"), L"\u56de");
    Use(SourceFile("lan_eng_cfg.ini"));
    EXPECT_EQ(ReadVX520String(L"TIMES"), L"");
    CLanguageOwner* none = nullptr;
    EXPECT_EQ(ReadGenSwitchModeString(none, L"TITLE"), L"");
}

TEST_F(Lookup, EachMemberReadsItsOwnSection)
{
    Use(SourceFile("lan_eng_cfg.ini"));
    struct Case {
        CString (*member)(const wchar_t*);
        const wchar_t* title;
    } cases[] = {
        {ReadRestoreFactoryString, L"MARL Restore Device"},
        {ReadSwitchModeString, L"MARL SwitchMode Tool"},
        {ReadModemSettingString, L"Modem setting tool"},
        {ReadKittingString, L"Kitting Tool-Packet"},
        {ReadWimaxString, L"4G LTE ONLY set tool"},
        {ReadVX520String, L"Modem Setting Tool for K415NQ"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.member(L"TITLE"), c.title);
}

TEST_F(Lookup, KittingTurnsTheWrittenLineBreakIntoARealOne)
{
    UseText(L"[TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING]\r\nK=first\\r\\nsecond\\r\\n\\r\\nthird\r\n"
            L"[TARSEL_KESTLE_TOOLS_TYPE_VX520_MODEM_SETTING]\r\nK=first\\r\\nsecond\r\n");
    EXPECT_EQ(ReadKittingString(L"K"), L"first\r\nsecond\r\n\r\nthird");
    EXPECT_EQ(ReadVX520String(L"K"), L"first\\r\\nsecond");
    // the shipped text is shown on several lines
    Use(SourceFile("lan_eng_cfg.ini"));
    CString text = ReadKittingString(L"CHILD_STATIC_INFO");
    EXPECT_EQ(text.Find(L"\\r"), -1);
    EXPECT_EQ(text.Left(61), L"Click the \"Write\" button to write the information to device.\r");
}

TEST_F(Lookup, ValuesAreCutTo1023Characters)
{
    UseText(L"[TARSEL_KESTLE_TOOLS_TYPE_VX520_MODEM_SETTING]\r\nLONG=" + std::wstring(2000, L'v') + L"\r\n");
    EXPECT_EQ(ReadVX520String(L"LONG"), CString(std::wstring(1023, L'v')));
}

TEST_F(Lookup, MissingPathSectionOrKeyGivesTheEmptyText)
{
    g_strLanguageFilePath.clear();
    EXPECT_EQ(ReadVX520String(L"TITLE"), L"");
    Use(SourceFile("lan_eng_cfg.ini"));
    EXPECT_EQ(ReadVX520String(L"NO_SUCH_KEY"), L"");
    EXPECT_EQ(ReadLanguageString(L"NO_SUCH_SECTION", L"TITLE", g_strLanguageFilePath), L"");
    // keys are found whatever their case, blanks around them do not count
    EXPECT_EQ(ReadVX520String(L"title"), L"Modem Setting Tool for K415NQ");
}
