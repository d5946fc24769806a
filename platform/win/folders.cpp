#include "platform/win/folders.h"

#include "platform/win/code_page.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Deep enough for anything the program makes; keeps the open descriptors bounded.
constexpr int kMaxTreeDepth = 64;

void RemoveEntryAt(int parentFd, const std::string& name, int depth)
{
    struct stat st;
    if (fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        unlinkat(parentFd, name.c_str(), 0);
        return;
    }
    if (depth < kMaxTreeDepth) {
        int fd = openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            std::vector<std::string> names;
            if (DIR* dir = fdopendir(dup(fd))) {
                while (dirent* e = readdir(dir)) {
                    std::string n = e->d_name;
                    if (n != "." && n != "..")
                        names.push_back(n);
                }
                closedir(dir);
            }
            for (const std::string& n : names)
                RemoveEntryAt(fd, n, depth + 1);
            close(fd);
        }
    }
    unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

std::string WithoutTrailingSlashes(const std::wstring& path)
{
    std::string p = WideToUtf8(path);
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

} // namespace

bool FileEntryExists(const std::wstring& path)
{
    struct stat st;
    return lstat(WideToUtf8(path).c_str(), &st) == 0;
}

bool IsPrivateFolder(const std::wstring& path)
{
    struct stat st;
    if (lstat(WithoutTrailingSlashes(path).c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

bool MakePrivateFolder(const std::wstring& path)
{
    std::string p = WithoutTrailingSlashes(path);
    if (mkdir(p.c_str(), 0700) != 0)
        return false;
    // mkdir honours the umask only downwards; make sure of the result itself
    return IsPrivateFolder(path);
}

void RemoveTreeNoFollow(const std::wstring& path)
{
    std::string p = WithoutTrailingSlashes(path);
    if (p.empty() || p == "/")
        return;
    RemoveEntryAt(AT_FDCWD, p, 0);
}

int CreateFileNoFollow(const std::wstring& path, bool readWrite)
{
    // O_NONBLOCK: a FIFO planted at the name fails at once instead of waiting for a reader
    int flags = (readWrite ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = open(WideToUtf8(path).c_str(), flags, 0600);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool CopyFileReplacing(const std::wstring& src, const std::wstring& dst)
{
    int in = open(WideToUtf8(src).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    int out = CreateFileNoFollow(dst, false);
    bool ok = out >= 0;
    char buf[65536];
    while (ok) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = WriteAll(out, buf, static_cast<size_t>(n));
    }
    if (out >= 0 && close(out) != 0)
        ok = false;
    close(in);
    return ok;
}
