#include "platform/win/debug_output.h"

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

std::string WideToUtf8(const wchar_t* text)
{
    std::string out;
    for (; *text; ++text) {
        uint32_t c = static_cast<uint32_t>(*text);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
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
        Emit(WideToUtf8(text));
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
