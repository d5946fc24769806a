// The kitting tool against the emulator's web server, in the headless back end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_paths.h"
#include "emulator/modem_emulator.h"
#include "platform/ui/test_driver.h"
#include "platform/win/clock.h"
#include "platform/win/code_page.h"
#include "platform/win/debug_output.h"
#include "tests/support/settled_click.h"
#include "tests/support/timeout_scale.h"
#include "tests/support/tool_test_env.h"
#include "tools/kitting/apn_config_check.h"
#include "tools/kitting/write_apn_info_dlg.h"

namespace fs = std::filesystem;
using namespace ui::test;

namespace {

constexpr const char* kImei = "356789012345678";
constexpr const char* kBackup = "backup-bytes\x01\x02 as the modem wrote them";

// English texts, so that CHILD_TITLE and TITLE differ.
const std::wstring kChildTitle = L"Kitting Tool";
const std::wstring kTitle = L"Kitting Tool-Packet";
const std::wstring kSuccess = L"Write the informaton successed!";
const std::wstring kFailed = L"Write the informaton failed!";
const std::wstring kImeiInvalid = L"IMEI is invalid!";
const std::wstring kPrivacyOn = L"Privacy setting is on, you can not operate.";

std::string SaveCommand(const std::string& apn)
{
    return "goformId=APN_PROC_EX&apn_action=save&apn_mode=manual&wan_apn=" + apn + "&pdp_type=IP";
}

// Apn_cfg.ini section APN_INFO; absent optionals are left out of the file.
struct Provisioning {
    std::optional<std::string> imei = std::string(kImei);
    std::optional<std::string> apnNum;
    std::map<int, std::string> commands;
    std::optional<std::string> pdpType;
};

Provisioning Apns(const std::string& apnNum, std::map<int, std::string> commands,
                  std::optional<std::string> pdpType = std::nullopt)
{
    Provisioning p;
    p.apnNum = apnNum;
    p.commands = std::move(commands);
    p.pdpType = std::move(pdpType);
    return p;
}

std::string Sent(const modemsim::HttpRequest& r) { return r.query + r.body; }

class KittingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        if (tmp)
            oldTmp_ = tmp;
        place_.Make("kitting-e2e");
        place_.WriteToolConfig();
        // the tool folder lies under the private base, here the workplace's runtime folder
        setenv("TMPDIR", place_.Root().c_str(), 1);
        toolFolder_ = place_.Root() + "/run/VX530KittingTool";
        fs::create_directories(toolFolder_);
        std::ofstream(toolFolder_ + "/backupinfo", std::ios::binary) << kBackup;
        UseEnglish();
        modemsim::EmulatorOptions options;
        options.mode = modemsim::Mode::NetCard;
        options.restartMs = 500;
        emulator_ = place_.StartEmulator(options);
        emulator_->SetImei(kImei);
    }

    void TearDown() override
    {
        tool_.Close();
        if (emulator_)
            emulator_->Stop();
        if (oldTmp_)
            setenv("TMPDIR", oldTmp_->c_str(), 1);
        else
            unsetenv("TMPDIR");
        place_.Remove();
        g_strLanguageFilePath.clear();
    }

    void UseEnglish()
    {
        place_.WriteResource(143, "lan_eng_cfg.ini");
        g_strLanguageFilePath = g_strWorkFolder + L"/lan_eng_cfg.ini";
    }

    void Write(const Provisioning& p)
    {
        std::ofstream out(toolFolder_ + "/Apn_cfg.ini", std::ios::binary);
        out << "[APN_INFO]\r\n";
        if (p.imei)
            out << "DEVICE_IMEI=" << *p.imei << "\r\n";
        if (p.apnNum)
            out << "APN_NUM=" << *p.apnNum << "\r\n";
        for (const auto& [i, text] : p.commands)
            out << "APN_COMMAND" << i << "=" << text << "\r\n";
        if (p.pdpType)
            out << "CONFIG1_PDP_TYPE=" << *p.pdpType << "\r\n";
    }

    void OpenTool()
    {
        hwnd_ = tool_.Open(IDD_MARL_WRITE_APN_INFO);
        ASSERT_NE(hwnd_, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_KITTING_WRITE)); }));
    }

    HWND Item(int id) { return Control(hwnd_, id); }

    // Presses Write and answers every box up to the result box; all boxes in order.
    std::vector<Popup> RunWrite()
    {
        emulator_->ClearReceived();
        EXPECT_TRUE(tooltest::ClickWhenSettled(tool_.dialog(), Item(IDC_KITTING_WRITE)));
        std::vector<Popup> boxes;
        while (auto popup = WaitForPopup(120000)) {
            bool result = popup->caption == kChildTitle;
            ClosePopup(*popup);
            boxes.push_back(*popup);
            if (result)
                break;
        }
        return boxes;
    }

    std::vector<std::string> SentWith(const std::string& fragment) const
    {
        std::vector<std::string> out;
        for (const auto& r : emulator_->HttpRequests())
            if (Sent(r).find(fragment) != std::string::npos)
                out.push_back(Sent(r));
        return out;
    }

    // Neither the backup nor an APN command went to the device.
    void ExpectNothingSent() const
    {
        EXPECT_TRUE(SentWith("UPLOADFILE_RESTORE").empty());
        EXPECT_TRUE(SentWith("APN_PROC_EX").empty());
    }

    // Edits the tool configuration the program released.
    void ReplaceInConfig(const std::string& from, const std::string& to)
    {
        const std::string path = place_.Work() + "/Adatper_cfg.ini";
        std::stringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        std::string config = text.str();
        const size_t at = config.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        config.replace(at, from.size(), to);
        std::ofstream(path, std::ios::binary) << config;
    }

    std::vector<std::string> SavedApns() const
    {
        std::vector<std::string> out;
        auto profiles = emulator_->WebApnProfiles();
        for (size_t i = 1; i < profiles.size(); ++i)
            out.push_back(profiles[i].apn);
        return out;
    }

    tooltest::Workplace place_;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    tooltest::ModalRun<CMarlWriteAPNInfoDlg> tool_;
    HWND hwnd_ = nullptr;
    std::string toolFolder_;
    std::optional<std::string> oldTmp_;
    // before the tool opens, so that it sees every line of the run
    DebugCapture trace_;
};

