#pragma once
// Language files and text look-up. Each tool section has one look-up; a
// missing file, section or key gives the empty text (at most 1023 characters).
#include <atomic>
#include <string>

#include "app/language_path.h"
#include "platform/ui/afx.h"

enum : BYTE { LANGUAGE_JAPANESE = 0, LANGUAGE_ENGLISH = 1 };

// Embedded language files (resource type "TOOLS") and the menus shown with them.
constexpr UINT IDR_LANGUAGE_JAPANESE = 142;
constexpr UINT IDR_LANGUAGE_ENGLISH = 143;
constexpr const wchar_t* kJapaneseLanguageFile = L"lan_jap_cfg.ini";
constexpr const wchar_t* kEnglishLanguageFile = L"lan_eng_cfg.ini";
constexpr UINT IDR_MENU_ENGLISH = 136;
constexpr UINT IDR_MENU_JAPANESE = 138;
// Either menu's items select the language whichever menu is shown.
constexpr UINT ID_LANGUAGE_JAPANESE_136 = 32774;
constexpr UINT ID_LANGUAGE_ENGLISH_136 = 32775;
constexpr UINT ID_LANGUAGE_JAPANESE_138 = 32780;
constexpr UINT ID_LANGUAGE_ENGLISH_138 = 32781;

constexpr int LANGUAGE_TEXT_ROOM = 1024;

// The tool sections of the language files.
constexpr const wchar_t* kRestoreFactorySection = L"MARL_RESTORE_FACTORY_SETTING_TOOL";
constexpr const wchar_t* kSwitchModeSection = L"MARL_SWITCH_MODE_TOOL";
constexpr const wchar_t* kModemSettingSection = L"TARSEL_KESTLE_TOOLS_TYPE_MARL_MODEM_SETTING";
constexpr const wchar_t* kKittingSection = L"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING";
constexpr const wchar_t* kWimaxSection = L"TARSEL_KESTLE_TOOLS_TYPE_MARL_WIMAX";
constexpr const wchar_t* kVX520Section = L"TARSEL_KESTLE_TOOLS_TYPE_VX520_MODEM_SETTING";
constexpr const wchar_t* kGenSwitchModeSection = L"GEN_SWITCH_MODE_TOOL";

// The one look-up all members share.
CString ReadLanguageString(const wchar_t* section, const wchar_t* key, const std::wstring& path);

// A tool dialog that writes out language files and keeps its language state.
class CLanguageOwner {
public:
    virtual ~CLanguageOwner() = default;
    // The dialog's own look-up (its section, its path).
    virtual CString ReadOwnString(const wchar_t* key) const = 0;
    // The window whose caption and menu follow the language.
    virtual CWnd* LanguageWindow() = 0;
    // Sets every text of the dialog again from the language file.
    virtual void SetLanguageTexts() {}

    // set on the UI thread, read by the workers
    std::atomic<BYTE> m_nLanguageFlag{LANGUAGE_JAPANESE};
    std::wstring m_strWorkFolder;        // copy of g_strWorkFolder
    CLanguagePath m_strLanguageFilePath; // the generic switch tool's own path
    CMenu m_menuEnglish;                 // 136 once loaded
    CMenu m_menuJapanese;                // 138 once loaded
};

// Writes resource "TOOLS" resourceId unchanged to the dialog's working folder
// + "/" + fileName, only when the file there is absent or different, and then
// through a new file renamed over it, so that a look-up reads it whole. On failure shows READ_FILE_FAIL (its "%s" the file name) /
// ATTENTION from the dialog's own look-up and returns 0.
BOOL ReleaseLanguageFile(CLanguageOwner* dialog, UINT resourceId, const wchar_t* fileName);

// The generic switch tool's language change: flag, file written again, path,
// caption TITLE, menu 138 or 136 (the other stays loaded), every text again.
void SwitchGenericToolLanguage(CLanguageOwner* dialog, BYTE flag);

// The carrier tools have no language menu and nothing else sets the process-wide
// path for them: they show the Japanese texts, from the file written out once
// into the working folder. Does nothing when a path is set already; FALSE when
// the file could not be written (the texts then stay empty).
BOOL UseCarrierLanguageFile();

// The look-up family: one member per section.
CString ReadRestoreFactoryString(const wchar_t* key);
CString ReadSwitchModeString(const wchar_t* key);
CString ReadGenSwitchModeString(const CLanguageOwner* dialog, const wchar_t* key);
CString ReadModemSettingString(const wchar_t* key);
// The written four characters "\r\n" become a real line break.
CString ReadKittingString(const wchar_t* key);
CString ReadWimaxString(const wchar_t* key);
CString ReadVX520String(const wchar_t* key);
