#include "app/tool_package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "app/released_files.h"
#include "platform/win/data_file.h"

const char kThreadLibraryNote[] = "POSIX threads: part of the C library on Linux; nothing to load.\n";

namespace {

bool ReadWholeFile(const std::string& path, std::string* bytes)
{
    // far above any program or data file, and a FIFO or device never read
    constexpr size_t kMaxInputBytes = size_t(1) << 30;
    return ReadDataFile(path, kMaxInputBytes, bytes) == DataFileRead::Ok;
}

void PutLittleEndian32(std::string& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

}  // namespace

std::string CheckNonEmptyFile(const std::string& path, const char* role)
{
    std::string bytes;
    if (!ReadWholeFile(path, &bytes))
        return std::string(role) + ": cannot read " + path;
    // an entry of length 0 counts as missing: the release would stop there
    if (bytes.empty())
        return std::string(role) + ": " + path + " is empty";
    return std::string();
}

std::string PackageToolProgram(const PackageInput& input, PackageDataCheck checkData)
{
    if (std::string problem = checkData(input); !problem.empty())
        return problem;
    struct stat programStat, outputStat;
    if (stat(input.program.c_str(), &programStat) == 0 && stat(input.output.c_str(), &outputStat) == 0 &&
        programStat.st_dev == outputStat.st_dev && programStat.st_ino == outputStat.st_ino)
        return "the output would replace the program itself: name another file";
    std::string image;
    if (!ReadWholeFile(input.program, &image) || image.empty())
        return "cannot read the program " + input.program;
    std::string portLibrary;
    if (!ReadWholeFile(input.portLibrary, &portLibrary) || portLibrary.empty())
        return "cannot read the port library " + input.portLibrary;

    // entries in trailer order, named as the release names them
    std::vector<std::string> entries;
    for (const std::string& file : input.dataFiles) {
        std::string bytes;
        if (!ReadWholeFile(file, &bytes))
            return "cannot read " + file;
        entries.push_back(std::move(bytes));
    }
    entries.push_back(portLibrary);
    entries.push_back(kThreadLibraryNote);
    entries.push_back(image);
    const auto& names = input.tool == PackagedTool::Kitting ? kKittingToolFiles : kWimaxToolFiles;
    if (entries.size() != names.size())
        return "internal: entry count";

    std::string out = image;
    std::vector<std::pair<uint32_t, uint32_t>> placed;
    for (const std::string& entry : entries) {
        // positions count from 1 and everything must stay within 32 bits
        if (out.size() + entry.size() + 8 * entries.size() >= UINT32_MAX)
            return "the packaged program would be larger than 4 GiB";
        placed.emplace_back(static_cast<uint32_t>(out.size() + 1), static_cast<uint32_t>(entry.size()));
        out += entry;
    }
    for (size_t k = placed.size(); k >= 1; --k) {
        PutLittleEndian32(out, placed[k - 1].first);
        PutLittleEndian32(out, placed[k - 1].second);
    }

    const std::string temp = input.output + ".part";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0755);
    if (fd < 0)
        return "cannot create " + temp;
    bool ok = true;
    for (size_t done = 0; ok && done < out.size();) {
        ssize_t n = write(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    ok = fchmod(fd, 0755) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temp.c_str(), input.output.c_str()) != 0) {
        unlink(temp.c_str());
        return "cannot write " + input.output;
    }
    return std::string();
}
