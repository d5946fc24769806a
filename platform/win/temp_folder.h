#pragma once
// The user's temporary folder: $TMPDIR, else /tmp; always ends in "/".
// There is no short/long name form here, so nothing else is done to it.
#include <string>

std::wstring GetTempFolderPath();
