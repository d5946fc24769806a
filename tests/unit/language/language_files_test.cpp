// The embedded language files against the table of sections and keys.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/language.h"
#include "platform/win/code_page.h"
#include "platform/win/own_resources.h"
#include "platform/win/profile_reader.h"

namespace {

using KeySet = std::set<std::wstring>;

// Every key of every section, as the tools ask for them.
const std::map<std::wstring, KeySet>& SectionTable()
{
    static const std::map<std::wstring, KeySet> table = {
        {L"MARL_RESTORE_FACTORY_SETTING_TOOL",
         {L"TITLE", L"STATIC_INFO", L"BUTTON_INFO", L"SUCCESS_INFO", L"FAILED_INFO", L"SINGLE_TOOL"}},
        {L"MARL_SWITCH_MODE_TOOL",
         {L"TITLE", L"STATIC_INFO", L"BUTTON_EOU_INFO", L"BUTTON_MODEM_INFO", L"SUCCESS_INFO", L"FAILED_INFO",
          L"SINGLE_TOOL"}},
        {L"TARSEL_KESTLE_TOOLS_TYPE_MARL_MODEM_SETTING",
         {L"TITLE", L"APN_TITLE", L"COMMUNICATION_MODE_TITLE", L"MESSAGE_SWITCH_ERROR", L"STATIC_INFO_CID",
          L"STATIC_INFO_APN_NAME", L"STATIC_INFO_IPTYPE", L"STATIC_INFO_IPV4", L"STATIC_INFO_IPV6",
          L"STATIC_INFO_IPV4V6", L"STATIC_INFO_NONE", L"BUTTON_READ_INFO", L"BUTTON_WRITE_INFO",
          L"READ_SUCCESS_INFO", L"READ_FAILED_INFO", L"WRITE_SUCCESS_INFO", L"WRITE_FAILED_INFO",
          L"INVALID_CHARACTER", L"MAX_62_INFO", L"HIGH_SPEED_INFO", L"HIGH_SPEED_PLUS_INFO", L"READ_MODE_SUCCESS",
          L"READ_MODE_FAILED", L"WRITE_MODE_SUCCESS", L"WRITE_MODE_FAILED", L"SINGLE_TOOL", L"MIN_20_INFO"}},
        {L"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING",
         {L"TITLE", L"STATIC_SELECT_BACKUP_INFO", L"BUTTON_SELECT_BACKUP_INFO", L"STATIC_SELECT_CSV_INFO",
          L"BUTTON_SELECT_CSV_INFO", L"STATIC_SELECT_OUT_PATH_INFO", L"BUTTON_SELECT_OUT_PATH_INFO",
          L"BUTTON_GENERATE", L"PROFILE_FILES", L"ALL_FILES", L"BACKUP_FILES",
          L"MESSAGE_SELECT_OUTPUT_DIRECTORY_SELECT", L"MESSAGE_SELECT_OUTPUT_DIRECTORY",
          L"MESSAGE_SELECT_BACKUP_FILE", L"MESSAGE_SELECT_CSV_FILE", L"INFORMATION", L"OPEN_FILE_FAIL",
          L"READ_FILE_FAIL", L"CAN_NOT_CREATE_DIRECTORY", L"PARSING_BACKUP_FILE", L"PARSING_CSV_FILE",
          L"PARSE_CSV_FILE_SUCCESS", L"PARSE_CSV_FILE_FAILED", L"GENERATE_FILE_SUCCESS", L"GENERATE_FILE_FAILED",
          L"GENERATE_RESULT", L"CHILD_TITLE", L"CHILD_STATIC_INFO", L"IMEI_INVALID", L"WRITING_INFO",
          L"WRITING_BUTTON_INFO", L"WRITE_INFO_SUCCESS", L"WRITE_INFO_FAILED", L"REBOOT_INFO", L"SINGLE_TOOL",
          L"PRIVACY_SETTING_ON", L"#GENERATE_SUCCESS_INFO", L"#GENERATE_FAILED_INFO", L"#CREATE_FILE_FAIL_INFO",
          L"#WRITE_INFORMATION_SUCCESS", L"#WRITE_INFORMATION_FAILED"}},
        {L"TARSEL_KESTLE_TOOLS_TYPE_MARL_WIMAX",
         {L"TITLE", L"GENERATE_SUCCESS_INFO", L"GENERATE_FAILED_INFO", L"INVALID_CHARACTER", L"MAX_10_INFO",
          L"MIN_5_INFO", L"CAN_NOT_CREATE_DIRECTORY", L"IDC_STATIC_ID", L"BUTTON_SET", L"READ_FILE_FAIL",
          L"READ_STATE_SUCCESS", L"READ_STATE_FAILED", L"WRITE_STATE_SUCCESS", L"WRITE_STATE_FAILED",
          L"BUTTON_READ_INFO", L"BUTTON_WRITE_INFO", L"RADIO_WIMAX_ON", L"RADIO_WIMAX_OFF", L"SINGLE_TOOL"}},
        {L"TARSEL_KESTLE_TOOLS_TYPE_VX520_MODEM_SETTING",
         {L"TITLE", L"NetworkSetting_TITLE", L"MOBIE_NETWORK_SETTING", L"PROFILE_SETTING", L"INTERNATIONAL_ROAMING",
          L"INTERNATIONAL_ROAMING_ENABLE", L"INTERNATIONAL_ROAMING_DISABLE", L"INTERNATIONAL_ROAMING_WARNING",
          L"NETWORK_SELECTION", L"NETWORK_SELECTION_AUTO", L"NETWORK_SELECTION_MANUAL", L"NETWORK_SELECTION_SEARCH",
          L"NETWORK_LIST", L"NETWORK_LIST_OPERATION_NAME", L"NETWORK_LIST_NETWORK", L"NETWORK_LIST_STATUS",
          L"NETWORK_LIST_STATUS_AVAILABLE", L"NETWORK_LIST_STATUS_CURRENT", L"NETWORK_LIST_STATUS_UNAVAILABLE",
          L"SET_SUCCESS_INFO", L"SET_FAILED_INFO", L"READ_SUCCESS_INFO", L"READ_FAILED_INFO", L"BUTTON_READ_INFO",
          L"BUTTON_WRITE_INFO", L"ID_ROAMING_ALERTINFO1", L"ID_ROAMING_ALERTINFO2", L"ID_COMMON_ATTENTION",
          L"ID_COMMON_CANCEL", L"ID_COMMON_OK", L"SINGLE_TOOL", L"APN_CAN_NOT_SET", L"APN_Invalid", L"APN_Requried",
          L"Network_Settings_Parameters_CAN_NOT_SET", L"Password_Invalid", L"Userid_Invalid", L"Password_Requried",
          L"Userid_Requried", L"ID_USRINFO_ALERTINFO1", L"USERAUTH", L"USERNAME", L"USERPASSWORD",
          L"PinSetting_TITLE", L"NOTICE", L"STATUS", L"PIN_STATE", L"PIN_CODE", L"PIN_ATTEMPTS", L"NEW_PIN",
          L"CONFORM_PIN", L"PUK_CODE", L"ENABLE", L"DISABLE", L"PIN_REQUIRED", L"PIN_LEN_ERROR", L"MODIFY",
          L"PUK_REQUIRED", L"PUK_LEN_ERROR", L"SIM_FAIL1", L"SIM_FAIL2", L"INSERT_SIM", L"ATTENTION", L"WRONG_PIN",
          L"WRONG_PIN_THREE_TIMES", L"WRONG_PUK", L"PIN_NOT_MATCH", L"OPERATE_SUCCESS", L"INVALID_CHARACTER",
          L"MESSAGE_SWITCH_ERROR", L"MIN_20_INFO"}},
        {L"GEN_SWITCH_MODE_TOOL",
         {L"TITLE", L"STATIC_INFO", L"BUTTON_NORMAL_MODE", L"BUTTON_MODEM_MODE", L"SUCCESS_INFO", L"FAILED_INFO",
          L"SINGLE_TOOL", L"ATTENTION", L"WAITING_INFO", L"WAITING_INFO1", L"WAITING_INFO2", L"WAITING_INFO3",
          L"WAITING_INFO4", L"NORMAL_MODE_NOTES", L"MODEM_MODE_NOTES", L"DONOT_AGAIN", L"ATTENTION1"}},
    };
    return table;
}

const KeySet kUserAuthKeys = {L"USERAUTH", L"USERNAME", L"USERPASSWORD", L"ID_USRINFO_ALERTINFO1",
                              L"Userid_Invalid", L"Password_Invalid", L"Userid_Requried", L"Password_Requried"};

std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string SourceFile(const std::string& flavor, const std::string& name)
{
    return std::string(TEST_FIXTURES_DIR) + "/../../resources/files/" + flavor + "/" + name;
}

// The names of a null-separated list as the reader gives it.
std::vector<std::wstring> SplitList(const std::wstring& buffer, DWORD length)
{
    std::vector<std::wstring> names;
    for (size_t pos = 0; pos < length;) {
        std::wstring name(buffer.c_str() + pos);
        names.push_back(name);
        pos += name.size() + 1;
    }
    return names;
}

std::vector<std::wstring> List(const wchar_t* section, const std::string& path)
{
    std::wstring buffer(32768, L'\0');
    std::wstring wide = Utf8ToWide(path);
    DWORD n = GetPrivateProfileStringW(section, nullptr, L"", buffer.data(), static_cast<DWORD>(buffer.size()),
                                       wide.c_str());
    return SplitList(buffer, n);
}

struct LanguageFile {
    const char* flavor;
    const char* name;
    bool japanese;
    bool userAuth;
};

const LanguageFile kFiles[] = {
    {"setwell", "lan_jap_cfg.ini", true, true},
    {"setwell", "lan_eng_cfg.ini", false, true},
    {"swapwell", "lan_jap_cfg.ini", true, false},
    {"swapwell", "lan_eng_cfg.ini", false, false},
};

// The table's keys of one section for one file.
KeySet ExpectedKeys(const std::wstring& section, const LanguageFile& file)
{
    KeySet keys = SectionTable().at(section);
    if (!file.userAuth)
        for (const auto& k : kUserAuthKeys)
            keys.erase(k);
    if (section == L"TARSEL_KESTLE_TOOLS_TYPE_VX520_MODEM_SETTING" && file.japanese)
        keys.insert(L"TIMES");
    if (section == L"GEN_SWITCH_MODE_TOOL" && !file.japanese)
        keys.insert(L"TIMES");
    return keys;
}

}  // namespace