TEST(KittingImeiAnswer, TakesTheQuotedValueOfTheFirstKey)
{
    struct Case {
        const char* answer;
        const char* imei;
        int result;
    };
    const Case cases[] = {
        {"{\"imei\":\"356789012345678\"}", "356789012345678", 0},
        {"junk {\"imei\" : \"356789012345678\", \"x\":\"1\"} tail", "356789012345678", 0},
        {"{\"imei\":\"1234\"}", "1234", 1},
        {"\"imei\":\"356789012345678\"", "", 1},    // no braces
        {"}{\"imei\":\"356789012345678\"}", "", 1},  // "}" at the very start
        {"{\"imei\"\"356789012345678\"}", "", 1},   // no ":"
        {"{\"imei\":356789012345678}", "", 1},      // no quotes after ":"
        {"{\"imei\":\"\"}", "", 1},                 // empty value
        {"{\"imei\":\"3567}", "", 1},               // value not closed inside the braces
        {"", "", 1},
    };
    for (const Case& c : cases) {
        std::string imei = "stale";
        EXPECT_EQ(ParseImeiAnswer(c.answer, &imei), c.result) << c.answer;
        EXPECT_EQ(imei, c.imei) << c.answer;
    }
}

TEST(KittingFolder, FolderExistsFollowsThePathRules)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string root = tmp && *tmp ? tmp : "/tmp";
    EXPECT_TRUE(FolderExists(Utf8ToWide(root)));
    EXPECT_TRUE(FolderExists(Utf8ToWide(root + "/")));
    EXPECT_TRUE(FolderExists(L"/"));
    EXPECT_FALSE(FolderExists(Utf8ToWide(root + "/no-such-kitting-entry")));
    EXPECT_FALSE(FolderExists(L""));
}

