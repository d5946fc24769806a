#pragma once
// Paths are wide in the program and UTF-8 on the file system. Bytes that are
// not UTF-8 travel as U+DC80..U+DCFF so that every name survives the round trip.
#include <string>

std::string NarrowPath(const std::wstring& path);
std::wstring WidePath(const std::string& path);
