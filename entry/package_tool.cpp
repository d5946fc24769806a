// PackageTool: appends the files that tool types 5 (ApnProvisioning) and 7
// (WimaxSwitch) release at start-up behind the program, with their trailer.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/tool_package.h"
#include "tools/package_data_check.h"

namespace {

const char kUsage[] =
    "usage: PackageTool apn   [--program PROGRAM] BACKUPINFO APN_CFG_INI OUTPUT\n"
    "       PackageTool wimax [--program PROGRAM] CONFIG_INI OUTPUT\n"
    "PROGRAM defaults to ApnProvisioning (apn) or WimaxSwitch (wimax) beside PackageTool;\n"
    "the port library libKestlePortServer.so is taken from beside PROGRAM.\n";

int Usage(const char* problem)
{
    if (problem)
        std::fprintf(stderr, "PackageTool: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

std::filesystem::path OwnFolder()
{
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h")
        return Usage(nullptr);
    PackageInput input;
    std::string defaultProgram;
    size_t dataCount = 0;
    if (args[0] == "apn") {
        input.tool = PackagedTool::Kitting;
        defaultProgram = "ApnProvisioning";
        dataCount = 2;
    } else if (args[0] == "wimax") {
        input.tool = PackagedTool::Wimax;
        defaultProgram = "WimaxSwitch";
        dataCount = 1;
    } else {
        return Usage(("unknown tool \"" + args[0] + "\" (apn or wimax)").c_str());
    }
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--program") {
            if (++i >= args.size())
                return Usage("--program needs a file");
            input.program = args[i];
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != dataCount + 1)
        return Usage("wrong number of files");
    if (input.program.empty())
        input.program = (OwnFolder() / defaultProgram).string();
    input.dataFiles.assign(files.begin(), files.end() - 1);
    input.output = files.back();
    input.portLibrary = (std::filesystem::path(input.program).parent_path() / "libKestlePortServer.so").string();
    if (std::filesystem::path(input.program).parent_path().empty())
        input.portLibrary = "libKestlePortServer.so";

    std::string problem = PackageToolProgram(input, CheckPackageData);
    if (!problem.empty()) {
        std::fprintf(stderr, "PackageTool: %s\nnothing written\n", problem.c_str());
        return 1;
    }
    std::printf("PackageTool: wrote %s\n", input.output.c_str());
    return 0;
}