TEST(LanguageFiles, AreUtf16WithByteOrderMarkAndCrLf)
{
    for (const LanguageFile& file : kFiles) {
        SCOPED_TRACE(std::string(file.flavor) + "/" + file.name);
        std::string bytes = Bytes(SourceFile(file.flavor, file.name));
        ASSERT_GE(bytes.size(), 4u);
        EXPECT_EQ(bytes.substr(0, 2), "\xff\xfe");
        ASSERT_EQ(bytes.size() % 2, 0u);
        size_t lineFeeds = 0;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            if (bytes[i] == '\n' && bytes[i + 1] == 0) {
                ++lineFeeds;
                ASSERT_GE(i, 4u);
                EXPECT_EQ(bytes.substr(i - 2, 2), std::string("\r\0", 2)) << "at byte " << i;
            }
        }
        EXPECT_GT(lineFeeds, 100u);
    }
}

TEST(LanguageFiles, HoldEverySectionAndKeyOfTheTable)
{
    for (const LanguageFile& file : kFiles) {
        SCOPED_TRACE(std::string(file.flavor) + "/" + file.name);
        std::string path = SourceFile(file.flavor, file.name);
        std::vector<std::wstring> sections = List(nullptr, path);
        EXPECT_EQ(KeySet(sections.begin(), sections.end()).size(), sections.size()) << "a section twice";
        KeySet tableSections;
        for (const auto& [name, keys] : SectionTable())
            tableSections.insert(name);
        EXPECT_EQ(KeySet(sections.begin(), sections.end()), tableSections);
        for (const auto& [section, unused] : SectionTable()) {
            SCOPED_TRACE(WideToUtf8(section));
            std::vector<std::wstring> keys = List(section.c_str(), path);
            EXPECT_EQ(KeySet(keys.begin(), keys.end()).size(), keys.size()) << "a key twice";
            EXPECT_EQ(KeySet(keys.begin(), keys.end()), ExpectedKeys(section, file));
        }
    }
}

