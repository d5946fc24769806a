#include "platform/win/temp_folder.h"

#include "platform/win/code_page.h"
#include "platform/win/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

std::wstring WithSlash(std::wstring path)
{
    if (path.empty() || path.back() != L'/')
        path += L'/';
    return path;
}

}  // namespace

std::wstring GetTempFolderPath()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir && *dir) ? dir : "/tmp";
    if (path.back() != '/')
        path += '/';
    return Utf8ToWide(path);
}

std::wstring PrivateBaseFolderName() { return L"modem-service-tools-" + std::to_wstring(getuid()); }

std::wstring GetPrivateBaseFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && IsPrivateFolder(Utf8ToWide(runtime)))
        return WithSlash(Utf8ToWide(runtime));
    std::wstring base = GetTempFolderPath() + PrivateBaseFolderName();
    if (!MakePrivateFolder(base) && !IsPrivateFolder(base))
        return std::wstring();
    return WithSlash(base);
}
