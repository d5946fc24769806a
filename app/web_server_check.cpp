#include "app/web_server_check.h"

#include <cstring>

#include "app/app_paths.h"
#include "device/goform.h"
#include "device/ini_reader.h"

int IsWebServerDownForSection(const char* configSection)
{
    char domain[1024] = {};
    char command[1024] = {};
    ReadIniString(configSection, "DOMAIN_NAME", domain, sizeof domain, g_strCfgFilePath.c_str());
    ReadIniString(configSection, "GET_OUT_VERSION_COMMAND", command, sizeof command, g_strCfgFilePath.c_str());
    char answer[GOFORM_VERSION_REPLY_ROOM] = {};
    if (Http_GetCurrentVersion(domain, command, answer) != 0)
        return 1;
    if (answer[0] == '\0' || std::strstr(answer, "failure"))
        return 1;
    return 0;
}
