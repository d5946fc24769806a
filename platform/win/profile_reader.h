#pragma once
// Reader of private-profile (INI) files with the Windows rules: UTF-16LE with
// a byte-order mark (UTF-8 without one), section and key names compared
// without regard to case, blanks around keys and values trimmed, one pair of
// matching quotes around a value removed, ";" lines are comments. Every call
// reads the file again.
#include "platform/win/win_types.h"

// Copies the value of key in section into out (size characters with the
// terminator) and returns its length, cut to size - 1. A missing file, section
// or key gives def ("" when null). A null key lists the section's keys, a null
// section the sections' names, each terminated, the list ending in a second
// terminator (cut to size - 2 when it does not fit).
DWORD GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key, const wchar_t* def, wchar_t* out,
                               DWORD size, const wchar_t* path);
