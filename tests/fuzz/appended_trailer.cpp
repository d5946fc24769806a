// A program file of any content through the appended-file release: its
// trailer entries name where each file lies. The first byte picks the list
// of entry names, the next eight give start and length for one direct
// extraction, the rest is the program file. Everything goes into a private
// folder, which must hold nothing but the expected names afterwards and is
// emptied after each run.
#include "app/released_files.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/fuzz/private_folder.h"

namespace {

const std::vector<std::wstring> kOneName = {L"only.bin"};
const std::vector<std::wstring> kNoNames = {};
const std::vector<std::wstring>* const kLists[] = {&kKittingToolFiles, &kWimaxToolFiles, &kOneName, &kNoNames};

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string Narrow(const std::wstring& s)
{
    std::string out;
    for (wchar_t c : s)
        out += static_cast<char>(c);
    return out;
}

struct FuzzFolder {
    std::string root;
    std::string source;
    std::string tool;
    FuzzFolder()
    {
        root = MakePrivateFolder("fuzz_trailer");
        source = root + "/source.exe";
        tool = root + "/tool";
        if (mkdir(tool.c_str(), 0700) != 0)
            std::abort();
        // failures would open a message box
        SetStartupMessageSink([](const std::wstring&) {});
    }
    ~FuzzFolder()
    {
        EmptyTool(nullptr);
        unlink(source.c_str());
        rmdir(tool.c_str());
        rmdir(root.c_str());
    }
    // Removes every file of the tool folder; aborts on a name not allowed.
    void EmptyTool(const std::set<std::string>* allowed) const
    {
        DIR* dir = opendir(tool.c_str());
        if (!dir)
            std::abort();
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            if (allowed && !allowed->count(name))
                std::abort();
            unlink((tool + "/" + name).c_str());
        }
        closedir(dir);
    }
    // The root holds the source and the tool folder only.
    void CheckRoot() const
    {
        DIR* dir = opendir(root.c_str());
        if (!dir)
            std::abort();
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (name != "." && name != ".." && name != "source.exe" && name != "tool")
                std::abort();
        }
        closedir(dir);
    }
};

const FuzzFolder& Folder()
{
    static const FuzzFolder folder;
    return folder;
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 9)
        return 0;
    const FuzzFolder& folder = Folder();
    const std::vector<std::wstring>& names = *kLists[data[0] % 4];
    const uint32_t start = Le32(data + 1);
    const uint32_t length = Le32(data + 5);

    std::FILE* f = std::fopen(folder.source.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data + 9, 1, size - 9, f);
    std::fclose(f);

    const std::wstring tool = Wide(folder.tool);
    ReleaseAppendedFiles(Wide(folder.source), tool, names);
    ReleaseAppendedFiles(Wide(folder.source), L"", names);

    int fd = open(folder.source.c_str(), O_RDONLY | O_CLOEXEC);
    ExtractAppendedFile(tool + L"/direct.bin", start, length, fd);
    ExtractAppendedFile(L"", start, length, fd);
    if (fd >= 0)
        close(fd);

    std::set<std::string> allowed = {"Pennant.exe", "direct.bin"};
    for (const std::wstring& name : names)
        allowed.insert(Narrow(name));
    folder.CheckRoot();
    folder.EmptyTool(&allowed);
    // fresh files each run: rewriting them in place is slow on some file systems
    unlink(folder.source.c_str());
    return 0;
}
