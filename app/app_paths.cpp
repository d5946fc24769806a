#include "app/app_paths.h"

std::wstring g_strWorkFolder;
std::wstring g_strCfgFilePath;
CLanguagePath g_strLanguageFilePath;
