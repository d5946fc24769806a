#include "app/app_paths.h"
#include "app/released_files.h"
#include "app/tally_kit_app.h"
#include "device/ini_reader.h"
#include "platform/ui/afx.h"
#include "private_tmpdir.h"
#include "tests/support/child_process.h"
#include "tools/tool_registry.h"

#include <csignal>
#include <dirent.h>
#include <set>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <vector>

namespace {

class Dispatch : public PrivateTmpdir {
protected:
    void SetUp() override
    {
        PrivateTmpdir::SetUp();
        SetStartupMessageSink([this](const std::wstring& text) { messages_.push_back(WideToUtf8(text)); });
    }
    void TearDown() override
    {
        SetStartupMessageSink(nullptr);
        g_strCfgFilePath.clear();
        PrivateTmpdir::TearDown();
    }
    std::vector<std::string> messages_;
};

// The dialog template of each tool type.
UINT ToolTemplateOf(int32_t toolType)
{
    switch (toolType) {
    case 0: return 129;
    case 2: return 136;
    case 3: return 138;
    case 4: return 137;
    case 5: return 141;
    case 6: return 142;
    case 7: return 145;
    case 8: return 146;
    case 9: return 150;
    default: return 0;
    }
}

TEST_F(Dispatch, ToolTypeFromTheConfiguration)
{
    struct {
        const char* line; // nullptr: no configuration file at all
        int32_t toolType;
        int32_t dispatched;
    } cases[] = {
        {"TOOLS_TYPE = 8", 8, 8},
        {"TOOLS_TYPE=9", 9, 9},
        {"TOOLS_TYPE=4", 4, 4},
        {"TOOLS_TYPE=2", 2, 2},
        {"TOOLS_TYPE=3", 3, 3},
        {"TOOLS_TYPE=5", 5, 5},
        {"TOOLS_TYPE=6", 6, 6},
        {"TOOLS_TYPE=7", 7, 7},
        {"TOOLS_TYPE=10", 10, 0},
        {"TOOLS_TYPE=-1", -1, 0},
        {"TOOLS_TYPE=1", 1, 0},
        {"TOOLS_TYPE=abc", 0, 0},
        {"TOOLS_TYPE=", 0, 0},
        {"OTHER=8", 0, 0},
        {nullptr, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "no file");
        const std::string path = tmp_ + "/Adatper_cfg.ini";
        unlink(path.c_str());
        if (c.line)
            WriteFile(path, std::string("[TOOLS_INFO]\r\n") + c.line + "\r\n");
        g_strCfgFilePath = Utf8ToWide(path);
        CTALLY_KITApp app;
        app.UseToolDialogs(ToolDialogRows());
        app.m_nToolType = 12345;
        CDialog* dialog = reinterpret_cast<CDialog*>(&app); // must be overwritten
        app.CreateToolDialog(&dialog);
        EXPECT_EQ(app.m_nToolType, c.toolType);
        EXPECT_EQ(DispatchedToolType(ToolDialogRows(), app.m_nToolType), c.dispatched);
        // every tool type builds the dialog of its template; types 5 and 7
        // release their appended files first, which this test program lacks
        if (c.dispatched == 5 || c.dispatched == 7) {
            EXPECT_EQ(dialog, nullptr);
        } else {
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->GetTemplateId(), ToolTemplateOf(c.dispatched));
            delete dialog;
        }
    }
}

TEST_F(Dispatch, EveryKnownTypeHasItsOwnRow)
{
    for (int32_t type : {0, 2, 3, 4, 5, 6, 7, 8, 9})
        EXPECT_EQ(DispatchedToolType(ToolDialogRows(), type), type);
    for (int32_t type : {1, 10, -1, INT32_MIN, INT32_MAX})
        EXPECT_EQ(DispatchedToolType(ToolDialogRows(), type), 0);
}

TEST_F(Dispatch, KittingTypeMakesItsToolFolderFirst)
{
    WriteFile(tmp_ + "/Adatper_cfg.ini", "[TOOLS_INFO]\r\nTOOLS_TYPE=5\r\n");
    g_strCfgFilePath = Utf8ToWide(tmp_ + "/Adatper_cfg.ini");
    {
        CTALLY_KITApp app;
        app.UseToolDialogs(ToolDialogRows());
        CDialog* dialog = nullptr;
        app.CreateToolDialog(&dialog);
        EXPECT_EQ(dialog, nullptr);
        EXPECT_EQ(app.m_strToolFolder, Utf8ToWide(base_ + "/VX530KittingTool"));
        EXPECT_TRUE(Exists(base_ + "/VX530KittingTool/Pennant.exe"));
        // the failed release says which entry and which folder, and the program ends non-zero
        EXPECT_EQ(messages_, (std::vector<std::string>{"Cannot release backupinfo (appended file 1) into " + base_ +
                                                       "/VX530KittingTool: the program carries no such file, or "
                                                       "it cannot be written there."}));
        EXPECT_EQ(app.m_nExitCode, 1);
    }
    EXPECT_FALSE(Exists(base_ + "/VX530KittingTool"));
}

