#include "platform/win/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/win/code_page.h"
#include "platform/win/temp_folder.h"

namespace {

thread_local DWORD t_lastError = 0;

struct MutexHandle {
    int fd;
};

// A private folder every copy of this user shares: nobody else can choose or
// reach the lock files.
std::string LockFolder()
{
    return WideToUtf8(GetSharedLockFolder());
}

// Letters, digits, '-' and '.' stay; every other byte becomes %XX, so two
// different names never share a file.
std::string SafeFileName(const std::string& name)
{
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            (c == '.' && !out.empty())) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

std::string NamedMutexLockPath(const wchar_t* name)
{
    std::string folder = LockFolder();
    if (folder.empty() || !name)
        return std::string();
    return folder + "mutex-" + SafeFileName(WideToUtf8(name)) + ".lock";
}

HANDLE CreateMutexW(void*, BOOL, const wchar_t* name)
{
    std::string path = NamedMutexLockPath(name);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    // flock belongs to the open file description, so a second handle in the
    // same process conflicts too, as the name would on Windows.
    DWORD error = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = ERROR_ALREADY_EXISTS;
    SetLastError(error);
    return new MutexHandle{fd};
}

BOOL CloseHandle(HANDLE handle)
{
    if (!handle)
        return FALSE;
    auto* mutex = static_cast<MutexHandle*>(handle);
    close(mutex->fd);
    delete mutex;
    return TRUE;
}
