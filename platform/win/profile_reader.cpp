#include "platform/win/profile_reader.h"

#include <cwctype>
#include <string>
#include <vector>

#include "platform/win/code_page.h"
#include "platform/win/data_file.h"

namespace {

std::wstring DecodeUtf16Le(const std::string& bytes, size_t start)
{
    std::wstring out;
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t low = static_cast<unsigned char>(bytes[i + 2]) | (static_cast<unsigned char>(bytes[i + 3]) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF)
            unit = 0xFFFD;
        out += static_cast<wchar_t>(unit);
    }
    return out;
}

// Only a regular file is read; any read error is a missing file, never an
// exception out of the stream (a directory in the file's place gives one).
bool ReadBytes(const wchar_t* path, std::string* bytes)
{
    // language files are some kB: a bound far above them, and never a FIFO or a device
    constexpr size_t kMaxProfileBytes = size_t(4) << 20;
    return ReadDataFile(WideToUtf8(path), kMaxProfileBytes, bytes) == DataFileRead::Ok;
}

bool ReadText(const wchar_t* path, std::wstring* text)
{
    std::string bytes;
    if (!ReadBytes(path, &bytes))
        return false;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        *text = DecodeUtf16Le(bytes, 2);
    else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        *text = Utf8ToWide(bytes.substr(3));
    else
        *text = Utf8ToWide(bytes);
    return true;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring Trim(const std::wstring& s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool SameName(const std::wstring& a, const wchar_t* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return i == a.size() && !b[i];
}

struct Entry {
    std::wstring section;
    std::wstring key;
    std::wstring value;
    bool isSection;
};

std::vector<Entry> Parse(const std::wstring& text)
{
    std::vector<Entry> entries;
    std::wstring section;
    bool inSection = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = Trim(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == L'\r')
            ++pos;
        if (pos < text.size() && text[pos] == L'\n')
            ++pos;
        if (line.empty() || line[0] == L';')
            continue;
        if (line[0] == L'[') {
            size_t close = line.find(L']');
            section = Trim(line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
            inSection = true;
            entries.push_back({section, L"", L"", true});
            continue;
        }
        size_t eq = line.find(L'=');
        if (!inSection || eq == std::wstring::npos)
            continue;
        std::wstring value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        entries.push_back({section, Trim(line.substr(0, eq)), value, false});
    }
    return entries;
}

DWORD CopyValue(const std::wstring& value, wchar_t* out, DWORD size)
{
    size_t n = std::min<size_t>(value.size(), size - 1);
    value.copy(out, n);
    out[n] = L'\0';
    return static_cast<DWORD>(n);
}

// A list of names, each terminated, ending in a second terminator.
DWORD CopyList(const std::vector<std::wstring>& names, wchar_t* out, DWORD size)
{
    if (size < 2) {
        out[0] = L'\0';
        return 0;
    }
    size_t used = 0;
    for (const std::wstring& name : names) {
        if (used + name.size() + 1 > size - 1) {
            size_t n = size - 2 > used ? size - 2 - used : 0;
            name.copy(out + used, n);
            out[size - 2] = L'\0';
            out[size - 1] = L'\0';
            return size - 2;
        }
        name.copy(out + used, name.size());
        used += name.size();
        out[used++] = L'\0';
    }
    out[used] = L'\0';
    return static_cast<DWORD>(used);
}

}  // namespace

DWORD GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* def, wchar_t* out,
                               DWORD size, const wchar_t* path)
{
    if (!out || size == 0)
        return 0;
    std::wstring text;
    std::vector<Entry> entries;
    if (path && ReadText(path, &text))
        entries = Parse(text);

    if (!section) {
        std::vector<std::wstring> names;
        for (const Entry& e : entries)
            if (e.isSection)
                names.push_back(e.section);
        return CopyList(names, out, size);
    }
    if (!key) {
        std::vector<std::wstring> names;
        for (const Entry& e : entries)
            if (!e.isSection && SameName(e.section, section))
                names.push_back(e.key);
        return CopyList(names, out, size);
    }
    for (const Entry& e : entries)
        if (!e.isSection && SameName(e.section, section) && SameName(e.key, key))
            return CopyValue(e.value, out, size);
    return CopyValue(Trim(def ? def : L""), out, size);
}
