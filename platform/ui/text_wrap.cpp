#include "platform/ui/text_wrap.h"

#include <algorithm>

namespace ui {
namespace {

struct Char {
    size_t at, len;
    char32_t cp;
};

// Code points with their byte ranges; a byte that starts no valid sequence is
// one character of its own.
std::vector<Char> Decode(std::string_view s)
{
    std::vector<Char> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len > 0 && i + len <= s.size();
        for (size_t k = 1; ok && k < len; ++k) {
            unsigned char c = static_cast<unsigned char>(s[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            len = 1;
            cp = b;
        }
        out.push_back({i, len, cp});
        i += len;
    }
    return out;
}

bool IsBlank(char32_t c) { return c == U' ' || c == U'\t' || c == U'\u3000'; }

bool IsWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000;
}

bool IsClosing(char32_t c)
{
    static constexpr std::u32string_view kClosing = U",.:;!?)]}、。，．：；！？）」』】〕〉》ー…・ぁぃぅぇぉっゃゅょァィゥェォッャュョ";
    return kClosing.find(c) != std::u32string_view::npos;
}

bool IsOpening(char32_t c)
{
    static constexpr std::u32string_view kOpening = U"([{（「『【〔〈《";
    return kOpening.find(c) != std::u32string_view::npos;
}

// May a line end between a and b?
bool CanBreak(char32_t a, char32_t b)
{
    if (IsBlank(a) || IsBlank(b))
        return true;
    return (IsWide(a) || IsWide(b)) && !IsClosing(b) && !IsOpening(a);
}

void BreakParagraph(std::string_view text, double width, const TextMeasure& measure,
                    std::vector<std::string_view>& lines)
{
    std::vector<Char> chars = Decode(text);
    const size_t n = chars.size();
    auto piece = [&](size_t from, size_t to) {
        size_t begin = from < n ? chars[from].at : text.size();
        size_t end = to < n ? chars[to].at : text.size();
        return text.substr(begin, end - begin);
    };
    size_t start = 0;
    do {
        // the most characters that fit (at least one)
        size_t fit = start + 1;
        while (fit < n && measure(piece(start, fit + 1)) <= width)
            ++fit;
        if (fit >= n) {
            lines.push_back(piece(start, n));
            return;
        }
        // the last break that leaves something to draw on this line
        size_t end = fit;
        for (size_t k = fit; k > start; --k) {
            bool drawn = std::any_of(chars.begin() + start, chars.begin() + k, [](const Char& c) { return !IsBlank(c.cp); });
            if (!drawn)
                break;
            if (CanBreak(chars[k - 1].cp, chars[k].cp)) {
                end = k;
                break;
            }
        }
        size_t last = end;
        while (last > start + 1 && IsBlank(chars[last - 1].cp))
            --last;
        lines.push_back(piece(start, last));
        start = end;
        while (start < n && IsBlank(chars[start].cp))
            ++start;
    } while (start < n);
}

}  // namespace

std::vector<std::string_view> BreakLines(std::string_view text, double width, const TextMeasure& measure)
{
    std::vector<std::string_view> lines;
    if (text.empty())
        return lines;
    size_t from = 0;
    for (;;) {
        size_t eol = text.find_first_of("\r\n", from);
        std::string_view paragraph = text.substr(from, eol == std::string_view::npos ? std::string_view::npos : eol - from);
        if (paragraph.empty())
            lines.push_back(paragraph);
        else
            BreakParagraph(paragraph, width, measure, lines);
        if (eol == std::string_view::npos)
            return lines;
        from = eol + (text.compare(eol, 2, "\r\n") == 0 ? 2 : 1);
    }
}

}  // namespace ui