TEST_F(KittingTest, OpensWithItsJapaneseTextsAndLineBreaks)
{
    g_strLanguageFilePath.clear();  // as at start-up: the tool sets its own file
    Write({});
    OpenTool();
    EXPECT_EQ(Text(hwnd_), L"MARL キッティングサポートツール");
    EXPECT_EQ(Text(Item(IDC_KITTING_WRITE)), L"書き込み");
    // the written "\r\n" of the language file is a real line break
    EXPECT_EQ(Text(Item(IDC_KITTING_INFO)),
              L"端末に設定情報を書き込みます。\r\n\r\n端末が自動的に再起動されますので、完了メッセージが"
              L"表示されるまでPCから抜かないで下さい。");
    EXPECT_EQ(tool_.dialog()->ToolFolder(), Utf8ToWide(toolFolder_));
}

TEST_F(KittingTest, EnglishStaticTextBreaksLines)
{
    Write({});
    OpenTool();
    std::wstring info = Text(Item(IDC_KITTING_INFO));
    EXPECT_EQ(info.find(L"\\r\\n"), std::wstring::npos);
    EXPECT_NE(info.find(L"to device.\r\n\r\nThe terminal"), std::wstring::npos) << WideToUtf8(info);
    EXPECT_EQ(Text(hwnd_), kChildTitle);
}

TEST_F(KittingTest, WriteFollowsTheWebServer)
{
    Write({});
    OpenTool();
    emulator_->Unplug();
    EXPECT_TRUE(WaitUntil([&] { return !IsEnabled(Item(IDC_KITTING_WRITE)); }));
    emulator_->Replug();
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_KITTING_WRITE)); }));
}

TEST_F(KittingTest, KeysNeverCloseTheTool)
{
    Write({});
    OpenTool();
    PressEsc(hwnd_);
    PressEnter(hwnd_);
    PressAltF4(hwnd_);
    WaitIdle(hwnd_);
    EXPECT_NE(FindDialog(IDD_MARL_WRITE_APN_INFO), nullptr);
}

TEST_F(KittingTest, WholeRoadWithRestrictedDefaultProfile)
{
    emulator_->SetWebSetting("restrict_default_profile", "on");
    Write(Apns("2", {{1, SaveCommand("corp.one")}, {2, SaveCommand("corp.two")}}, "ipv4&ipv6"));
    OpenTool();
    int restarts = emulator_->RestartCount();
    auto boxes = RunWrite();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].messageBox);
    EXPECT_EQ(boxes[0].text, kSuccess);
    EXPECT_EQ(boxes[0].type & 0xF0u, static_cast<UINT>(MB_ICONINFORMATION));

    EXPECT_EQ(emulator_->UploadedRestoreFile(), kBackup);
    EXPECT_GT(emulator_->RestartCount(), restarts);
    EXPECT_EQ(SavedApns(), (std::vector<std::string>{"corp.one", "corp.two"}));
    auto profiles = emulator_->WebApnProfiles();
    ASSERT_EQ(profiles.size(), 3u);
    EXPECT_TRUE(profiles[1].isDefault);
    EXPECT_EQ(profiles[1].pdpType, "IPv4v6");

    // the steps in their order
    std::vector<std::string> order;
    for (const auto& r : emulator_->HttpRequests()) {
        std::string s = Sent(r);
        if (s.find("ONLINE_UPGRADE_TOOL") == std::string::npos)
            order.push_back(s);
    }
    std::vector<std::string> expected = {
        "cmd=imei", "cmd=privacy_setting", "goformId=UPLOADFILE_RESTORE&isTest=false" + std::string(kBackup),
        "goformId=APN_PROC_EX&apn_mode=manual&apn_action=set_default&set_default_flag=1&pdp_type=IPv4v6&index=0"};
    for (int index = 9; index >= 1; --index)
        expected.push_back("goformId=APN_PROC_EX&apn_action=delete&apn_mode=manual&index=" + std::to_string(index));
    expected.push_back(SaveCommand("corp.one"));
    expected.push_back(SaveCommand("corp.two"));
    expected.push_back("cmd=restrict_default_profile");
    expected.push_back(
        "goformId=APN_PROC_EX&apn_mode=manual&apn_action=set_default&set_default_flag=1&pdp_type=IPv4v6&index=1");
    EXPECT_EQ(order, expected);
    EXPECT_EQ(trace_.Count("KESTLE: DeleteAPN Success!"), 9u);
    EXPECT_EQ(trace_.Count("KESTLE: WriteAPNParameters Success!"), 2u);
    EXPECT_EQ(tool_.dialog()->PdpType(), KITTING_PDP_IPV4V6);

    // the watch thread is back: the button follows the web server again
    EXPECT_TRUE(WaitUntil([&] { return tool_.dialog()->CurrentWatchThread() != nullptr; }));
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_KITTING_WRITE)); }));
    emulator_->Unplug();
    EXPECT_TRUE(WaitUntil([&] { return !IsEnabled(Item(IDC_KITTING_WRITE)); }));
}