TEST(LanguageFiles, EveryKeyHasATextButTheEmptyOnes)
{
    // TIMES is empty in English; the None item is two blanks
    for (const LanguageFile& file : kFiles) {
        std::wstring path = Utf8ToWide(SourceFile(file.flavor, file.name));
        for (const auto& [section, unused] : SectionTable()) {
            for (const std::wstring& key : ExpectedKeys(section, file)) {
                CString text = ReadLanguageString(section.c_str(), key.c_str(), path);
                bool mayBeEmpty = key == L"TIMES" && !file.japanese;
                EXPECT_EQ(text.IsEmpty(), mayBeEmpty)
                    << file.flavor << "/" << file.name << " " << WideToUtf8(section) << "/" << WideToUtf8(key);
            }
        }
    }
}

TEST(LanguageFiles, TheEmbeddedFilesAreTheSetwellFiles)
{
    struct Case {
        int id;
        const char* name;
    } cases[] = {{IDR_LANGUAGE_JAPANESE, "lan_jap_cfg.ini"}, {IDR_LANGUAGE_ENGLISH, "lan_eng_cfg.ini"}};
    for (const Case& c : cases) {
        const OwnResource* resource = FindOwnResource("TOOLS", c.id);
        ASSERT_NE(resource, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(resource->data), resource->size),
                  Bytes(SourceFile("setwell", c.name)));
    }
}

