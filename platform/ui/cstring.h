#pragma once
// Wide text of the dialog framework: a thin wrapper of std::wstring with the
// members the dialogs use.
#include <cstdarg>
#include <string>

typedef wchar_t WCHAR;
typedef const wchar_t* LPCWSTR;
typedef wchar_t* LPWSTR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef LPCWSTR LPCTSTR;
typedef LPWSTR LPTSTR;

class CString {
public:
    CString() = default;
    CString(const wchar_t* text) : s_(text ? text : L"") {}
    CString(const wchar_t* text, int length) : s_(text ? std::wstring(text, length) : std::wstring()) {}
    CString(const std::wstring& text) : s_(text) {}
    CString(std::wstring&& text) : s_(std::move(text)) {}
    CString(wchar_t ch, int repeat = 1) : s_(repeat > 0 ? repeat : 0, ch) {}
    // narrow text is UTF-8 (the system code page)
    explicit CString(const char* utf8);

    // printf-style; as on Windows, %s and %c take wide arguments (%S, %hs narrow)
    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);
    void AppendFormat(const wchar_t* format, ...);

    int GetLength() const { return static_cast<int>(s_.size()); }
    bool IsEmpty() const { return s_.empty(); }
    void Empty() { s_.clear(); }
    wchar_t GetAt(int i) const { return s_.at(i); }
    void SetAt(int i, wchar_t ch) { s_.at(i) = ch; }
    wchar_t operator[](int i) const { return s_.at(i); }

    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    int Find(wchar_t ch, int start = 0) const;
    int Find(const wchar_t* sub, int start = 0) const;
    int ReverseFind(wchar_t ch) const;
    int Replace(const wchar_t* from, const wchar_t* to);
    CString& MakeLower();
    CString& MakeUpper();
    CString& Trim();
    int Compare(const wchar_t* other) const;
    int CompareNoCase(const wchar_t* other) const;

    // writable room of at least minLength characters; ReleaseBuffer(-1) takes
    // the length up to the first zero
    wchar_t* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

    const wchar_t* GetString() const { return s_.c_str(); }
    operator const wchar_t*() const { return s_.c_str(); }
    const std::wstring& str() const { return s_; }
    std::string ToUtf8() const;

    CString& operator=(const wchar_t* text) { s_ = text ? text : L""; return *this; }
    CString& operator=(const std::wstring& text) { s_ = text; return *this; }
    CString& operator=(wchar_t ch) { s_.assign(1, ch); return *this; }
    CString& operator+=(const CString& other) { s_ += other.s_; return *this; }
    CString& operator+=(const wchar_t* text) { if (text) s_ += text; return *this; }
    CString& operator+=(wchar_t ch) { s_ += ch; return *this; }

    friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
    friend CString operator+(const CString& a, const wchar_t* b) { CString r(a); r += b; return r; }
    friend CString operator+(const wchar_t* a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, wchar_t b) { CString r(a); r += b; return r; }
    friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
    friend bool operator==(const CString& a, const wchar_t* b) { return a.s_ == (b ? b : L""); }
    friend bool operator==(const wchar_t* a, const CString& b) { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }
    friend bool operator!=(const wchar_t* a, const CString& b) { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) { return a.s_ < b.s_; }

private:
    std::wstring s_;
};

namespace ui {
// Windows-style wide format (%s = wide) into a std::wstring.
std::wstring FormatWide(const wchar_t* format, va_list args);
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
}  // namespace ui
