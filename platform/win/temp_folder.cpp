#include "platform/win/temp_folder.h"

#include "platform/win/code_page.h"

#include <cstdlib>

std::wstring GetTempFolderPath()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir && *dir) ? dir : "/tmp";
    if (path.back() != '/')
        path += '/';
    return Utf8ToWide(path);
}
