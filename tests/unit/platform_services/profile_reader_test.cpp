#include "platform/win/profile_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/win/code_page.h"
#include "test_folder.h"

namespace {

std::string Utf16Le(const std::wstring& text, bool bom)
{
    std::string bytes = bom ? std::string("\xff\xfe") : std::string();
    for (wchar_t c : text) {
        uint32_t v = static_cast<uint32_t>(c);
        auto unit = [&](uint32_t u) {
            bytes += static_cast<char>(u & 0xFF);
            bytes += static_cast<char>(u >> 8);
        };
        if (v >= 0x10000) {
            unit(0xD800 + ((v - 0x10000) >> 10));
            unit(0xDC00 + ((v - 0x10000) & 0x3FF));
        } else {
            unit(v);
        }
    }
    return bytes;
}

class ProfileReader : public ::testing::Test {
protected:
    std::wstring Write(const std::string& name, const std::string& bytes)
    {
        std::string path = folder_.path() + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return Utf8ToWide(path);
    }
    std::wstring Read(const wchar_t* section, const wchar_t* key, const std::wstring& path, const wchar_t* def = L"",
                      DWORD size = 1024, DWORD* length = nullptr)
    {
        std::wstring buffer(size, L'#');
        DWORD n = GetPrivateProfileStringW(section, key, def, buffer.data(), size, path.c_str());
        if (length)
            *length = n;
        return std::wstring(buffer.c_str());
    }
    TestFolder folder_;
};

const wchar_t* kSample =
    L"; leading comment\r\n"
    L"ORPHAN=before any section\r\n"
    L"[First]\r\n"
    L"TITLE =Modem Tool\r\n"
    L"  Spaced Key  =  value with blanks  \r\n"
    L"; COMMENTED=no\r\n"
    L"# a line without the sign\r\n"
    L"#INERT=inert value\r\n"
    L"LEAD=\" leading blank\"\r\n"
    L"EMPTY=\r\n"
    L"JP=\u56de\U00020B9F\r\n"
    L"[ second ]\r\n"
    L"TITLE=Other\r\n";

}  // namespace

TEST_F(ProfileReader, LooksUpWithTheWindowsRules)
{
    std::wstring path = Write("sample.ini", Utf16Le(kSample, true));
    struct Case {
        const wchar_t* section;
        const wchar_t* key;
        std::wstring value;
    } cases[] = {
        {L"First", L"TITLE", L"Modem Tool"},
        {L"FIRST", L"title", L"Modem Tool"},
        {L"first", L"Spaced Key", L"value with blanks"},
        {L"First", L"#INERT", L"inert value"},
        {L"First", L"LEAD", L" leading blank"},
        {L"First", L"JP", L"\u56de\U00020B9F"},
        {L"Second", L"TITLE", L"Other"},
        {L"First", L"EMPTY", L""},
        {L"First", L"COMMENTED", L"dflt"},
        {L"First", L"ORPHAN", L"dflt"},
        {L"First", L"MISSING", L"dflt"},
        {L"NoSuch", L"TITLE", L"dflt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(c.section, c.key, path, L"dflt"), c.value) << WideToUtf8(c.key);
}

TEST_F(ProfileReader, ReturnsTheLengthAndCutsTheValueToTheBuffer)
{
    std::wstring longValue(1500, L'x');
    std::wstring path = Write("long.ini", Utf16Le(L"[S]\r\nK=" + longValue + L"\r\nSHORT=abc\r\n", true));
    DWORD n = 0;
    EXPECT_EQ(Read(L"S", L"K", path, L"", 1024, &n), std::wstring(1023, L'x'));
    EXPECT_EQ(n, 1023u);
    EXPECT_EQ(Read(L"S", L"SHORT", path, L"", 1024, &n), L"abc");
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(Read(L"S", L"SHORT", path, L"", 3, &n), L"ab");
    EXPECT_EQ(n, 2u);
}

TEST_F(ProfileReader, MissingFileAndNullDefaultGiveTheEmptyText)
{
    std::wstring missing = Utf8ToWide(folder_.path() + "/none.ini");
    DWORD n = 7;
    EXPECT_EQ(Read(L"S", L"K", missing, nullptr, 1024, &n), L"");
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(Read(L"S", L"K", missing, L"fallback", 1024, &n), L"fallback");
    EXPECT_EQ(n, 8u);
}

// Whatever stands in the file's place that is not a regular file (a
// directory, a FIFO nobody writes to, a device that never ends) reads at once
// as a missing file, never as an error that leaves the look-up or a wait.
TEST_F(ProfileReader, WhatIsNoRegularFileReadsAsAMissingFile)
{
    const std::string base = folder_.path() + "/";
    ASSERT_EQ(mkdir((base + "dir.ini").c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((base + "fifo.ini").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (base + "zero.ini").c_str()), 0);
    for (const char* name : {"dir.ini", "fifo.ini", "zero.ini"}) {
        SCOPED_TRACE(name);
        DWORD n = 7;
        EXPECT_EQ(Read(L"S", L"K", Utf8ToWide(base + name), L"fallback", 1024, &n), L"fallback");
        EXPECT_EQ(n, 8u);
    }
}

TEST_F(ProfileReader, ReadsFilesWithoutByteOrderMarkAsUtf8AndBareLineFeeds)
{
    std::wstring path = Write("plain.ini", "[S]\nK=\xe5\x9b\x9e\nL=two\r\n");
    EXPECT_EQ(Read(L"S", L"K", path), L"\u56de");
    EXPECT_EQ(Read(L"S", L"L", path), L"two");
}

TEST_F(ProfileReader, NullKeyListsKeysAndNullSectionListsSections)
{
    std::wstring path = Write("sample.ini", Utf16Le(kSample, true));
    wchar_t buffer[256];
    DWORD n = GetPrivateProfileStringW(L"second", nullptr, L"", buffer, 256, path.c_str());
    EXPECT_EQ(std::wstring(buffer, n), std::wstring(L"TITLE\0", 6));
    n = GetPrivateProfileStringW(nullptr, nullptr, L"", buffer, 256, path.c_str());
    EXPECT_EQ(std::wstring(buffer, n), std::wstring(L"First\0second\0", 13));
    EXPECT_EQ(buffer[n], L'\0');
    // a list that does not fit ends in two terminators within the buffer
    n = GetPrivateProfileStringW(L"First", nullptr, L"", buffer, 8, path.c_str());
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(buffer[6], L'\0');
    EXPECT_EQ(buffer[7], L'\0');
}