TEST_F(KittingTest, ApnCommandsAndTheirCount)
{
    struct Case {
        const char* name;
        std::optional<std::string> apnNum;
        std::vector<int> present;  // APN_COMMANDi written
        bool succeeds;
        std::vector<std::string> saved;
    };
    std::vector<int> twelve;
    std::vector<std::string> nine;
    for (int i = 1; i <= 12; ++i)
        twelve.push_back(i);
    for (int i = 1; i <= 9; ++i)
        nine.push_back("apn" + std::to_string(i));
    const Case cases[] = {
        {"only nine of twelve", "12", twelve, true, nine},
        {"empty middle one is skipped", "3", {1, 3}, true, {"apn1", "apn3"}},
        // refused before the modem loses its APNs
        {"empty last one fails", "3", {1, 2}, false, {}},
        {"no APN_NUM", std::nullopt, {1}, false, {}},
        {"APN_NUM 0", "0", {1}, false, {}},
        {"negative APN_NUM", "-2", {1}, false, {}},
    };
    Write({});
    OpenTool();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Provisioning p;
        p.apnNum = c.apnNum;
        for (int i : c.present)
            p.commands[i] = SaveCommand("apn" + std::to_string(i));
        Write(p);
        const std::vector<std::string> before = SavedApns();
        auto boxes = RunWrite();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.succeeds ? kSuccess : kFailed);
        // a refused file leaves the modem's APNs as they were
        EXPECT_EQ(SavedApns(), c.succeeds ? c.saved : before);
        // restrict_default_profile is off: no PDP type, no second default; a
        // refused file changes nothing on the modem
        EXPECT_EQ(SentWith("apn_action=set_default").size(), c.succeeds ? 1u : 0u);
        EXPECT_EQ(SentWith("UPLOADFILE_RESTORE").size(), c.succeeds ? 1u : 0u);
        EXPECT_EQ(SentWith("restrict_default_profile").size(), c.succeeds ? 1u : 0u);
        ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_KITTING_WRITE)); }));
    }
}

TEST_F(KittingTest, ConfiguredPdpTypeBecomesTheDefault)
{
    struct Case {
        std::optional<std::string> configured;
        bool succeeds;
        const char* sentType;
    };
    const Case cases[] = {
        {"IPv4", true, "IP"},       {"ipv6", true, "IPv6"}, {"IPV4&IPV6", true, "IPv4v6"},
        {std::nullopt, false, ""},  {"", false, ""},
        // a type the run does not know is refused before anything changes
        {"IPv4v6", false, nullptr},
    };
    emulator_->SetWebSetting("restrict_default_profile", "on");
    Write({});
    OpenTool();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.configured.value_or("(absent)"));
        Write(Apns("1", {{1, SaveCommand("typed")}}, c.configured));
        auto boxes = RunWrite();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.succeeds ? kSuccess : kFailed);
        auto defaults = SentWith("apn_action=set_default");
        if (c.succeeds) {
            ASSERT_EQ(defaults.size(), 2u);
            EXPECT_EQ(defaults[1], "goformId=APN_PROC_EX&apn_mode=manual&apn_action=set_default&set_default_flag=1"
                                 "&pdp_type=" + std::string(c.sentType) + "&index=1");
        } else {
            // only the default of profile 0, or nothing at all when refused up front
            EXPECT_EQ(defaults.size(), c.sentType ? 1u : 0u);
        }
        ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_KITTING_WRITE)); }));
    }
}

