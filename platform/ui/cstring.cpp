#include "platform/ui/cstring.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace ui {

// Windows wide printf: %s / %c are wide, %S / %hs / %hc narrow. glibc reads
// %s as narrow in wide formats, so the conversions are rewritten first.
static std::wstring ToGlibcFormat(const wchar_t* f)
{
    std::wstring out;
    for (const wchar_t* p = f; *p; ++p) {
        out += *p;
        if (*p != L'%')
            continue;
        ++p;
        if (*p == L'%') {
            out += L'%';
            continue;
        }
        // flags, width, precision
        while (*p && std::wcschr(L"-+ #0123456789.*", *p))
            out += *p++;
        bool narrow = false, wide = false;
        if (*p == L'h' && (p[1] == L's' || p[1] == L'c')) {
            narrow = true;
            ++p;
        } else if (*p == L'l' && (p[1] == L's' || p[1] == L'c')) {
            wide = true;
            ++p;
        } else if (*p == L'w' && (p[1] == L's' || p[1] == L'c')) {
            wide = true;
            ++p;
        }
        if (!*p)
            break;
        if (*p == L's' || *p == L'c') {
            out += narrow ? L"h" : L"l";
            out += *p;
        } else if (*p == L'S' || *p == L'C') {
            out += wide ? L"l" : L"";
            out += static_cast<wchar_t>(std::towlower(*p));
        } else if (*p == L'I' && p[1] == L'6' && p[2] == L'4') {
            out += L"ll";
            p += 2;
        } else {
            out += *p;
        }
    }
    return out;
}

std::wstring FormatWide(const wchar_t* format, va_list args)
{
    if (!format)
        return {};
    std::wstring f = ToGlibcFormat(format);
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = std::vswprintf(buf.data(), buf.size(), f.c_str(), copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < buf.size())
            return std::wstring(buf.data(), n);
        if (buf.size() > (1u << 24))
            return {};   // a conversion glibc cannot make (an invalid character)
        buf.resize(buf.size() * 4);
    }
}

std::string WideToUtf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t wc : text) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
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
    return out;
}

std::wstring Utf8ToWide(const std::string& s)
{
    std::wstring out;
    size_t i = 0;
    while (i < s.size()) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) {
            out += L'\uFFFD';
            ++i;
            continue;
        }
        uint32_t c = len == 1 ? b : b & (0xFF >> (len + 1));
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            unsigned char cb = static_cast<unsigned char>(s[i + k]);
            if ((cb & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (cb & 0x3F);
        }
        if (!ok) {
            out += L'\uFFFD';
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += len;
    }
    return out;
}

}  // namespace ui

CString::CString(const char* utf8) : s_(utf8 ? ui::Utf8ToWide(utf8) : std::wstring()) {}

void CString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    s_ = ui::FormatWide(format, args);
    va_end(args);
}

void CString::FormatV(const wchar_t* format, va_list args) { s_ = ui::FormatWide(format, args); }

void CString::AppendFormat(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    s_ += ui::FormatWide(format, args);
    va_end(args);
}

CString CString::Left(int count) const { return CString(s_.substr(0, count < 0 ? 0 : count)); }

CString CString::Right(int count) const
{
    if (count <= 0)
        return CString();
    size_t n = std::min(static_cast<size_t>(count), s_.size());
    return CString(s_.substr(s_.size() - n));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const
{
    if (first < 0)
        first = 0;
    if (count < 0 || static_cast<size_t>(first) >= s_.size())
        return CString();
    return CString(s_.substr(first, count));
}

int CString::Find(wchar_t ch, int start) const
{
    if (start < 0 || static_cast<size_t>(start) > s_.size())
        return -1;
    size_t p = s_.find(ch, start);
    return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::Find(const wchar_t* sub, int start) const
{
    if (!sub || start < 0 || static_cast<size_t>(start) > s_.size())
        return -1;
    size_t p = s_.find(sub, start);
    return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::ReverseFind(wchar_t ch) const
{
    size_t p = s_.rfind(ch);
    return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::Replace(const wchar_t* from, const wchar_t* to)
{
    if (!from || !*from)
        return 0;
    std::wstring f(from), t(to ? to : L"");
    int count = 0;
    for (size_t p = s_.find(f); p != std::wstring::npos; p = s_.find(f, p + t.size())) {
        s_.replace(p, f.size(), t);
        ++count;
    }
    return count;
}

CString& CString::MakeLower()
{
    for (auto& c : s_)
        c = static_cast<wchar_t>(std::towlower(c));
    return *this;
}

CString& CString::MakeUpper()
{
    for (auto& c : s_)
        c = static_cast<wchar_t>(std::towupper(c));
    return *this;
}

CString& CString::Trim()
{
    auto blank = [](wchar_t c) { return std::iswspace(c) != 0; };
    while (!s_.empty() && blank(s_.back()))
        s_.pop_back();
    size_t i = 0;
    while (i < s_.size() && blank(s_[i]))
        ++i;
    s_.erase(0, i);
    return *this;
}

int CString::Compare(const wchar_t* other) const { return s_.compare(other ? other : L""); }

int CString::CompareNoCase(const wchar_t* other) const
{
    CString a(*this), b(other);
    return a.MakeLower().Compare(b.MakeLower());
}

wchar_t* CString::GetBuffer(int minLength)
{
    if (minLength > 0 && s_.size() < static_cast<size_t>(minLength))
        s_.resize(minLength);
    return s_.data();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = static_cast<int>(std::wcslen(s_.c_str()));
    s_.resize(std::min(static_cast<size_t>(newLength), s_.size()));
}

std::string CString::ToUtf8() const { return ui::WideToUtf8(s_); }
