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

// A working folder tempPathN of this run under the private base, kept as one
// of ours (its owner file locked until the end); empty when none could be made.
std::wstring MakeOwnWorkFolder();

// The tool folder of that name under the private base, kept as one of ours;
// empty when it cannot be made or is not a private folder of ours.
std::wstring MakeOwnToolFolder(const wchar_t* name);