TEST_F(KittingTest, RefusalsHaveTheirOwnBoxesBeforeTheResult)
{
    struct Case {
        const char* name;
        std::function<void(modemsim::ModemEmulator&)> arrange;
        Provisioning provisioning;
        std::vector<std::wstring> boxes;  // texts in order
        std::vector<std::wstring> captions;
    };
    Provisioning good;
    good.apnNum = "1";
    good.commands[1] = SaveCommand("after");
    Provisioning otherImei = good;
    otherImei.imei = "356789012345679";
    Provisioning noImei = good;
    noImei.imei.reset();
    auto plainAnswer = [](modemsim::ModemEmulator& e) {
        modemsim::Fault f;
        f.kind = modemsim::FaultKind::Garbage;
        std::string body = "imei:\"356789012345678\"";
        f.text = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                 "\r\nConnection: close\r\n\r\n" + body;
        f.times = -1;
        e.InjectHttpFault("imei", f);
    };
    const Case cases[] = {
        {"other IMEI", {}, otherImei, {kImeiInvalid, kFailed}, {kTitle, kChildTitle}},
        {"answer without braces", plainAnswer, good, {kImeiInvalid, kFailed}, {kTitle, kChildTitle}},
        {"no DEVICE_IMEI", {}, noImei, {kFailed}, {kChildTitle}},
        {"privacy on", [](modemsim::ModemEmulator& e) { e.SetWebSetting("privacy_setting", "on"); }, good,
         {kPrivacyOn, kFailed}, {kTitle, kChildTitle}},
    };
    Write({});
    OpenTool();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        emulator_->ClearFaults();
        emulator_->SetWebSetting("privacy_setting", "off");
        if (c.arrange)
            c.arrange(*emulator_);
        Write(c.provisioning);
        auto boxes = RunWrite();
        ASSERT_EQ(boxes.size(), c.boxes.size());
        for (size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_EQ(boxes[i].text, c.boxes[i]);
            EXPECT_EQ(boxes[i].caption, c.captions[i]);
            EXPECT_EQ(boxes[i].type & 0xF0u, static_cast<UINT>(MB_ICONINFORMATION));
        }
        // refused before anything was changed
        ExpectNothingSent();
        ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_KITTING_WRITE)); }));
    }
}

// Each refused request on its own: fifty tries, a second apart, then the run fails.
struct RefusedRequest {
    const char* key;       // goform key the web server refuses
    const char* fragment;  // what the refused request holds
};

void PrintTo(const RefusedRequest& c, std::ostream* os) { *os << c.key; }

class KittingRefusalTest : public KittingTest, public ::testing::WithParamInterface<RefusedRequest> {};

TEST_P(KittingRefusalTest, FailedRequestsAreTriedFiftyTimesThenTheRunFails)
{
    const RefusedRequest& c = GetParam();
    Write(Apns("1", {{1, SaveCommand("tried")}}));
    OpenTool();
    emulator_->InjectHttpFault(c.key, 500, -1);
    const DWORD start = GetTickCount();
    auto boxes = RunWrite();
    const DWORD elapsed = GetTickCount() - start;
    emulator_->ClearFaults();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kChildTitle);
    // a refused upload fails the run too: the web server answered, so no restart took it
    EXPECT_EQ(boxes[0].text, kFailed);
    EXPECT_EQ(SentWith(c.fragment).size(), static_cast<size_t>(KITTING_REQUEST_TRIES));
    // a second of program time after each refused try, the last included
    EXPECT_GE(elapsed, tooltest::AtLeastMs(KITTING_REQUEST_TRIES * 1000));
}

