#pragma once
// The path of a language file, read by the watch threads and the workers while
// the UI thread may set it: every read takes the old or the new path whole.
#include <mutex>
#include <string>

class CLanguagePath {
public:
    CLanguagePath() = default;
    CLanguagePath(const CLanguagePath&) = delete;
    CLanguagePath& operator=(const CLanguagePath&) = delete;

    CLanguagePath& operator=(std::wstring path)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_path.swap(path);
        return *this;
    }
    std::wstring Get() const
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_path;
    }
    operator std::wstring() const { return Get(); }
    bool empty() const { return Get().empty(); }
    void clear() { *this = std::wstring(); }

    friend bool operator==(const CLanguagePath& path, const std::wstring& text) { return path.Get() == text; }

private:
    mutable std::mutex m_lock;
    std::wstring m_path;
};
