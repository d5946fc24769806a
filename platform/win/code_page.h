#pragma once
// Code-page conversions. The ANSI code page (CP_ACP) is UTF-8 here; wide
// text is wchar_t (one code point each). Lengths of -1 mean "up to and with
// the terminator", as on Windows.
#include <string>

#include "platform/win/win_types.h"

#ifndef CP_ACP
#define CP_ACP 0u
#endif
#ifndef CP_UTF8
#define CP_UTF8 65001u
#endif

// Returns the bytes written (or needed, when outSize is 0); 0 when out is too small.
int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* wide, int wideLength, char* out, int outSize,
                        const char* defaultChar, BOOL* usedDefaultChar);
// Returns the wide characters written (or needed, when outSize is 0); 0 when out is too small.
// Malformed bytes become U+FFFD.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, wchar_t* out, int outSize);

std::string WideToUtf8(const std::wstring& wide);
std::wstring Utf8ToWide(const std::string& text);
