#pragma once
// The user's temporary folder and the private per-user base under which the
// program makes every folder of its own.
#include <string>

// $TMPDIR when it is an absolute path, else /tmp; always ends in "/". There is no short/long name form
// here, so nothing else is done to it.
std::wstring GetTempFolderPath();

// The name of the private base in the temporary folder when there is no
// runtime folder: one per user.
std::wstring PrivateBaseFolderName();

// The base of the working and tool folders, ending in "/": $XDG_RUNTIME_DIR
// when it names a real directory of ours that nobody else can enter, else
// the temp folder's PrivateBaseFolderName(), made 0700 when missing and
// checked the same way (never a symlink, never another user's). When that one
// is taken by someone else, a fresh private folder of this process
// (PrivateBaseFolderName() + "-XXXXXX", mkdtemp), the same for the rest of the
// run. Empty when none will do: another user can never choose our folders.
std::wstring GetPrivateBaseFolder();

// Where every copy of this user keeps its single-instance locks, ending in
// "/": the runtime folder or the fixed base as above, else a private
// "modem-service-tools" folder in the user's cache folder. Empty when none.
std::wstring GetSharedLockFolder();

// Removes this process's fresh private folder if it made one and it is empty.
void RemoveFreshPrivateBase();
