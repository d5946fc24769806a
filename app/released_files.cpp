#include "app/released_files.h"

#include "platform/ui/afx_app.h"
#include "platform/win/debug_output.h"
#include "platform/win/folders.h"
#include "platform/win/own_resources.h"
#include "platform/win/code_page.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kToolConfigResource = 133;
constexpr off_t kTrailerEntrySize = 8;

StartupMessageSink g_messageSink;

uint32_t LittleEndian32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

bool ReadAllAt(int fd, unsigned char* buf, size_t size, off_t offset)
{
    while (size > 0) {
        ssize_t n = pread(fd, buf, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buf += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

off_t FileSize(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 ? st.st_size : -1;
}

// Entry k of the trailer (k = 1 is the last 8 bytes of the file).
bool ReadTrailerEntry(int fd, int k, uint32_t& start, uint32_t& length)
{
    off_t size = FileSize(fd);
    off_t offset = size - kTrailerEntrySize * k;
    unsigned char entry[kTrailerEntrySize];
    if (size < 0 || offset < 0 || !ReadAllAt(fd, entry, sizeof entry, offset))
        return false;
    start = LittleEndian32(entry);
    length = LittleEndian32(entry + 4);
    return true;
}

} // namespace

const std::vector<std::wstring> kKittingToolFiles = {L"backupinfo", L"Apn_cfg.ini", L"KestlePortServer.dll",
                                                     L"pthreadVC2.dll", L"Pennant.exe"};
const std::vector<std::wstring> kWimaxToolFiles = {L"config.ini", L"KestlePortServer.dll", L"pthreadVC2.dll",
                                                   L"Pennant.exe"};

void SetStartupMessageSink(StartupMessageSink sink) { g_messageSink = std::move(sink); }

void ShowStartupMessage(const std::wstring& text)
{
    if (g_messageSink)
        g_messageSink(text);
    else
        AfxMessageBox(text.c_str());
}

bool WriteToolConfig(const std::wstring& workFolder, const std::wstring& name)
{
    const OwnResource* res = FindOwnResource("TOOLS", kToolConfigResource);
    // without a working folder the name would land in the root folder
    int fd = (res && !workFolder.empty()) ? CreateFileNoFollow(workFolder + L"/" + name, false) : -1;
    bool written = fd >= 0 && WriteAll(fd, res->data, res->size);
    if (fd >= 0 && close(fd) != 0)
        written = false;
    return written;
}

BOOL ExtractAppendedFile(const std::wstring& target, uint32_t start, uint32_t length, int source)
{
    if (length == 0 || source < 0 || target.empty())
        return FALSE;
    // an entry outside the file is as good as a missing one; this also keeps a
    // corrupt length from allocating more than the file holds
    off_t size = FileSize(source);
    if (start < 1 || size < 0 || static_cast<uint64_t>(start) - 1 + length > static_cast<uint64_t>(size))
        return FALSE;
    std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[length]);
    if (!buf || !ReadAllAt(source, buf.get(), length, static_cast<off_t>(start) - 1))
        return FALSE;

    int fd = CreateFileNoFollow(target, true);
    if (fd < 0) {
        ShowStartupMessage(L"Open main file fail");
        return FALSE;
    }
    bool written = WriteAll(fd, buf.get(), length);
    if (close(fd) != 0)
        written = false;
    return written ? TRUE : FALSE;
}

BOOL ReleaseAppendedFiles(const std::wstring& programFile, const std::wstring& toolFolder,
                          const std::vector<std::wstring>& entryNames, std::wstring* failure)
{
    OutputDebugStringW(L"Start ReleaseFilesFromExeFile");
    auto fail = [&](const std::wstring& why) {
        if (failure)
            *failure = why;
        return FALSE;
    };
    if (toolFolder.empty())
        return fail(L"No tool folder to release the appended files into."); // never into the root folder
    const std::wstring copy = toolFolder + L"/Pennant.exe";
    CopyFileReplacing(programFile, copy);
    int fd = open(WideToUtf8(copy).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        fd = -1;
    }
    if (fd < 0)
        return fail(L"Cannot copy the program " + programFile + L" into " + toolFolder + L".");
    BOOL result = FALSE;
    for (size_t k = 1; k <= entryNames.size(); ++k) {
        uint32_t start = 0, length = 0;
        result = ReadTrailerEntry(fd, static_cast<int>(k), start, length)
                     ? ExtractAppendedFile(toolFolder + L"/" + entryNames[k - 1], start, length, fd)
                     : FALSE;
        if (!result) {
            fail(L"Cannot release " + entryNames[k - 1] + L" (appended file " + std::to_wstring(k) + L") into " +
                 toolFolder + L": the program carries no such file, or it cannot be written there.");
            break;
        }
    }
    close(fd);
    return result;
}

