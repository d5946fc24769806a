#pragma once
// Folders under the private per-user base (GetPrivateBaseFolder): the working
// folder tempPathN and the tool folders of the kitting and WiMAX tools.
#include "platform/win/win_types.h"

#include <string>
#include <vector>

// 1 when an entry of that name exists ("/" always does); a trailing "/" is ignored.
BOOL PathExists(const std::wstring& path);

// 1 when path is (or has now been made) a private folder of ours, else 0.
// An existing symlink or a folder of another user is refused. No parents made.
BOOL CreateFolderIfMissing(const std::wstring& path);

// Deletes the folder with everything in it; symlinks are removed, never followed.
void DeleteFolderTree(const std::wstring& folder);

// Removes the given folders with everything in them, and the owner file of a
// working folder this process made. Safe from any thread.
void RemoveOwnFolders(const std::vector<std::wstring>& folders);

// The same for every folder this process made: the forced end's cleanup.
void RemoveAllOwnFolders();
