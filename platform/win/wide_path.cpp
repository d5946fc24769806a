#include "platform/win/wide_path.h"

#include <cstdint>

namespace {

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c >= 0xDC80 && c <= 0xDCFF) {
        out += static_cast<char>(c - 0xDC00); // a byte that was not UTF-8
    } else if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += '?';
    }
}

// Length of the well-formed sequence at s[i], 0 when it is not one.
size_t SequenceLength(const std::string& s, size_t i, uint32_t& c)
{
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t n;
    uint32_t min;
    if (b < 0x80) {
        c = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        n = 2, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, c = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

std::string NarrowPath(const std::wstring& path)
{
    std::string out;
    out.reserve(path.size());
    for (wchar_t w : path)
        AppendUtf8(out, static_cast<uint32_t>(w));
    return out;
}

std::wstring WidePath(const std::string& path)
{
    std::wstring out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size();) {
        uint32_t c = 0;
        size_t n = SequenceLength(path, i, c);
        if (n == 0) {
            out += static_cast<wchar_t>(0xDC00 + static_cast<unsigned char>(path[i]));
            ++i;
        } else {
            out += static_cast<wchar_t>(c);
            i += n;
        }
    }
    return out;
}
