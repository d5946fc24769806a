// The tools know what they would reject of their data files; the packaging
// command in the application only asks, through the check PackageTool gives it.
#include "tools/package_data_check.h"

#include <string>

#include "device/ini_reader.h"
#include "platform/win/code_page.h"
#include "tools/kitting/apn_config_check.h"

namespace {

// The user's ID the WiMAX tool shows is read with this room.
constexpr size_t kUserIdRoom = 256;

}  // namespace

std::string CheckPackageData(const PackageInput& input)
{
    const size_t wanted = input.tool == PackagedTool::Kitting ? 2 : 1;
    if (input.dataFiles.size() != wanted)
        return "wrong number of data files";
    if (input.tool == PackagedTool::Kitting) {
        if (std::string problem = CheckNonEmptyFile(input.dataFiles[0], "backupinfo"); !problem.empty())
            return problem;
        if (std::string problem = CheckNonEmptyFile(input.dataFiles[1], "Apn_cfg.ini"); !problem.empty())
            return problem;
        return CheckApnConfig(Utf8ToWide(input.dataFiles[1]));
    }
    if (std::string problem = CheckNonEmptyFile(input.dataFiles[0], "config.ini"); !problem.empty())
        return problem;
    std::string userId(kUserIdRoom + 1, '\0');
    if (ReadIniString("USR_INFO", "USR_ID", userId.data(), userId.size(), Utf8ToWide(input.dataFiles[0]).c_str()) &&
        std::char_traits<char>::length(userId.c_str()) >= kUserIdRoom)
        return "config.ini: [USR_INFO] USR_ID is longer than " + std::to_string(kUserIdRoom - 1) + " bytes";
    return std::string();
}
