#pragma once
// Named mutexes for the single-instance rule: a per-user lock file, held with
// flock for as long as the handle is open. "Already exists" means another open
// handle (in this or another live process) holds the name; a dead process
// never blocks a new start. Lock files live in GetSharedLockFolder().
#include <string>

#include "platform/win/win_types.h"

typedef void* HANDLE;

#ifndef ERROR_ALREADY_EXISTS
#define ERROR_ALREADY_EXISTS 183u
#endif
#ifndef ERROR_PATH_NOT_FOUND
#define ERROR_PATH_NOT_FOUND 3u
#endif

// Returns a handle (null on failure). GetLastError() is ERROR_ALREADY_EXISTS
// when the name was held already, 0 when this handle holds it now.
HANDLE CreateMutexW(void* security, BOOL initialOwner, const wchar_t* name);
BOOL CloseHandle(HANDLE handle);

// Last error of the calling thread, as set by the calls of this layer.
DWORD GetLastError();
void SetLastError(DWORD error);

// The lock file that stands for a mutex name (for tests and diagnostics).
std::string NamedMutexLockPath(const wchar_t* name);