INSTANTIATE_TEST_SUITE_P(EachRequest, KittingRefusalTest,
                         ::testing::Values(RefusedRequest{"imei", "cmd=imei"},
                                           RefusedRequest{"privacy_setting", "cmd=privacy_setting"},
                                           RefusedRequest{"restrict_default_profile", "cmd=restrict_default_profile"},
                                           RefusedRequest{"APN_PROC_EX", "APN_PROC_EX"},
                                           RefusedRequest{"UPLOADFILE_RESTORE", "UPLOADFILE_RESTORE"}),
                         [](const ::testing::TestParamInfo<RefusedRequest>& info) { return std::string(info.param.key); });

TEST_F(KittingTest, ARequestThatRecoversWithinItsTriesSucceeds)
{
    Write(Apns("1", {{1, SaveCommand("late")}}));
    OpenTool();
    emulator_->InjectHttpFault("imei", 500, 3);
    auto boxes = RunWrite();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kSuccess);
    EXPECT_EQ(SentWith("cmd=imei").size(), 4u);
    EXPECT_EQ(SavedApns(), std::vector<std::string>{"late"});
}

}  // namespace

namespace {

// A private base deeper than the old 256-byte path room: the backup path
// goes out whole, not cut to some other file's name.
TEST_F(KittingTest, LongToolFolderPathStillUploadsTheBackup)
{
    std::string deep = place_.Root();
    while (deep.size() < 300)
        deep += "/long-temporary-folder-name";
    fs::create_directories(deep + "/VX530KittingTool");
    fs::permissions(deep, fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
    toolFolder_ = deep + "/VX530KittingTool";
    std::ofstream(toolFolder_ + "/backupinfo", std::ios::binary) << "deep backup";
    Write(Apns("1", {{1, SaveCommand("deep")}}));
    OpenTool();
    ASSERT_GT(tool_.dialog()->ToolFolder().size(), 300u);
    auto boxes = RunWrite();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kSuccess);
    EXPECT_EQ(emulator_->UploadedRestoreFile(), "deep backup");
}

}  // namespace

namespace {

// APN commands up to the room of the provisioning data go out whole; one over
// it is refused before the modem loses anything.
TEST_F(KittingTest, ApnCommandsUpToTheirRoomAreSentAndLongerOnesChangeNothing)
{
    const std::string prefix = SaveCommand("");
    const std::string tail = "&pdp_type=IP";
    auto commandOf = [&](size_t size) {
        return prefix.substr(0, prefix.size() - tail.size()) + std::string(size - prefix.size(), 'a') + tail;
    };
    struct Case {
        size_t size;
        bool succeeds;
    };
    const Case cases[] = {{1024, true}, {KITTING_APN_COMMAND_ROOM - 1, true}, {KITTING_APN_COMMAND_ROOM, false}};
    Write({});
    OpenTool();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string command = commandOf(c.size);
        ASSERT_EQ(command.size(), c.size);
        Write(Apns("1", {{1, command}}));
        auto boxes = RunWrite();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.succeeds ? kSuccess : kFailed);
        auto saves = SentWith("apn_action=save");
        if (c.succeeds) {
            ASSERT_EQ(saves.size(), 1u);
            EXPECT_EQ(saves[0], command);
        } else {
            EXPECT_TRUE(saves.empty());
            ExpectNothingSent();
            EXPECT_EQ(trace_.Count("KESTLE: nothing written: Apn_cfg.ini: [APN_INFO] APN_COMMAND1 is longer than "
                                   "10239 bytes"),
                      1u);
        }
        ASSERT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_KITTING_WRITE)); }));
    }
}

// A valid head followed by 100 MB of lines is refused for its size, never
// read as a file whose keys are missing; nothing is changed.
TEST_F(KittingTest, HugeProvisioningFileIsRefusedForItsSize)
{
    Write(Apns("1", {{1, SaveCommand("kept")}}));
    ASSERT_EQ(truncate((toolFolder_ + "/Apn_cfg.ini").c_str(), 100 * 1024 * 1024), 0);
    OpenTool();
    auto boxes = RunWrite();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFailed);
    ExpectNothingSent();
    EXPECT_EQ(trace_.Count("KESTLE: nothing written: Apn_cfg.ini: the file is larger than 262143 bytes, the most "
                           "that is read"),
              1u);
    EXPECT_EQ(trace_.Count("is missing"), 0u);
}