// A tool folder that is not ours (another user's, or open to others) stops
// the start-up with a message and a non-zero exit; it is left as it was.
TEST_F(Dispatch, ToolFolderNotOursStopsWithAMessage)
{
    WriteFile(tmp_ + "/Adatper_cfg.ini", "[TOOLS_INFO]\r\nTOOLS_TYPE=7\r\n");
    g_strCfgFilePath = Utf8ToWide(tmp_ + "/Adatper_cfg.ini");
    ASSERT_EQ(mkdir((base_ + "/VX530WimaxTool").c_str(), 0755), 0);
    ASSERT_EQ(chmod((base_ + "/VX530WimaxTool").c_str(), 0755), 0);
    WriteFile(base_ + "/VX530WimaxTool/config.ini", "theirs");
    {
        CTALLY_KITApp app;
        app.UseToolDialogs(ToolDialogRows());
        CDialog* dialog = nullptr;
        app.CreateToolDialog(&dialog);
        EXPECT_EQ(dialog, nullptr);
        EXPECT_EQ(app.m_nExitCode, 1);
        EXPECT_TRUE(app.m_strToolFolder.empty());
        EXPECT_EQ(messages_, (std::vector<std::string>{"The tool folder cannot be made in " + base_ +
                                                       "/ (it is missing, or it is not a private folder of this "
                                                       "user)."}));
    }
    EXPECT_EQ(ReadFile(base_ + "/VX530WimaxTool/config.ini"), "theirs");
}

// Every key of the shipped configurations with the value the tools read.
TEST(ShippedConfiguration, KeysAndValues)
{
    struct {
        const char* section;
        const char* key;
        const char* value;
    } rows[] = {
        {"TOOLS_INFO", "TOOLS_LAN_MARL", " 1"},
        {"MARL_RESTORE_FACTORY_SETTING_TOOL_INFO", "DOMAIN_NAME", "192.168.100.1"},
        {"MARL_RESTORE_FACTORY_SETTING_TOOL_INFO", "RESTORE_COMMAND", "goformId=RESTORE_FACTORY_SETTINGS"},
        {"MARL_SWITCH_MODE_TOOL_INFO", "DOMAIN_NAME", "192.168.100.1"},
        {"MARL_SWITCH_MODE_TOOL_INFO", "SWITCH_MODEM_COMMAND", "goformId=SET_PRODUCT_MODE_FOR_MARL&debug_enable=1"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_MODEM_SETTING", "DOMAIN_NAME", "192.168.100.1"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_MODEM_SETTING", "GET_APN_INFO_COMMAND", nullptr},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", "DOMAIN_NAME", "192.168.100.1"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", "GET_IMEI_COMMAND", "cmd=imei"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", "RESTORE_COMMAND", "goformId=UPLOADFILE_RESTORE&isTest=false"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", "DELETE_COMMAND",
         "goformId=APN_PROC_EX&apn_action=delete&apn_mode=manual&index="},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", "GET_PRIVACY_SETTING_COMMAND", "cmd=privacy_setting"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", "GET_SINGLE__IPV4_APN_INFO_COMMAND", "APN_config"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", "GET_SINGLE__IPV6_APN_INFO_COMMAND", "ipv6_APN_config"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", "SET_DEFAULT_APN_COMMAND",
         "goformId=APN_PROC_EX&apn_mode=manual&apn_action=set_default&set_default_flag=1&pdp_type="},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_KITTING", "GET_INTERNET_SETTING_COMMAND", "cmd=restrict_default_profile"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_WIMAX", "DOMAIN_NAME", "192.168.100.1"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_WIMAX", "GET_WIMAX_SETTING_COMMAND", "cmd=wimax2_enable"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_WIMAX", "SET_WIMAX_SETTING_COMMAND", "goformId=WIMAX2_ENABLE&wimax2_enable="},
        {"GEN_SWITCH_MODE_TOOL_INFO", "DOMAIN_NAME", "192.168.0.1"},
        {"GEN_SWITCH_MODE_TOOL_INFO", "SWITCH_MODEM_COMMAND", "goformId=SET_PRODUCT_MODE&debug_enable=1"},
    };
    // absent on purpose: the readers fall back to the request's own text
    const char* const absent[][2] = {
        {"MARL_RESTORE_FACTORY_SETTING_TOOL_INFO", "GET_OUT_VERSION_COMMAND"},
        {"MARL_SWITCH_MODE_TOOL_INFO", "GET_OUT_VERSION_COMMAND"},
        {"TARSEL_KESTLE_TOOLS_TYPE_MARL_WIMAX", "GET_OUT_VERSION_COMMAND"},
        {"GEN_SWITCH_MODE_TOOL_INFO", "GET_OUT_VERSION_COMMAND"},
    };
    const struct {
        const char* file;
        int toolType;
    } files[] = {{"tool_config_setwell.ini", 8}, {"tool_config_swapwell.ini", 9}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.file);
        std::wstring path = Utf8ToWide(std::string(TEST_FIXTURES_DIR "/../../resources/files/") + f.file);
        EXPECT_EQ(ReadIniInt("TOOLS_INFO", "TOOLS_TYPE", -1, path.c_str()), f.toolType);
        for (const auto& r : rows) {
            SCOPED_TRACE(std::string(r.section) + " " + r.key);
            char out[1024] = "";
            ASSERT_TRUE(ReadIniString(r.section, r.key, out, sizeof out, path.c_str()));
            if (r.value)
                EXPECT_STREQ(out, r.value);
            else
                EXPECT_NE(out[0], '\0');
        }
        for (const auto& a : absent) {
            char out[8] = "";
            EXPECT_FALSE(ReadIniString(a[0], a[1], out, sizeof out, path.c_str())) << a[0] << " " << a[1];
        }
    }
}

