#pragma once
// Include in exactly one file of a test program: these definitions take the
// place of the port library's KestleClosePort and KestleEnumDeviceProperty,
// record the calls and pass each on to the library.
#include "platform/portlib/KestlePortServer.h"

#include <dlfcn.h>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace spy {
inline std::mutex lock;
inline std::vector<std::pair<int, std::string>> closed;
inline int listingCalls = 0;
inline int emptyListingsFirst = 0; // that many listing calls see nothing

// The linker may drop the library when these two are all a program uses of it,
// so fall back to loading it from the build folder.
template <typename Fn> Fn NextSymbol(const char* name)
{
    if (void* next = dlsym(RTLD_NEXT, name))
        return reinterpret_cast<Fn>(next);
    static void* library = dlopen(TEST_BUILD_DIR "/libKestlePortServer.so", RTLD_NOW | RTLD_LOCAL);
    return library ? reinterpret_cast<Fn>(dlsym(library, name)) : nullptr;
}
} // namespace spy

extern "C" int KestleClosePort(int kind, const char* name)
{
    {
        std::lock_guard<std::mutex> hold(spy::lock);
        spy::closed.emplace_back(kind, name ? name : "(null)");
    }
    static auto next = spy::NextSymbol<int (*)(int, const char*)>("KestleClosePort");
    return next ? next(kind, name) : -1;
}

extern "C" int KestleEnumDeviceProperty(char (*entries)[KESTLE_ENTRY_SIZE], int* count)
{
    {
        std::lock_guard<std::mutex> hold(spy::lock);
        ++spy::listingCalls;
        if (spy::emptyListingsFirst > 0) {
            --spy::emptyListingsFirst;
            *count = 0;
            return 0;
        }
    }
    static auto next = spy::NextSymbol<int (*)(char (*)[KESTLE_ENTRY_SIZE], int*)>("KestleEnumDeviceProperty");
    return next ? next(entries, count) : 1;
}

inline void ResetPortLibrarySpy()
{
    std::lock_guard<std::mutex> hold(spy::lock);
    spy::closed.clear();
    spy::listingCalls = 0;
    spy::emptyListingsFirst = 0;
}
inline void SetEmptyListingsFirst(int calls)
{
    std::lock_guard<std::mutex> hold(spy::lock);
    spy::emptyListingsFirst = calls;
}
inline std::vector<std::pair<int, std::string>> Closed()
{
    std::lock_guard<std::mutex> hold(spy::lock);
    return spy::closed;
}
inline int ListingCalls()
{
    std::lock_guard<std::mutex> hold(spy::lock);
    return spy::listingCalls;
}