// No backup file: the run fails at once, before any change and without tries.
TEST_F(KittingTest, MissingBackupFileFailsBeforeAnythingChanges)
{
    Write(Apns("1", {{1, SaveCommand("kept")}}));
    fs::remove(toolFolder_ + "/backupinfo");
    OpenTool();
    auto boxes = RunWrite();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFailed);
    ExpectNothingSent();
    EXPECT_EQ(trace_.Count("KESTLE: nothing written: no backupinfo in the tool folder"), 1u);
}

// The modem goes away before its answer to the upload arrives: that answer
// was lost to the restart, the run goes on, and the backup is sent once.
TEST_F(KittingTest, UploadAnswerLostToTheRestartCountsAsDoneAndIsNotSentAgain)
{
    Write(Apns("1", {{1, SaveCommand("after.restart")}}));
    OpenTool();
    // a restart far longer than the pause before the tool looks for the web
    // server, however slowly the machine runs the tool
    emulator_->SetRestartMs(120000);
    modemsim::Fault vanish;
    vanish.kind = modemsim::FaultKind::Vanish;
    vanish.times = 1;
    emulator_->InjectHttpFault("UPLOADFILE_RESTORE", vanish);
    int restarts = emulator_->RestartCount();
    auto boxes = RunWrite();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kSuccess);
    EXPECT_EQ(SentWith("UPLOADFILE_RESTORE").size(), 1u);
    EXPECT_GT(emulator_->RestartCount(), restarts);
    EXPECT_EQ(SavedApns(), std::vector<std::string>{"after.restart"});
}

}  // namespace

namespace {

// The static text says what a run does: writing, then the restart, then
// writing again; the tool's own text comes back with the result.
TEST_F(KittingTest, StaticTextFollowsTheRun)
{
    Write(Apns("1", {{1, SaveCommand("shown")}}));
    OpenTool();
    const std::wstring idle = Text(Item(IDC_KITTING_INFO));
    const std::wstring writing = L"Writing the information, please wait...";
    const std::wstring reboot = L"The device is restarting. Please don't remove it.";
    emulator_->SetRestartMs(20000);
    // the upload waits until the test has seen the text of the run
    modemsim::Fault slow;
    slow.kind = modemsim::FaultKind::Slow;
    slow.delayMs = static_cast<uint32_t>(1000 / TimeScale());  // a real second, long enough to be seen
    emulator_->InjectHttpFault("UPLOADFILE_RESTORE", slow);
    emulator_->ClearReceived();
    ASSERT_TRUE(tooltest::ClickWhenSettled(tool_.dialog(), Item(IDC_KITTING_WRITE)));
    EXPECT_TRUE(WaitUntil([&] { return Text(Item(IDC_KITTING_INFO)) == writing; }, 60000));
    // and the first request after the restart waits too
    emulator_->InjectHttpFault("APN_PROC_EX", slow);
    EXPECT_TRUE(WaitUntil([&] { return Text(Item(IDC_KITTING_INFO)) == reboot; }, 60000));
    EXPECT_TRUE(WaitUntil([&] { return Text(Item(IDC_KITTING_INFO)) == writing; }, 60000));
    auto popup = WaitForPopup(120000);
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->text, kSuccess);
    ClosePopup(*popup);
    EXPECT_TRUE(WaitUntil([&] { return Text(Item(IDC_KITTING_INFO)) == idle; }));
}

