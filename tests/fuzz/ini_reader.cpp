// The INI reader over arbitrary file text: the first input byte picks the
// section and key looked up, the rest is the file.
#include "device/ini_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const char* const kSections[] = {"TOOLS_INFO", "FEATURE", "S", "APN_INFO"};
const char* const kKeys[] = {"TOOLS_TYPE", "WriteLog", "K", "DOMAIN_NAME"};

const std::wstring& FuzzFile()
{
    static const std::wstring path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string p = std::string(dir && *dir ? dir : "/tmp") + "/fuzz_ini_" + std::to_string(getpid()) + ".ini";
        return std::wstring(p.begin(), p.end());
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::wstring& path = FuzzFile();
    std::string narrow(path.begin(), path.end());
    std::FILE* f = std::fopen(narrow.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    const char* section = kSections[data[0] % 4];
    const char* key = kKeys[(data[0] / 4) % 4];
    char out[16];
    ReadIniString(section, key, out, 1 + data[0] % sizeof out, path.c_str());
    ReadIniInt(section, key, -7, path.c_str());
    return 0;
}