std::set<std::string> Entries(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

struct Deliverable {
    const char* program;
    bool showsTool;  // runs its tool until closed (here by SIGTERM, as by its close box)
};

class WholeProgram : public PrivateTmpdir, public ::testing::WithParamInterface<Deliverable> {};

// The program makes its working folder under its private base, runs its tool
// and leaves nothing behind. Folders another user made in the shared temp
// folder (tempPath0..99, the last not ours) change nothing.
TEST_P(WholeProgram, StartsAndCleansUp)
{
    const std::string program = std::string(TEST_BUILD_DIR "/") + GetParam().program;
    ASSERT_TRUE(Exists(program)) << program;
    for (int n = 0; n <= 99; ++n)
        ASSERT_EQ(mkdir((tmp_ + "/tempPath" + std::to_string(n)).c_str(), n == 99 ? 0755 : 0700), 0);
    const std::string runtime = tmp_ + "/run";
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((runtime + "/tempPath0").c_str(), 0700), 0); // taken: the program must use tempPath1

    int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, runtime.c_str(), IN_CREATE | IN_DELETE), 0);

    const pid_t pid = childproc::Spawn(program, {},
                                       {"TMPDIR=" + tmp_, "SETWELL_UI=headless", "SETWELL_TIME_SCALE=0.01",
                                        "XDG_RUNTIME_DIR=" + runtime},
                                       {"SETWELL_", "KESTLE_"});
    ASSERT_GT(pid, 0);
    if (GetParam().showsTool) {
        // the tool is up once it has written its language file
        const std::string language = runtime + "/tempPath1/lan_jap_cfg.ini";
        for (int i = 0; i < 400 && !Exists(language); ++i)
            usleep(25000);
        EXPECT_TRUE(Exists(language));
        kill(pid, SIGTERM);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::vector<std::string> events;
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = read(watch, buf, sizeof buf)) > 0;)
        for (char* p = buf; p < buf + n;) {
            auto* ev = reinterpret_cast<inotify_event*>(p);
            if (ev->len && std::string(ev->name).rfind("tempPath", 0) == 0)
                events.push_back(std::string(ev->mask & IN_CREATE ? "created " : "deleted ") + ev->name);
            p += sizeof(inotify_event) + ev->len;
        }
    close(watch);
    EXPECT_EQ(events, (std::vector<std::string>{"created tempPath1", "deleted tempPath1"}));
    std::set<std::string> left;
    for (const std::string& name : Entries(runtime))
        if (name.rfind("tempPath", 0) == 0)
            left.insert(name);
    EXPECT_EQ(left, std::set<std::string>{"tempPath0"});
    EXPECT_EQ(Entries(tmp_ + "/tempPath99"), std::set<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(BothDeliverables, WholeProgram,
                         ::testing::Values(Deliverable{"Setwell", true}, Deliverable{"Swapwell", true}),
                         [](const auto& info) { return std::string(info.param.program); });

} // namespace
