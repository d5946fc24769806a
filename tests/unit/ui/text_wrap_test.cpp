// Line breaking of static texts, measured with a fixed-pitch stand-in font:
// one unit per character, two for an East Asian one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/text_wrap.h"

namespace {

double Units(std::string_view s)
{
    double w = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            w += c >= 0xE0 ? 2 : 1;   // three- and four-byte characters are the wide ones here
    return w;
}

std::vector<std::string> Lines(const std::string& text, double width)
{
    std::vector<std::string> out;
    for (std::string_view line : ui::BreakLines(text, width, Units))
        out.emplace_back(line);
    return out;
}

TEST(TextWrap, BreaksAsAReaderExpects)
{
    struct Case {
        const char* what;
        std::string text;
        double width;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"English breaks at the last blank that fits", "the connection settings of your computer.", 25,
         {"the connection settings", "of your computer."}},
        {"a word that ends right at the edge", "hello world", 5, {"hello", "world"}},
        {"several blanks at a break are not drawn", "aa   bb", 4, {"aa", "bb"}},
        {"a leading blank stays", " Switching mode", 20, {" Switching mode"}},
        {"a word wider than the box breaks between characters", "abcdefghij", 4, {"abcd", "efgh", "ij"}},
        {"Japanese breaks between characters", "接続モードが自動に設定", 10, {"接続モード", "が自動に設", "定"}},
        {"no line starts with a closing mark", "あいうえ。お", 8, {"あいう", "え。お"}},
        {"Latin and Japanese mixed", "APN: インターネット", 10, {"APN: イン", "ターネット"}},
        {"CR LF ends a line", "one\r\ntwo", 20, {"one", "two"}},
        {"CR alone ends a line", "one\rtwo", 20, {"one", "two"}},
        {"LF ends a line", "one\ntwo", 20, {"one", "two"}},
        {"empty lines stay", "a\r\n\r\nb", 20, {"a", "", "b"}},
        {"a line break and wrapping together", "Set failed.\r\nCheck the cable please", 12,
         {"Set failed.", "Check the", "cable please"}},
        {"no text, no lines", "", 10, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Lines(c.text, c.width), c.want) << c.what;
}

TEST(TextWrap, EveryCharacterIsDrawnOnceInABoxNarrowerThanOne)
{
    // a box too narrow for any character still shows one a line
    EXPECT_EQ(Lines("ab 日本", 0.5), (std::vector<std::string>{"a", "b", "日", "本"}));
}

}  // namespace
