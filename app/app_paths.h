#pragma once
// Process-wide paths, set once on the UI thread at start-up and read-only after.
#include <string>

extern std::wstring g_strWorkFolder;       // the private working folder
extern std::wstring g_strCfgFilePath;      // working folder + "/Adatper_cfg.ini"
extern std::wstring g_strLanguageFilePath; // the current language file (set by the VX520 tool)
