#pragma once
// Folders and files the program makes in the shared temporary folder. Others
// can write there, so nothing is trusted by name: folders are made 0700 and
// checked with lstat, files are never opened through a symlink, and trees are
// removed without following links.
#include <string>

// True when an entry of that name exists; a symlink counts itself, dangling or not.
bool FileEntryExists(const std::wstring& path);

// A real directory (not a symlink) owned by this user that nobody else can enter.
bool IsPrivateFolder(const std::wstring& path);

// mkdir with mode 0700 (no parents), then the IsPrivateFolder check.
bool MakePrivateFolder(const std::wstring& path);

// Removes the folder and everything below it. A symlink anywhere (also the
// folder itself) is removed as a link or left alone, never followed.
void RemoveTreeNoFollow(const std::wstring& path);

// Creates or truncates a file for writing (readWrite: also reading), mode
// 0600, refusing a symlink in its place. A file descriptor, or -1.
int CreateFileNoFollow(const std::wstring& path, bool readWrite);

// Writes all bytes; false on any error.
bool WriteAll(int fd, const void* data, size_t size);

// Copies src over dst (created or truncated, not through a symlink).
bool CopyFileReplacing(const std::wstring& src, const std::wstring& dst);