TEST_F(KittingTest, RefusedDeleteStopsTheRunBeforeAnyApnIsWritten)
{
    Write(Apns("1", {{1, SaveCommand("never")}}));
    // an index the web server cannot read: every delete is refused
    ReplaceInConfig("apn_action=delete&apn_mode=manual&index=", "apn_action=delete&apn_mode=manual&index=x");
    OpenTool();
    auto boxes = RunWrite();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFailed);
    EXPECT_EQ(trace_.Count("KESTLE: DeleteAPN Fail!"), 1u);
    EXPECT_EQ(trace_.Count("KESTLE: DeleteAPN Success!"), 0u);
    // the first delete (index 9) is tried its full count, the others never
    EXPECT_EQ(SentWith("apn_action=delete&apn_mode=manual&index=x9").size(), static_cast<size_t>(KITTING_REQUEST_TRIES));
    EXPECT_EQ(SentWith("apn_action=delete").size(), static_cast<size_t>(KITTING_REQUEST_TRIES));
    EXPECT_EQ(SentWith("apn_action=save").size(), 0u);
    EXPECT_EQ(trace_.Count("KESTLE: WriteAPNParameters"), 0u);
}

TEST_F(KittingTest, ModemThatDoesNotComeBackFailsTheRunAfterItsWait)
{
    Write(Apns("1", {{1, SaveCommand("never")}}));
    emulator_->SetRestartMs(100000000);  // the restore's restart never ends
    OpenTool();
    auto boxes = RunWrite();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFailed);
    EXPECT_EQ(emulator_->UploadedRestoreFile(), kBackup);
    // every test of the wait found no web server
    EXPECT_GE(trace_.Count("KESTLE: CPlatformManager, Search RNDIS Port Fail!"),
              static_cast<size_t>(KITTING_RESTART_TESTS));
    // the next step finds no device either; the run stops there
    EXPECT_EQ(SentWith("apn_action=set_default").size(), 0u);
    EXPECT_EQ(trace_.Count("KESTLE: DeleteAPN"), 0u);
    EXPECT_EQ(SentWith("apn_action=delete").size(), 0u);
    EXPECT_EQ(SentWith("apn_action=save").size(), 0u);
}

}  // namespace

namespace {

// Write is off from the press to the result box; after the restart notice the
// run waits 5 s, finds the web server back and waits 5 s more before it goes on.
TEST_F(KittingTest, RunWaitsAroundTheRestartWithWriteDisabled)
{
    Write(Apns("1", {{1, SaveCommand("waited")}}));
    OpenTool();
    const std::wstring reboot = L"The device is restarting. Please don't remove it.";
    // the first request after the wait answers a real second late, to look at the button
    modemsim::Fault slow;
    slow.kind = modemsim::FaultKind::Slow;
    slow.delayMs = static_cast<uint32_t>(1000 / TimeScale());
    emulator_->InjectHttpFault("APN_PROC_EX", slow);
    emulator_->ClearReceived();
    ASSERT_TRUE(IsEnabled(Item(IDC_KITTING_WRITE)));
    ASSERT_TRUE(tooltest::WaitUntilSettled(tool_.dialog(), Item(IDC_KITTING_WRITE)));
    const DWORD start = GetTickCount();
    ASSERT_TRUE(Click(Item(IDC_KITTING_WRITE)));
    ASSERT_TRUE(WaitUntil([&] { return Text(Item(IDC_KITTING_INFO)) == reboot; }, 60000));
    EXPECT_FALSE(IsEnabled(Item(IDC_KITTING_WRITE)));
    ASSERT_TRUE(WaitUntil([&] { return !SentWith("apn_action=set_default").empty(); }, 120000));
    EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(10000));
    EXPECT_EQ(SentWith("UPLOADFILE_RESTORE").size(), 1u);
    EXPECT_FALSE(IsEnabled(Item(IDC_KITTING_WRITE)));
    auto popup = WaitForPopup(120000);
    ASSERT_TRUE(popup);
    EXPECT_EQ(popup->text, kSuccess);
    EXPECT_EQ(popup->caption, kChildTitle);
    EXPECT_FALSE(IsEnabled(Item(IDC_KITTING_WRITE)));  // still off while the box is up
    ClosePopup(*popup);
    EXPECT_TRUE(WaitUntil([&] { return IsEnabled(Item(IDC_KITTING_WRITE)); }));
}

}  // namespace
