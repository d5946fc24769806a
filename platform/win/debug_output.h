#pragma once
// Debugger output stream. No sink by default (as with no debugger attached);
// SETWELL_DEBUG_OUTPUT names a file, or "stderr"; tests capture in process.
#include <string>
#include <vector>

void OutputDebugStringA(const char* text);
void OutputDebugStringW(const wchar_t* text);

// Collects every debug text sent while it lives (narrow texts as they are,
// wide texts converted to UTF-8). One capture at a time.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const;
    void Clear();
    // Number of captured texts that contain the fragment.
    size_t Count(const std::string& fragment) const;
};
