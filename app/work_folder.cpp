#include "app/work_folder.h"

#include "platform/win/code_page.h"
#include "platform/win/folders.h"
#include "platform/win/temp_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

constexpr int kLastWorkFolderNumber = 99;

// The folders this process made, removed by whichever way it ends; the lock
// of its working folder's owner file is held until then.
struct OwnFolder {
    std::wstring path;
    std::string ownerFile;  // empty for a tool folder
    int ownerFd = -1;
};
// never destroyed: the application object removes its folders in the exit handlers
struct OwnFolders {
    std::mutex lock;
    std::vector<OwnFolder> folders;
};
OwnFolders& Own()
{
    static OwnFolders* own = new OwnFolders;
    return *own;
}

void RemoveOwnFolder(const OwnFolder& folder)
{
    DeleteFolderTree(folder.path);
    if (folder.ownerFd >= 0) {
        // the file goes while it is still locked: nobody takes a folder that is half gone
        unlink(folder.ownerFile.c_str());
        close(folder.ownerFd);
    }
}

// Beside tempPathN in the private base; locked while its owner runs, so that
// the folder of a run that was killed can be told from a live copy's.
std::string OwnerFileOf(const std::wstring& base, int n)
{
    return WideToUtf8(base) + ".tempPath" + std::to_string(n) + ".owner";
}

// The owner file, locked by this process; -1 when a live copy holds it or it
// is no longer the file at that name (its owner ended and removed it).
int LockOwnerFile(const std::string& path, bool create)
{
    int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd < 0)
        return -1;
    struct stat held, named;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &held) != 0 || lstat(path.c_str(), &named) != 0 ||
        held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
        close(fd);
        return -1;
    }
    return fd;
}

// Working folders left by runs that were killed: their owner file is there
// but nobody holds it. A live copy's folder is never touched.
void RemoveLeftWorkFolders(const std::wstring& base)
{
    for (int n = 0; n <= kLastWorkFolderNumber; ++n) {
        std::string owner = OwnerFileOf(base, n);
        if (!FileEntryExists(Utf8ToWide(owner)))
            continue;
        int fd = LockOwnerFile(owner, false);
        if (fd < 0)
            continue;
        RemoveTreeNoFollow(base + L"tempPath" + std::to_wstring(n));
        unlink(owner.c_str());
        close(fd);
    }
}

void KeepOwnFolder(OwnFolder folder)
{
    std::lock_guard<std::mutex> hold(Own().lock);
    std::vector<OwnFolder>& g_ownFolders = Own().folders;
    g_ownFolders.push_back(std::move(folder));
}

// The private base (ending in "/"), else empty: the shared temp folder itself
// would let another user choose our folders by making them first.
std::wstring ExistingPrivateBase()
{
    std::wstring base = GetPrivateBaseFolder();
    return (!base.empty() && PathExists(base)) ? base : std::wstring();
}

} // namespace

BOOL PathExists(const std::wstring& path)
{
    std::wstring p = path;
    if (!p.empty() && p.back() == L'/') {
        if (p.find_first_not_of(L'/') == std::wstring::npos)
            return TRUE; // the root, like a drive root, needs no look-up
        while (p.back() == L'/')
            p.pop_back();
    }
    return !p.empty() && FileEntryExists(p);
}

BOOL CreateFolderIfMissing(const std::wstring& path)
{
    if (PathExists(path))
        return IsPrivateFolder(path);
    return MakePrivateFolder(path);
}

void DeleteFolderTree(const std::wstring& folder) { RemoveTreeNoFollow(folder); }

void RemoveOwnFolders(const std::vector<std::wstring>& folders)
{
    std::lock_guard<std::mutex> hold(Own().lock);
    std::vector<OwnFolder>& g_ownFolders = Own().folders;
    for (const std::wstring& path : folders) {
        if (path.empty())
            continue;
        auto it = std::find_if(g_ownFolders.begin(), g_ownFolders.end(),
                               [&](const OwnFolder& f) { return f.path == path; });
        if (it == g_ownFolders.end()) {
            DeleteFolderTree(path);
            continue;
        }
        RemoveOwnFolder(*it);
        g_ownFolders.erase(it);
    }
    if (g_ownFolders.empty())
        RemoveFreshPrivateBase();
}

void RemoveAllOwnFolders()
{
    std::lock_guard<std::mutex> hold(Own().lock);
    std::vector<OwnFolder>& g_ownFolders = Own().folders;
    for (const OwnFolder& folder : g_ownFolders)
        RemoveOwnFolder(folder);
    g_ownFolders.clear();
    RemoveFreshPrivateBase();
}

std::wstring MakeOwnWorkFolder()
{
    std::wstring base = ExistingPrivateBase();
    if (base.empty())
        return std::wstring();
    RemoveLeftWorkFolders(base);
    for (int n = 0; n <= kLastWorkFolderNumber; ++n) {
        std::wstring candidate = base + L"tempPath" + std::to_wstring(n);
        std::string owner = OwnerFileOf(base, n);
        // a folder without an owner file is none of ours to judge; the last
        // number is taken even then, if it is ours
        bool owned = FileEntryExists(Utf8ToWide(owner));
        if (n < kLastWorkFolderNumber && PathExists(candidate) && !owned)
            continue;
        int fd = LockOwnerFile(owner, true);
        if (fd < 0)
            continue;  // a live copy's
        if (owned)
            RemoveTreeNoFollow(candidate);  // its run was killed since the sweep
        if (CreateFolderIfMissing(candidate)) {
            KeepOwnFolder({candidate, owner, fd});
            return candidate;
        }
        // taken meanwhile, or not ours: try the next number
        unlink(owner.c_str());
        close(fd);
    }
    return std::wstring();
}

std::wstring MakeOwnToolFolder(const wchar_t* name)
{
    std::wstring base = ExistingPrivateBase();
    if (base.empty())
        return std::wstring();
    std::wstring folder = base + name;
    if (!CreateFolderIfMissing(folder))
        return std::wstring();
    KeepOwnFolder({folder, std::string(), -1});
    return folder;
}
