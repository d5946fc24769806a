#include "platform/win/registry.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/win/code_page.h"

struct RegistryKey {
    std::string folder;
};

namespace {
RegistryKey g_currentUser;
}

const HKEY HKEY_CURRENT_USER = &g_currentUser;

namespace {

constexpr const char* kProductFolder = "modem-service-tools/registry";

std::string ConfigHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config";
}

std::string FolderOf(HKEY root)
{
    if (root == HKEY_CURRENT_USER)
        return RegistryRootFolder();
    return root ? root->folder : std::string();
}

// "Software\A\B" as its components; empty, "." and ".." components are refused.
bool SplitKey(const wchar_t* subKey, std::vector<std::string>* parts)
{
    std::string text = WideToUtf8(subKey ? subKey : L"");
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\\/", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string part = text.substr(pos, end - pos);
        if (part == "." || part == "..")
            return false;
        if (!part.empty())
            parts->push_back(part);
        pos = end + 1;
    }
    return true;
}

bool IsOwnDirectory(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

// The existing entry of folder whose name matches part without regard to case.
bool FindChild(const std::string& folder, const std::string& part, std::string* found)
{
    if (IsOwnDirectory(folder + "/" + part)) {
        *found = part;
        return true;
    }
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    bool ok = false;
    while (dirent* e = readdir(dir)) {
        if (strcasecmp(e->d_name, part.c_str()) == 0 && IsOwnDirectory(folder + "/" + e->d_name)) {
            *found = e->d_name;
            ok = true;
            break;
        }
    }
    closedir(dir);
    return ok;
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p for the folders above the keys (the config home may be a link).
bool MakeRootFolders(const std::string& path)
{
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos < path.size() && path[pos] != '/')
            continue;
        std::string prefix = path.substr(0, pos);
        if (!IsDirectory(prefix) && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool MakeFolder(const std::string& path)
{
    return mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsOwnDirectory(path));
}

// Walks root + subKey; with create, missing folders are made on the way.
LONG Resolve(HKEY root, const wchar_t* subKey, bool create, std::string* folder, bool* created)
{
    std::vector<std::string> parts;
    if (!root || !SplitKey(subKey, &parts))
        return ERROR_INVALID_PARAMETER;
    std::string path = FolderOf(root);
    if (create && !MakeRootFolders(path))
        return ERROR_ACCESS_DENIED;
    if (!IsDirectory(path))
        return ERROR_FILE_NOT_FOUND;
    for (const std::string& part : parts) {
        std::string name;
        if (FindChild(path, part, &name)) {
            path += "/" + name;
            continue;
        }
        if (!create)
            return ERROR_FILE_NOT_FOUND;
        path += "/" + part;
        if (!MakeFolder(path))
            return ERROR_ACCESS_DENIED;
        if (created)
            *created = true;
    }
    *folder = path;
    return ERROR_SUCCESS;
}

}  // namespace

std::string RegistryRootFolder() { return ConfigHome() + "/" + kProductFolder; }

LONG RegOpenKeyExW(HKEY root, const wchar_t* subKey, DWORD, REGSAM, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::string folder;
    LONG rc = Resolve(root, subKey, false, &folder, nullptr);
    if (rc == ERROR_SUCCESS)
        *result = new RegistryKey{folder};
    return rc;
}

LONG RegCreateKeyExW(HKEY root, const wchar_t* subKey, DWORD, wchar_t*, DWORD, REGSAM, void*, HKEY* result,
                     DWORD* disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::string folder;
    bool created = false;
    LONG rc = Resolve(root, subKey, true, &folder, &created);
    if (rc != ERROR_SUCCESS)
        return rc;
    *result = new RegistryKey{folder};
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyW(HKEY root, const wchar_t* subKey)
{
    std::vector<std::string> parts;
    if (!SplitKey(subKey, &parts) || parts.empty())
        return ERROR_INVALID_PARAMETER;
    std::string folder;
    LONG rc = Resolve(root, subKey, false, &folder, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    // a key with sub-keys stays, as on Windows
    return rmdir(folder.c_str()) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegCloseKey(HKEY key)
{
    if (!key || key == HKEY_CURRENT_USER)
        return key ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    delete key;
    return ERROR_SUCCESS;
}
