#pragma once
// Collects the port library's debug lines while it lives (the library keeps
// its own copy of the debug stream, out of reach of DebugCapture).
#include <mutex>
#include <string>
#include <vector>

#include "platform/portlib/portlib_internal.h"

namespace portlib_test {

class LibraryDebug {
public:
    LibraryDebug()
    {
        Clear();
        kestle_portlib::SetDebugHook(&Add);
    }
    ~LibraryDebug() { kestle_portlib::SetDebugHook(nullptr); }
    LibraryDebug(const LibraryDebug&) = delete;
    LibraryDebug& operator=(const LibraryDebug&) = delete;

    static void Clear()
    {
        std::lock_guard<std::mutex> hold(Lock());
        Lines().clear();
    }
    // Lines that contain the fragment.
    size_t Count(const std::string& fragment) const
    {
        std::lock_guard<std::mutex> hold(Lock());
        size_t n = 0;
        for (const std::string& line : Lines())
            n += line.find(fragment) != std::string::npos;
        return n;
    }
    std::string All() const
    {
        std::lock_guard<std::mutex> hold(Lock());
        std::string all;
        for (const std::string& line : Lines())
            all += line;
        return all;
    }

private:
    static void Add(const char* line)
    {
        std::lock_guard<std::mutex> hold(Lock());
        Lines().emplace_back(line);
    }
    static std::mutex& Lock()
    {
        static std::mutex lock;
        return lock;
    }
    static std::vector<std::string>& Lines()
    {
        static std::vector<std::string> lines;
        return lines;
    }
};

}  // namespace portlib_test
