#include "platform/win/debug_output.h"

#include "platform/win/code_page.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_lock;
bool g_capturing = false;
std::vector<std::string>* g_captured = nullptr;

FILE* EnvironmentSink()
{
    static FILE* sink = [] () -> FILE* {
        const char* name = std::getenv("SETWELL_DEBUG_OUTPUT");
        if (!name || !*name)
            return nullptr;
        if (std::strcmp(name, "stderr") == 0)
            return stderr;
        return std::fopen(name, "a");
    }();
    return sink;
}

void Emit(const std::string& text)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_capturing && g_captured)
        g_captured->push_back(text);
    if (FILE* sink = EnvironmentSink()) {
        std::fputs(text.c_str(), sink);
        if (text.empty() || (text.back() != '\n' && text.back() != '\r'))
            std::fputc('\n', sink);
        std::fflush(sink);
    }
}

} // namespace

void OutputDebugStringA(const char* text)
{
    if (text)
        Emit(text);
}

void OutputDebugStringW(const wchar_t* text)
{
    if (text)
        Emit(WideToUtf8(std::wstring(text)));
}

DebugCapture::DebugCapture()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_captured = new std::vector<std::string>();
    g_capturing = true;
}

DebugCapture::~DebugCapture()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_capturing = false;
    delete g_captured;
    g_captured = nullptr;
}

std::vector<std::string> DebugCapture::Lines() const
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_captured ? *g_captured : std::vector<std::string>();
}

void DebugCapture::Clear()
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_captured)
        g_captured->clear();
}

size_t DebugCapture::Count(const std::string& fragment) const
{
    std::lock_guard<std::mutex> hold(g_lock);
    size_t n = 0;
    if (g_captured)
        for (const auto& line : *g_captured)
            if (line.find(fragment) != std::string::npos)
                ++n;
    return n;
}
