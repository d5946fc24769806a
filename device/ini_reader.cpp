#include "device/ini_reader.h"

#include "platform/win/code_page.h"
#include "platform/win/data_file.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <pthread.h>

namespace {

// The text must end before this many bytes, else the file is not read at all.
constexpr size_t kWorkBufferSize = 262144;
constexpr unsigned char kStopByte = 0xFF;
// Longer key parts cannot be a key name of ours.
constexpr size_t kMaxKeyLength = 255;
constexpr size_t kIntTextSize = 32;

// Statically initialised, so two first callers can never both create it.
pthread_mutex_t g_readerMutex = PTHREAD_MUTEX_INITIALIZER;

class ReaderLock {
public:
    ReaderLock() { pthread_mutex_lock(&g_readerMutex); }
    ~ReaderLock() { pthread_mutex_unlock(&g_readerMutex); }
    ReaderLock(const ReaderLock&) = delete;
    ReaderLock& operator=(const ReaderLock&) = delete;
};

struct Text {
    const char* data;
    size_t size;
};

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A "[" at the very start or directly after a line end.
bool IsHeaderAt(const Text& t, size_t i)
{
    return i < t.size && t.data[i] == '[' && (i == 0 || IsLineEnd(t.data[i - 1]));
}

enum class Load { Ok, Unreadable, TooLarge };

// Text length up to the stop byte. Only a regular file is read (a FIFO or a
// device in its place never holds the reader up), and only as far as the work
// buffer: a file that fills it without a stop is too large to read at all.
Load LoadFile(const wchar_t* path, char* buffer, size_t& length)
{
    DataFileRead verdict;
    const int fd = OpenDataFile(WideToUtf8(path), &verdict);
    if (fd < 0)
        return Load::Unreadable;
    size_t n = 0;
    while (n < kWorkBufferSize) {
        ssize_t got = read(fd, buffer + n, kWorkBufferSize - n);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            close(fd);
            return Load::Unreadable;
        }
        if (got == 0)
            break;
        n += static_cast<size_t>(got);
    }
    close(fd);
    const void* stop = std::memchr(buffer, kStopByte, n);
    if (stop) {
        length = static_cast<size_t>(static_cast<const char*>(stop) - buffer);
        return Load::Ok;
    }
    if (n >= kWorkBufferSize)
        return Load::TooLarge;
    length = n;
    return Load::Ok;
}

// Searches the lines of one section starting at pos (just behind its "]").
// Returns true with the value range on a match; pos ends at the next header.
bool FindKeyInSection(const Text& t, size_t& pos, const char* key, size_t keyLen, size_t& valueStart,
                      size_t& valueLen)
{
    while (pos < t.size && (IsBlank(t.data[pos]) || IsLineEnd(t.data[pos])))
        ++pos;
    while (pos < t.size && !IsHeaderAt(t, pos)) {
        size_t lineEnd = pos;
        while (lineEnd < t.size && !IsLineEnd(t.data[lineEnd]))
            ++lineEnd;
        size_t next = lineEnd < t.size ? lineEnd + 1 : lineEnd;
        if (lineEnd == pos || t.data[pos] == ';') {
            pos = next;
            continue;
        }
        const void* eq = std::memchr(t.data + pos, '=', lineEnd - pos);
        if (!eq || eq == t.data + pos) {
            pos = next;
            continue;
        }
        size_t eqPos = static_cast<size_t>(static_cast<const char*>(eq) - t.data);
        size_t keyEnd = eqPos;
        while (keyEnd > pos && IsBlank(t.data[keyEnd - 1]))
            --keyEnd;
        size_t partLen = keyEnd - pos;
        if (partLen <= kMaxKeyLength && partLen == keyLen && std::memcmp(t.data + pos, key, keyLen) == 0) {
            valueStart = eqPos + 1;
            valueLen = lineEnd - valueStart;
            return true;
        }
        pos = next;
    }
    return false;
}

bool FindValue(const Text& t, const char* section, const char* key, size_t& valueStart, size_t& valueLen)
{
    const size_t sectionLen = std::strlen(section);
    const size_t keyLen = std::strlen(key);
    size_t pos = 0;
    while (pos < t.size) {
        if (!IsHeaderAt(t, pos)) {
            ++pos;
            continue;
        }
        const void* close = std::memchr(t.data + pos + 1, ']', t.size - pos - 1);
        if (!close)
            return false;
        size_t nameStart = pos + 1;
        size_t nameLen = static_cast<size_t>(static_cast<const char*>(close) - (t.data + nameStart));
        pos = nameStart + nameLen + 1;
        // the header name only has to equal the leading part of the wanted one
        if (nameLen <= sectionLen && std::memcmp(t.data + nameStart, section, nameLen) == 0 &&
            FindKeyInSection(t, pos, key, keyLen, valueStart, valueLen))
            return true;
    }
    return false;
}

// Loads the file into a fresh work buffer and hands its text to use, all
// under the reader's lock.
template <typename Use>
Load WithFileText(const wchar_t* path, Use use)
{
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kWorkBufferSize]());
    if (!buffer)
        return Load::Unreadable;
    ReaderLock lock;
    size_t length = 0;
    const Load result = LoadFile(path, buffer.get(), length);
    if (result == Load::Ok)
        use(Text{buffer.get(), length});
    return result;
}

} // namespace

bool ReadIniString(const char* section, const char* key, char* out, size_t outSize, const wchar_t* path)
{
    if (!section || !*section || !key || !*key || !out || outSize < 1 || !path)
        return false;
    bool found = false;
    WithFileText(path, [&](const Text& text) {
        size_t valueStart = 0, valueLen = 0;
        if (!FindValue(text, section, key, valueStart, valueLen))
            return;
        std::memset(out, 0, outSize);
        std::memcpy(out, text.data + valueStart, valueLen < outSize - 1 ? valueLen : outSize - 1);
        found = true;
    });
    return found;
}

int ReadIniInt(const char* section, const char* key, int def, const wchar_t* path)
{
    char text[kIntTextSize] = {};
    if (!ReadIniString(section, key, text, sizeof text, path))
        return def;
    // saturates instead of wrapping, like the conversion the files were written for
    long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

bool IniFileTooLarge(const wchar_t* path)
{
    return path && WithFileText(path, [](const Text&) {}) == Load::TooLarge;
}

size_t IniFileMaxTextBytes() { return kWorkBufferSize - 1; }
