#pragma once
// The current user's registry: a key is a folder under $XDG_CONFIG_HOME
// (default ~/.config) + a fixed product folder, so "Software\A\B" is
// <config>/modem-service-tools/registry/Software/A/B. A key exists when its
// folder exists; names are compared without regard to case. Values are not kept.
#include <string>

#include "platform/win/win_types.h"

struct RegistryKey;
typedef RegistryKey* HKEY;
typedef DWORD REGSAM;

// The one root these tools use.
extern const HKEY HKEY_CURRENT_USER;

#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0L
#endif
#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2L
#endif
#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED 5L
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87L
#endif
#ifndef KEY_QUERY_VALUE
#define KEY_QUERY_VALUE 0x0001u
#endif
#ifndef KEY_READ
#define KEY_READ 0x20019u
#endif
#ifndef KEY_ALL_ACCESS
#define KEY_ALL_ACCESS 0xF003Fu
#endif
#ifndef REG_OPTION_NON_VOLATILE
#define REG_OPTION_NON_VOLATILE 0u
#endif
#ifndef REG_CREATED_NEW_KEY
#define REG_CREATED_NEW_KEY 1u
#endif
#ifndef REG_OPENED_EXISTING_KEY
#define REG_OPENED_EXISTING_KEY 2u
#endif

LONG RegOpenKeyExW(HKEY root, const wchar_t* subKey, DWORD options, REGSAM access, HKEY* result);
// Creates the key and its missing parents (folders of mode 0700).
LONG RegCreateKeyExW(HKEY root, const wchar_t* subKey, DWORD reserved, wchar_t* keyClass, DWORD options,
                     REGSAM access, void* security, HKEY* result, DWORD* disposition);
// Deletes a key that has no sub-keys.
LONG RegDeleteKeyW(HKEY root, const wchar_t* subKey);
LONG RegCloseKey(HKEY key);

// The folder that holds the current user's keys (for tests and diagnostics).
std::string RegistryRootFolder();
