#include "platform/win/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "test_folder.h"

namespace {

class Registry : public ::testing::Test {
protected:
    Registry() : env_("XDG_CONFIG_HOME", folder_.path() + "/config") {}
    bool Exists(const wchar_t* key)
    {
        HKEY h = nullptr;
        LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &h);
        if (rc == ERROR_SUCCESS)
            RegCloseKey(h);
        return rc == ERROR_SUCCESS;
    }
    LONG Create(const wchar_t* key, DWORD* disposition = nullptr)
    {
        HKEY h = nullptr;
        LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &h, disposition);
        if (rc == ERROR_SUCCESS)
            RegCloseKey(h);
        return rc;
    }
    TestFolder folder_;
    ScopedEnv env_;
};

}  // namespace

TEST_F(Registry, KeysAreFoldersUnderTheConfigHome)
{
    EXPECT_FALSE(Exists(L"Software\\TARSEL\\SwitchModeToolNormalMode"));
    DWORD disposition = 0;
    ASSERT_EQ(Create(L"Software\\TARSEL\\SwitchModeToolNormalMode", &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    std::string folder = RegistryRootFolder() + "/Software/TARSEL/SwitchModeToolNormalMode";
    EXPECT_EQ(folder.rfind(folder_.path() + "/config/", 0), 0u);
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    EXPECT_TRUE(Exists(L"Software\\TARSEL\\SwitchModeToolNormalMode"));
    EXPECT_TRUE(Exists(L"software\\tarsel\\SWITCHMODETOOLNORMALMODE"));
    EXPECT_FALSE(Exists(L"Software\\TARSEL\\SwitchModeToolModemMode"));
    ASSERT_EQ(Create(L"Software\\TARSEL\\SwitchModeToolNormalMode", &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
}

TEST_F(Registry, DeleteRemovesOnlyAKeyWithoutSubKeys)
{
    ASSERT_EQ(Create(L"Software\\TARSEL\\A"), ERROR_SUCCESS);
    EXPECT_NE(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TARSEL"), ERROR_SUCCESS);
    EXPECT_TRUE(Exists(L"Software\\TARSEL\\A"));
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TARSEL\\a"), ERROR_SUCCESS);
    EXPECT_FALSE(Exists(L"Software\\TARSEL\\A"));
    EXPECT_TRUE(Exists(L"Software\\TARSEL"));
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TARSEL\\A"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, NamesThatLeaveTheTreeAreRefused)
{
    EXPECT_EQ(Create(L"Software\\..\\..\\escape"), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(std::filesystem::exists(folder_.path() + "/config/escape"));
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L""), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, OpenedKeysServeAsRoots)
{
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\TARSEL", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parent,
                              nullptr),
              ERROR_SUCCESS);
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExW(parent, L"Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(parent);
    EXPECT_TRUE(Exists(L"Software\\TARSEL\\Child"));
}
