#include "platform/win/own_program_file.h"

#include "platform/win/code_page.h"

#include <unistd.h>
#include <vector>

std::wstring GetOwnProgramFile()
{
    std::vector<char> buf(4096);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return std::wstring();
        if (static_cast<size_t>(n) < buf.size())
            return Utf8ToWide(std::string(buf.data(), static_cast<size_t>(n)));
        buf.resize(buf.size() * 2);
    }
}
