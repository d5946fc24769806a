#include "tools/kitting/apn_config_check.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "device/ini_reader.h"
#include "platform/win/code_page.h"

namespace {

constexpr const char* kApnSection = "APN_INFO";

// The value read with one byte more room than the run gives it, so that a
// value the run would cut shows as too long; false when the key is absent.
bool ReadValue(const std::wstring& path, const std::string& key, size_t room, std::string* value)
{
    std::vector<char> text(room + 1, '\0');
    if (!ReadIniString(kApnSection, key.c_str(), text.data(), text.size(), path.c_str()))
        return false;
    *value = text.data();
    return true;
}

}  // namespace

std::string ApnConfigSizeProblem(const std::wstring& path)
{
    if (!IniFileTooLarge(path.c_str()))
        return std::string();
    return "Apn_cfg.ini: the file is larger than " + std::to_string(IniFileMaxTextBytes()) +
           " bytes, the most that is read";
}

std::string CheckApnConfig(const std::wstring& path)
{
    struct stat st;
    if (stat(WideToUtf8(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return "Apn_cfg.ini: no such file";
    if (std::string problem = ApnConfigSizeProblem(path); !problem.empty())
        return problem;
    std::string value;
    if (!ReadValue(path, "DEVICE_IMEI", 255, &value) || value.empty())
        return "Apn_cfg.ini: [APN_INFO] DEVICE_IMEI is missing";
    int count = ReadIniInt(kApnSection, "APN_NUM", 0, path.c_str());
    if (count < 1)
        return "Apn_cfg.ini: [APN_INFO] APN_NUM is missing or less than 1";
    if (count > KITTING_MAX_APN_COMMANDS)
        count = KITTING_MAX_APN_COMMANDS;
    for (int i = 1; i <= count; ++i) {
        std::string key = "APN_COMMAND" + std::to_string(i);
        bool given = ReadValue(path, key, KITTING_APN_COMMAND_ROOM, &value) && !value.empty();
        // an empty command before the last is skipped by the run; the last decides its result
        if (!given && i == count)
            return "Apn_cfg.ini: [APN_INFO] " + key + " is missing (APN_NUM is " + std::to_string(count) + ")";
        if (value.size() >= KITTING_APN_COMMAND_ROOM)
            return "Apn_cfg.ini: [APN_INFO] " + key + " is longer than " +
                   std::to_string(KITTING_APN_COMMAND_ROOM - 1) + " bytes";
        value.clear();
    }
    if (ReadValue(path, "CONFIG1_PDP_TYPE", 100, &value) && !value.empty()) {
        bool known = false;
        for (const char* name : {"IPv4", "IPv6", "IPv4&IPv6"})
            known |= strcasecmp(value.c_str(), name) == 0;
        if (!known)
            return "Apn_cfg.ini: [APN_INFO] CONFIG1_PDP_TYPE \"" + value + "\" is not IPv4, IPv6 or IPv4&IPv6";
    }
    return std::string();
}
