#pragma once
// Folders under the private per-user base (GetPrivateBaseFolder): the working
// folder tempPathN and the tool folders of the kitting and WiMAX tools.
#include "platform/win/win_types.h"

#include <string>

// 1 when an entry of that name exists ("/" always does); a trailing "/" is ignored.
BOOL PathExists(const std::wstring& path);

// 1 when path is (or has now been made) a private folder of ours, else 0.
// An existing symlink or a folder of another user is refused. No parents made.
BOOL CreateFolderIfMissing(const std::wstring& path);

// Deletes the folder with everything in it; symlinks are removed, never followed.
void DeleteFolderTree(const std::wstring& folder);
