#include "platform/win/code_page.h"

#include <cstring>

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool IsScalar(uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

void AppendUtf8(std::string& out, uint32_t c)
{
    if (!IsScalar(c))
        c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at p (n bytes left); a malformed one takes one byte.
uint32_t DecodeUtf8(const unsigned char* p, size_t n, size_t* used)
{
    *used = 1;
    unsigned char b = p[0];
    if (b < 0x80)
        return b;
    size_t len;
    uint32_t c, min;
    if ((b & 0xE0) == 0xC0) {
        len = 2, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4, c = b & 0x07, min = 0x10000;
    } else {
        return kReplacement;
    }
    if (n < len)
        return kReplacement;
    for (size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return kReplacement;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || !IsScalar(c))
        return kReplacement;
    *used = len;
    return c;
}

template <typename Char>
size_t LengthOf(const Char* text, int length)
{
    if (length >= 0)
        return static_cast<size_t>(length);
    size_t n = 0;
    while (text[n])
        ++n;
    return n + 1;  // the terminator is converted too
}

template <typename Char>
int Deliver(const std::basic_string<Char>& converted, Char* out, int outSize)
{
    if (outSize == 0)
        return static_cast<int>(converted.size());
    if (!out || outSize < 0 || converted.size() > static_cast<size_t>(outSize))
        return 0;
    std::memcpy(out, converted.data(), converted.size() * sizeof(Char));
    return static_cast<int>(converted.size());
}

}  // namespace

int WideCharToMultiByte(UINT, DWORD, const wchar_t* wide, int wideLength, char* out, int outSize, const char*,
                        BOOL* usedDefaultChar)
{
    if (usedDefaultChar)
        *usedDefaultChar = FALSE;
    if (!wide || wideLength == 0)
        return 0;
    return Deliver(WideToUtf8(std::wstring(wide, LengthOf(wide, wideLength))), out, outSize);
}

int MultiByteToWideChar(UINT, DWORD, const char* text, int length, wchar_t* out, int outSize)
{
    if (!text || length == 0)
        return 0;
    return Deliver(Utf8ToWide(std::string(text, LengthOf(text, length))), out, outSize);
}

std::string WideToUtf8(const std::wstring& wide)
{
    std::string out;
    for (wchar_t c : wide)
        AppendUtf8(out, static_cast<uint32_t>(c));
    return out;
}

std::wstring Utf8ToWide(const std::string& text)
{
    std::wstring out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        size_t used;
        out += static_cast<wchar_t>(DecodeUtf8(p + i, text.size() - i, &used));
        i += used;
    }
    return out;
}
