#include "platform/win/temp_folder.h"

#include "platform/win/wide_path.h"

#include <cstdlib>

std::wstring GetTempFolderPath()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir && *dir) ? dir : "/tmp";
    if (path.back() != '/')
        path += '/';
    return WidePath(path);
}
