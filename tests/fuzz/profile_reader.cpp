// The private-profile reader over arbitrary file text. The first byte picks
// the look-up and whether the file starts with the UTF-16LE byte-order mark,
// the second the output room; the rest is the file body (UTF-16LE units with
// the mark, read as UTF-8 without it). Besides a few
// fixed names, the first section header and the first key of the text are
// looked up, so that lookups also hit.
#include "platform/win/profile_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/fuzz/private_folder.h"

namespace {

const wchar_t* const kSections[] = {L"TOOLS_INFO", L"tools_info", L"", L"S"};
const wchar_t* const kKeys[] = {L"TOOLS_TYPE", L"WriteLog", L"", L"K"};

// A private folder, made once and removed at exit; its one file lives for one run.
struct FuzzFolder {
    std::string dir;
    std::string file;
    std::wstring widePath;
    FuzzFolder()
    {
        dir = MakePrivateFolder("fuzz_profile");
        file = dir + "/profile.ini";
        widePath.assign(file.begin(), file.end());
    }
    ~FuzzFolder() { rmdir(dir.c_str()); }
};

const FuzzFolder& Folder()
{
    static const FuzzFolder folder;
    return folder;
}

std::wstring Units(const uint8_t* p, size_t n)
{
    std::wstring text;
    for (size_t i = 0; i + 1 < n; i += 2)
        text += static_cast<wchar_t>(p[i] | p[i + 1] << 8);
    return text;
}

// The name between the first "[" and the next "]", and the text from the
// start of the following line up to its "=".
void NamesFrom(const std::wstring& text, std::wstring* section, std::wstring* key)
{
    size_t open = text.find(L'[');
    if (open == std::wstring::npos)
        return;
    size_t close = text.find(L']', open);
    if (close == std::wstring::npos)
        return;
    *section = text.substr(open + 1, close - open - 1);
    size_t line = text.find(L'\n', close);
    if (line == std::wstring::npos)
        return;
    size_t eq = text.find(L'=', line);
    if (eq != std::wstring::npos)
        *key = text.substr(line + 1, eq - line - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const FuzzFolder& folder = Folder();
    const uint8_t control = data[0];
    const size_t room = data[1] % 40;
    data += 2;
    size -= 2;
    std::FILE* f = std::fopen(folder.file.c_str(), "wb");
    if (!f)
        return 0;
    if (control & 0x80)
        std::fwrite("\xFF\xFE", 1, 2, f);
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    std::wstring section, key;
    NamesFrom(Units(data, size), &section, &key);
    const wchar_t* sectionName = control & 0x40 ? section.c_str() : kSections[control % 4];
    const wchar_t* keyName = control & 0x40 ? key.c_str() : kKeys[(control / 4) % 4];

    // An exact-size output, so that any write past the room is reported.
    std::vector<wchar_t> out(room == 0 ? 1 : room);
    const DWORD outSize = static_cast<DWORD>(room);
    const wchar_t* path = folder.widePath.c_str();
    DWORD length = 0;
    switch ((control >> 4) & 3) {
    case 0:
        length = GetPrivateProfileStringW(sectionName, keyName, L" default ", out.data(), outSize, path);
        break;
    case 1:
        length = GetPrivateProfileStringW(sectionName, nullptr, nullptr, out.data(), outSize, path);
        break;
    case 2:
        length = GetPrivateProfileStringW(nullptr, nullptr, L"", out.data(), outSize, path);
        break;
    default:
        length = GetPrivateProfileStringW(sectionName, keyName, nullptr, out.data(), outSize, nullptr);
        break;
    }
    // a fresh file each run: rewriting one in place is slow on some file systems
    unlink(folder.file.c_str());
    // Whatever the text, the answer is terminated within the room.
    if (room == 0 ? length != 0 : (length >= room || out[length] != L'\0'))
        __builtin_trap();
    return 0;
}
