#pragma once
// The user's temporary folder and the private per-user base under which the
// program makes every folder of its own.
#include <string>

// $TMPDIR, else /tmp; always ends in "/". There is no short/long name form
// here, so nothing else is done to it.
std::wstring GetTempFolderPath();

// The name of the private base in the temporary folder when there is no
// runtime folder: one per user.
std::wstring PrivateBaseFolderName();

// The base of the working and tool folders, ending in "/": $XDG_RUNTIME_DIR
// when it names a real directory of ours that nobody else can enter, else
// the temp folder's PrivateBaseFolderName(), made 0700 when missing and
// checked the same way (never a symlink, never another user's). Empty when
// neither will do: another user can never choose the folders we use.
std::wstring GetPrivateBaseFolder();
