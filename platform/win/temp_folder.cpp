#include "platform/win/temp_folder.h"

#include "platform/win/code_page.h"
#include "platform/win/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace {

std::wstring WithSlash(std::wstring path)
{
    if (path.empty() || path.back() != L'/')
        path += L'/';
    return path;
}

// Made by this process with mkdtemp (ending in "/"), for the fixed base it
// stands in for. Never destroyed: the exit handlers remove it.
struct FreshBase {
    std::mutex lock;
    std::wstring path;
    std::wstring standsFor;
};
FreshBase& Fresh()
{
    static FreshBase* fresh = new FreshBase;
    return *fresh;
}

std::wstring FixedBasePath() { return GetTempFolderPath() + PrivateBaseFolderName(); }

// A private folder only this process uses, for when the fixed per-user base is
// taken by someone else: that user could otherwise stop every start.
std::wstring FreshPrivateBase()
{
    FreshBase& fresh = Fresh();
    std::lock_guard<std::mutex> hold(fresh.lock);
    const std::wstring fixed = FixedBasePath();
    if (fresh.path.empty() || fresh.standsFor != fixed) {
        std::string pattern = WideToUtf8(fixed) + "-XXXXXX";
        fresh.path.clear();
        if (mkdtemp(pattern.data()) && IsPrivateFolder(Utf8ToWide(pattern))) {
            fresh.path = WithSlash(Utf8ToWide(pattern));
            fresh.standsFor = fixed;
        }
    }
    return fresh.path;
}

// True once this process went to a fresh base for the fixed base in use now.
bool FreshBaseInUse()
{
    FreshBase& fresh = Fresh();
    std::lock_guard<std::mutex> hold(fresh.lock);
    return !fresh.path.empty() && fresh.standsFor == FixedBasePath();
}

// The runtime folder when it will do.
std::wstring RuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && IsPrivateFolder(Utf8ToWide(runtime)))
        return WithSlash(Utf8ToWide(runtime));
    return std::wstring();
}

// The fixed base in the temp folder, made when missing; empty when another
// user has it or it is not private.
std::wstring FixedPrivateBase()
{
    std::wstring base = FixedBasePath();
    if (!MakePrivateFolder(base) && !IsPrivateFolder(base))
        return std::wstring();
    return WithSlash(base);
}

// The user's own cache folder: $XDG_CACHE_HOME, else $HOME/.cache.
std::string CacheFolder()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return cache;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.cache";
    return std::string();
}

}  // namespace

std::wstring GetTempFolderPath()
{
    // a relative TMPDIR would depend on the current folder: two copies started
    // from two folders would not see each other
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir && dir[0] == '/') ? dir : "/tmp";
    if (path.back() != '/')
        path += '/';
    return Utf8ToWide(path);
}

std::wstring PrivateBaseFolderName() { return L"modem-service-tools-" + std::to_wstring(getuid()); }

std::wstring GetPrivateBaseFolder()
{
    if (std::wstring runtime = RuntimeFolder(); !runtime.empty())
        return runtime;
    // once this process has gone elsewhere it stays there
    if (FreshBaseInUse())
        return FreshPrivateBase();
    if (std::wstring fixed = FixedPrivateBase(); !fixed.empty())
        return fixed;
    return FreshPrivateBase();
}

std::wstring GetSharedLockFolder()
{
    if (std::wstring runtime = RuntimeFolder(); !runtime.empty())
        return runtime;
    if (!FreshBaseInUse())
        if (std::wstring fixed = FixedPrivateBase(); !fixed.empty())
            return fixed;
    // every copy of this user meets here, whoever took the fixed base
    std::string cache = CacheFolder();
    if (cache.empty())
        return std::wstring();
    mkdir(cache.c_str(), 0700);
    std::wstring folder = Utf8ToWide(cache + "/") + L"modem-service-tools";
    if (!MakePrivateFolder(folder) && !IsPrivateFolder(folder))
        return std::wstring();
    return WithSlash(folder);
}

void RemoveFreshPrivateBase()
{
    FreshBase& fresh = Fresh();
    std::lock_guard<std::mutex> hold(fresh.lock);
    // only when empty: what is left is not ours to judge
    if (!fresh.path.empty() && rmdir(WideToUtf8(fresh.path).c_str()) == 0)
        fresh.path.clear();
}
