#include "platform/win/code_page.h"

#include <gtest/gtest.h>

#include <string>

TEST(CodePage, ByteCountsOfTheAnsiForm)
{
    struct Case {
        std::wstring wide;
        int bytes;
    } cases[] = {
        {L"", 0},
        {L"abc", 3},
        {L"\u65e5\u672c\u8a9e", 9},   // three CJK characters, three bytes each
        {L"\u00e9", 2},
        {L"\U0001F600", 4},
        {L"a\u56dez", 5},
    };
    for (const Case& c : cases) {
        int n = WideCharToMultiByte(CP_ACP, 0, c.wide.c_str(), static_cast<int>(c.wide.size()), nullptr, 0,
                                    nullptr, nullptr);
        EXPECT_EQ(n, c.bytes) << WideToUtf8(c.wide);
        EXPECT_EQ(Utf8ToWide(WideToUtf8(c.wide)), c.wide);
    }
}

TEST(CodePage, MinusOneLengthCountsTheTerminatorAndSmallBuffersFail)
{
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"ab", -1, nullptr, 0, nullptr, nullptr), 3);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "", -1, nullptr, 0), 1);
    char small[2] = {'x', 'x'};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"abc", 3, small, 2, nullptr, nullptr), 0);
    EXPECT_EQ(small[0], 'x');
    wchar_t wide[4] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xe5\x9b\x9e!", -1, wide, 4), 3);
    EXPECT_EQ(std::wstring(wide), L"\u56de!");
}

TEST(CodePage, MalformedBytesBecomeReplacementCharacters)
{
    struct Case {
        std::string bytes;
        std::wstring wide;
    } cases[] = {
        {"\xff", L"\ufffd"},
        {"a\xe6\x97", L"a\ufffd\ufffd"},          // cut sequence
        {"\xc0\xaf", L"\ufffd\ufffd"},            // overlong
        {"\xed\xa0\x80", L"\ufffd\ufffd\ufffd"},  // encoded surrogate
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8ToWide(c.bytes), c.wide);
    EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xef\xbf\xbd");
}
