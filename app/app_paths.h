#pragma once
// Process-wide paths, set once on the UI thread at start-up and read-only after;
// the language path alone changes later (the language menu), so it is guarded.
#include <string>

#include "app/language_path.h"

extern std::wstring g_strWorkFolder;       // the private working folder
extern std::wstring g_strCfgFilePath;      // working folder + "/Adatper_cfg.ini"
extern CLanguagePath g_strLanguageFilePath; // the current language file (set by the VX520 tool)
