#pragma once
// The program's own reader of narrow INI files (configuration, provisioning,
// trace settings). Every call reads the whole file again.
#include <cstddef>

// True when the key was found: out is zero-filled over outSize and holds the
// value cut to outSize - 1 characters. On false out is left as it was.
bool ReadIniString(const char* section, const char* key, char* out, size_t outSize, const wchar_t* path);

// The value as a decimal number (C conversion rules), def when the key is missing.
int ReadIniInt(const char* section, const char* key, int def, const wchar_t* path);

// True when the file is one the reader refuses for its size: its text fills
// the reader's buffer (more than IniFileMaxTextBytes() bytes before a stop).
// Every key of such a file reads as missing, so callers say this instead.
bool IniFileTooLarge(const wchar_t* path);
size_t IniFileMaxTextBytes();