TEST(LanguageFiles, SwapwellFilesAreTheSetwellFilesWithoutUserAuthentication)
{
    for (const char* name : {"lan_jap_cfg.ini", "lan_eng_cfg.ini"}) {
        std::string setwell = SourceFile("setwell", name), swapwell = SourceFile("swapwell", name);
        for (const auto& [section, keys] : SectionTable()) {
            for (const std::wstring& key : keys) {
                CString a = ReadLanguageString(section.c_str(), key.c_str(), Utf8ToWide(setwell));
                CString b = ReadLanguageString(section.c_str(), key.c_str(), Utf8ToWide(swapwell));
                if (kUserAuthKeys.count(key) && section == L"TARSEL_KESTLE_TOOLS_TYPE_VX520_MODEM_SETTING")
                    EXPECT_TRUE(b.IsEmpty()) << WideToUtf8(key);
                else
                    EXPECT_EQ(a, b) << name << " " << WideToUtf8(key);
            }
        }
    }
}

TEST(LanguageFiles, TellingTexts)
{
    const wchar_t* const kSingleJa =
        L"\u3053\u306e\u30d7\u30ed\u30b0\u30e9\u30e0\u306f\u65e2\u306b\u8d77\u52d5\u4e2d\u3067\u3059\u3002";
    struct Case {
        bool japanese;
        const wchar_t* section;
        const wchar_t* key;
        const wchar_t* text;
    } cases[] = {
        {false, L"GEN_SWITCH_MODE_TOOL", L"TITLE", L"Modem Switch Tool for K415NQ"},
        {false, L"GEN_SWITCH_MODE_TOOL", L"STATIC_INFO", L"Select the mode for your device."},
        {false, L"GEN_SWITCH_MODE_TOOL", L"BUTTON_NORMAL_MODE", L"NORMAL MODE"},
        {false, L"GEN_SWITCH_MODE_TOOL", L"SUCCESS_INFO", L"Set successfully!"},
        {false, L"GEN_SWITCH_MODE_TOOL", L"WAITING_INFO", L"Switching mode, please wait"},
        {false, L"GEN_SWITCH_MODE_TOOL", L"WAITING_INFO1", L" Switching mode, please wait"},
        {false, L"GEN_SWITCH_MODE_TOOL", L"WAITING_INFO2", L" Switching mode, please wait ."},
        {false, L"GEN_SWITCH_MODE_TOOL", L"WAITING_INFO3", L" Switching mode, please wait .."},
        {false, L"GEN_SWITCH_MODE_TOOL", L"WAITING_INFO4", L" Switching mode, please wait ..."},
        {true, L"GEN_SWITCH_MODE_TOOL", L"WAITING_INFO4", L" モードを切り替えています。しばらくお待ち下さい ..."},
        {false, L"GEN_SWITCH_MODE_TOOL", L"DONOT_AGAIN", L"Don't show again."},
        {false, L"GEN_SWITCH_MODE_TOOL", L"SINGLE_TOOL", L"The program has been running. Cannot open it again!"},
        {false, L"TARSEL_KESTLE_TOOLS_TYPE_VX520_MODEM_SETTING", L"TITLE", L"Modem Setting Tool for K415NQ"},
        {false, L"TARSEL_KESTLE_TOOLS_TYPE_VX520_MODEM_SETTING", L"SET_SUCCESS_INFO", L"Set Successfully!"},
        {false, L"TARSEL_KESTLE_TOOLS_TYPE_VX520_MODEM_SETTING", L"NETWORK_LIST_STATUS_AVAILABLE", L"Avaiable"},
        {false, L"TARSEL_KESTLE_TOOLS_TYPE_MARL_MODEM_SETTING", L"STATIC_INFO_NONE", L"  "},
        {false, L"TARSEL_KESTLE_TOOLS_TYPE_MARL_MODEM_SETTING", L"MAX_62_INFO",
         L"Please input no more than 100 characters."},
        {false, L"TARSEL_KESTLE_TOOLS_TYPE_MARL_WIMAX", L"TITLE", L"4G LTE ONLY set tool"},
        {false, L"MARL_RESTORE_FACTORY_SETTING_TOOL", L"TITLE", L"MARL Restore Device"},
        {true, L"MARL_RESTORE_FACTORY_SETTING_TOOL", L"BUTTON_INFO", L"\u30aa\u30fc\u30eb\u30ea\u30bb\u30c3\u30c8"},
        {true, L"MARL_SWITCH_MODE_TOOL", L"BUTTON_EOU_INFO", L"EoU\u30e2\u30fc\u30c9"},
        {true, L"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", L"WRITING_BUTTON_INFO", L"\u66f8\u304d\u8fbc\u307f"},
        {true, L"TARSEL_KESTLE_TOOLS_TYPE_MARL_MODEM_SETTING", L"STATIC_INFO_NONE", L"  "},
        // one refusal for the restore, carrier switch and kitting tools, naming none of them
        {true, L"MARL_RESTORE_FACTORY_SETTING_TOOL", L"SINGLE_TOOL", kSingleJa},
        {true, L"MARL_SWITCH_MODE_TOOL", L"SINGLE_TOOL", kSingleJa},
        {true, L"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", L"SINGLE_TOOL", kSingleJa},
    };
    for (const Case& c : cases) {
        std::wstring path = Utf8ToWide(SourceFile("setwell", c.japanese ? "lan_jap_cfg.ini" : "lan_eng_cfg.ini"));
        EXPECT_EQ(ReadLanguageString(c.section, c.key, path), CString(c.text)) << WideToUtf8(c.key);
    }
}
