#include "platform/ui/cstring.h"

#include "platform/win/code_page.h"

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

// the system code page's conversions, under the framework's names
std::string WideToUtf8(const std::wstring& text) { return ::WideToUtf8(text); }

std::wstring Utf8ToWide(const std::string& s) { return ::Utf8ToWide(s); }

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
