#include "app/work_folder.h"

#include "app/tally_kit_app.h"
#include "platform/win/folders.h"
#include "platform/win/temp_folder.h"

namespace {

constexpr int kLastWorkFolderNumber = 99;

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

BOOL CTALLY_KITApp::CreateWorkFolder()
{
    std::wstring base = ExistingPrivateBase();
    if (base.empty())
        return FALSE;
    for (int n = 0; n <= kLastWorkFolderNumber; ++n) {
        std::wstring candidate = base + L"tempPath" + std::to_wstring(n);
        // the last number is taken even when it exists, if it is ours
        if (n < kLastWorkFolderNumber && PathExists(candidate))
            continue;
        if (CreateFolderIfMissing(candidate)) {
            m_strWorkFolder = candidate;
            return TRUE;
        }
        // taken meanwhile, or not ours: try the next number
    }
    return FALSE;
}

BOOL CTALLY_KITApp::CreateToolFolder(const wchar_t* name)
{
    std::wstring base = ExistingPrivateBase();
    if (base.empty())
        return FALSE;
    std::wstring folder = base + name;
    if (!CreateFolderIfMissing(folder))
        return FALSE;
    m_strToolFolder = folder;
    return TRUE;
}

BOOL CTALLY_KITApp::CreateKittingToolFolder() { return CreateToolFolder(L"VX530KittingTool"); }

BOOL CTALLY_KITApp::CreateWimaxToolFolder() { return CreateToolFolder(L"VX530WimaxTool"); }
