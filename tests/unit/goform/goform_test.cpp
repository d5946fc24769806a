#include "device/goform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "emulator/modem_emulator.h"
#include "platform/win/clock.h"
#include "tests/support/timeout_scale.h"

namespace {

using modemsim::EmulatorOptions;
using modemsim::HttpRequest;
using modemsim::Mode;
using modemsim::ModemEmulator;

const char* kHost = "192.168.0.1";
const std::string kGet = GOFORM_GET_PATH;
const std::string kSet = GOFORM_SET_PATH;
const std::string kProcess = GOFORM_PROCESS_PATH;

// A device in network-card mode whose web server answers for kHost.
class Goform : public ::testing::Test {
protected:
    void SetUp() override
    {
        EmulatorOptions options;
        options.mode = Mode::NetCard;
        options.webHost = kHost;
        options.restartMs = 100;
        emu_ = std::make_unique<ModemEmulator>(options);
        std::string error;
        ASSERT_TRUE(emu_->Start(&error)) << error;
        setenv("KESTLE_DEVICE_DIR", emu_->DeviceDir().c_str(), 1);
    }
    void TearDown() override
    {
        emu_.reset();
        unsetenv("KESTLE_DEVICE_DIR");
    }
    // The one request the server received since the last call.
    HttpRequest OnlyRequest()
    {
        auto received = emu_->HttpRequests();
        emu_->ClearReceived();
        EXPECT_EQ(received.size(), 1u);
        return received.empty() ? HttpRequest{} : received.back();
    }
    // What the request text became on the wire: the query of a GET, else the body.
    static std::string TextOf(const HttpRequest& r) { return r.method == "GET" ? r.query : r.body; }
    // Requests that restart the device: wait until it has been away and is back.
    void WaitBack(int restartsBefore)
    {
        uint32_t start = GetTickCount();
        while (emu_->RestartCount() <= restartsBefore && GetTickCount() - start < 60000)
            Sleep(10);
        ASSERT_GT(emu_->RestartCount(), restartsBefore);
        ASSERT_TRUE(emu_->WaitForMode(Mode::NetCard, 60000));
    }

    std::unique_ptr<ModemEmulator> emu_;
};

struct RequestCase {
    const char* name;
    std::function<int()> call;
    std::string path;
    std::string text;
    bool restarts = false;
};

}  // namespace

TEST_F(Goform, EveryRequestSendsItsBuiltInTextOnItsPath)
{
    char reply[GOFORM_VERSION_REPLY_ROOM];
    int flag = 0;
    RequestCase cases[] = {
        {"reboot", [&] { return Http_RebootDevice(kHost, reply); }, kSet, "goformId=REBOOT_DEVICE", true},
        {"restore", [&] { return Http_RestoreFactorySettings(kHost, "", reply); }, kSet,
         "goformId=RESTORE_FACTORY_SETTINGS", true},
        {"version", [&] { return Http_GetCurrentVersion(kHost, "", reply); }, kProcess,
         "goformId=ONLINE_UPGRADE_TOOL&command=get_current_version"},
        {"imei", [&] { return Http_GetIMEI(kHost, nullptr, reply); }, kGet, "cmd=imei"},
        {"device mode", [&] { return Http_SetDeviceMode(kHost, "", reply); }, kSet,
         "goformId=SET_DEVICE_MODE&debug_enable=2"},
        {"product mode", [&] { return Http_SetProductModeForMarl(kHost, "", reply); }, kSet,
         "goformId=SET_PRODUCT_MODE_FOR_MARL&debug_enable=1"},
        {"save apn", [&] { return Http_SaveApn(kHost, "", reply); }, kSet,
         "goformId=APN_PROC_EX&apn_action=save&wan_apn=%s&pdp_type=IP"},
        {"delete apn", [&] { return Http_DeleteApn(kHost, ""); }, kSet,
         "goformId=APN_PROC_EX&apn_action=delete&apn_mode=manual&index=1"},
        {"default apn", [&] { return Http_SetDefaultApn(kHost, nullptr, reply); }, kSet,
         "goformId=APN_PROC_EX&apn_mode=manual&apn_action=set_default&set_default_flag=1&pdp_type=IPv4&index=1"},
        {"privacy", [&] { return Http_GetPrivacySetting(kHost, "", &flag); }, kGet, "cmd=privacy_setting"},
        {"restrict", [&] { return Http_GetRestrictDefaultProfile(kHost, "", &flag); }, kGet,
         "cmd=restrict_default_profile"},
        {"wimax get", [&] { return Http_GetWimax2Enable(kHost, "", &flag); }, kGet, "cmd=wimax2_enable"},
        {"wimax set, flag off", [&] { return Http_SetWimax2Enable(kHost, "", 0); }, kSet, "goformId=wimax2_enable=on"},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.name);
        emu_->ClearReceived();
        int restarts = emu_->RestartCount();
        c.call();
        HttpRequest r = OnlyRequest();
        EXPECT_EQ(r.path, c.path);
        EXPECT_EQ(TextOf(r), c.text);
        if (c.restarts)
            WaitBack(restarts);
    }
}

TEST_F(Goform, CallerTextsAreSentAsTheyStand)
{
    char reply[GOFORM_REPLY_ROOM];
    RequestCase cases[] = {
        {"own text", [&] { return Http_GetIMEI(kHost, "cmd=imei,wimax2_enable", reply); }, kGet,
         "cmd=imei,wimax2_enable"},
        {"blanks", [&] { return Http_SetDeviceMode(kHost, "   ", reply); }, kSet, "   "},
        {"wimax on", [&] { return Http_SetWimax2Enable(kHost, "goformId=WIMAX2_ENABLE&wimax2_enable=", 1); }, kSet,
         "goformId=WIMAX2_ENABLE&wimax2_enable=on"},
        {"wimax off", [&] { return Http_SetWimax2Enable(kHost, "goformId=WIMAX2_ENABLE&wimax2_enable=", 0); }, kSet,
         "goformId=WIMAX2_ENABLE&wimax2_enable=off"},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.name);
        emu_->ClearReceived();
        c.call();
        HttpRequest r = OnlyRequest();
        EXPECT_EQ(r.path, c.path);
        EXPECT_EQ(TextOf(r), c.text);
    }
    EXPECT_EQ(emu_->WebSetting("wimax2_enable"), "off");
}

TEST_F(Goform, SuccessIsTestedInTheReply)
{
    // the exchange works both times; only the reply tells them apart
    EXPECT_EQ(Http_DeleteApn(kHost, "goformId=APN_PROC_EX&apn_action=delete&apn_mode=manual&index=1"), 0);
    EXPECT_EQ(Http_DeleteApn(kHost, "goformId=APN_PROC_EX&apn_action=delete&apn_mode=manual&index=0"), 1);
    EXPECT_EQ(emu_->HttpRequests().size(), 2u);

    char reply[GOFORM_REPLY_ROOM];
    std::memset(reply, 'x', sizeof reply);
    EXPECT_EQ(Http_RestoreFactorySettings(kHost, "goformId=NO_SUCH_THING", reply), 1);
    EXPECT_NE(std::strstr(reply, "failure"), nullptr) << "copied before the test";
    EXPECT_EQ(Http_SaveApn(kHost, "goformId=APN_PROC_EX&apn_action=save&wan_apn=web&pdp_type=IP", reply), 0);
    EXPECT_NE(std::strstr(reply, "success"), nullptr);
    ASSERT_FALSE(emu_->WebApnProfiles().empty());
    EXPECT_EQ(emu_->WebApnProfiles().back().apn, "web");
}

TEST_F(Goform, OnOffTestsOnBeforeOff)
{
    struct Case {
        std::string value;
        int result;
        int flag;
    } cases[] = {
        {"on", 0, 1},
        {"off", 0, 0},
        {"offline", 0, 0},
        {"off (condition)", 0, 1},  // "on" inside another word wins over "off"
        {"", 1, 7},
        {"disabled", 1, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        emu_->SetWebSetting("privacy_setting", c.value);
        emu_->SetWebSetting("wimax2_enable", c.value);
        int flag = 7;
        EXPECT_EQ(Http_GetPrivacySetting(kHost, "", &flag), c.result);
        EXPECT_EQ(flag, c.flag);
        flag = 7;
        EXPECT_EQ(Http_GetWimax2Enable(kHost, nullptr, &flag), c.result);
        EXPECT_EQ(flag, c.flag);
    }
    emu_->InjectHttpFault("restrict_default_profile", 500);
    int flag = 7;
    EXPECT_EQ(Http_GetRestrictDefaultProfile(kHost, "", &flag), 1);
    EXPECT_EQ(flag, 7);
}

TEST_F(Goform, VersionNeedsANonEmptyReply)
{
    char reply[GOFORM_VERSION_REPLY_ROOM];
    emu_->SetVersions({"BD_K415NQV1.0", "", "", "", "", "", "", "", ""});
    EXPECT_EQ(Http_GetCurrentVersion(kHost, nullptr, reply), 0);
    EXPECT_NE(std::strstr(reply, "BD_K415NQV1.0"), nullptr);

    // 200 with an empty body: the exchange worked, the empty text is copied
    emu_->InjectHttpFault("ONLINE_UPGRADE_TOOL", 200);
    std::memset(reply, 'x', sizeof reply);
    EXPECT_EQ(Http_GetCurrentVersion(kHost, "", reply), 1);
    EXPECT_STREQ(reply, "");

    // a failed exchange copies nothing
    emu_->InjectHttpFault("ONLINE_UPGRADE_TOOL", 503);
    std::memset(reply, 'x', sizeof reply);
    EXPECT_EQ(Http_GetCurrentVersion(kHost, "", reply), 1);
    EXPECT_EQ(reply[0], 'x');
}

TEST_F(Goform, UploadSendsTheFileWithTheQuery)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string file = std::string(tmp && *tmp ? tmp : "/tmp") + "/goform-upload-XXXXXX";
    int fd = mkstemp(file.data());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "backup\0data", 11), 11);
    close(fd);
    char reply[GOFORM_REPLY_ROOM];
    struct Case {
        const char* query;
        std::string expected;
    } cases[] = {
        {"", "goformId=UPLOADFILE_RESTORE&isTest=false"},
        {"goformId=UPLOADFILE_RESTORE&isTest=true", "goformId=UPLOADFILE_RESTORE&isTest=true"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        emu_->ClearReceived();
        int restarts = emu_->RestartCount();
        EXPECT_EQ(Http_UploadRestoreFile(kHost, c.query, file.c_str(), reply), 0);
        HttpRequest r = OnlyRequest();
        EXPECT_EQ(r.path, kSet);
        EXPECT_EQ(r.query, c.expected);
        EXPECT_EQ(r.body, std::string("backup\0data", 11));
        EXPECT_NE(std::strstr(reply, "success"), nullptr);
        WaitBack(restarts);
    }
    EXPECT_EQ(Http_UploadRestoreFile(kHost, "", nullptr, reply), 1);
    EXPECT_NE(Http_UploadRestoreFile(kHost, "", (file + ".missing").c_str(), reply), 0);
    std::remove(file.c_str());
    EXPECT_TRUE(emu_->HttpRequests().empty());
}

TEST_F(Goform, OverlongTextsAreRefusedBeforeAnythingIsSent)
{
    char reply[GOFORM_REPLY_ROOM];
    std::string longest = "cmd=" + std::string(GOFORM_TEXT_ROOM - 1 - 4, 'a');
    std::string tooLong = longest + "a";
    std::string longHost(GOFORM_TEXT_ROOM, 'h');
    std::string setPrefix(GOFORM_TEXT_ROOM - 1 - 2, 's');

    EXPECT_EQ(Http_GetIMEI(kHost, tooLong.c_str(), reply), 1);
    EXPECT_EQ(Http_GetIMEI(longHost.c_str(), "", reply), 1);
    EXPECT_EQ(Http_SetWimax2Enable(kHost, setPrefix.c_str(), 0), 1);  // + "off" is one too many
    EXPECT_EQ(Http_UploadRestoreFile(kHost, tooLong.c_str(), "/dev/null", reply), 1);
    int room = GOFORM_REPLY_ROOM;
    EXPECT_EQ(Http_SendGoformRequest("http://192.168.0.1/goform/goform_set_cmd_process", tooLong.c_str(),
                                     static_cast<int>(tooLong.size()), reply, &room),
              1);
    EXPECT_TRUE(emu_->HttpRequests().empty());

    Http_GetIMEI(kHost, longest.c_str(), reply);
    Http_SetWimax2Enable(kHost, setPrefix.c_str(), 1);  // + "on" just fits
    auto received = emu_->HttpRequests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(TextOf(received[0]), longest);
    EXPECT_EQ(TextOf(received[1]), setPrefix + "on");
}

TEST_F(Goform, RepliesStayTerminatedWithinTheirRoom)
{
    // {"privacy_setting":"..."} is 22 bytes around the value
    char reply[GOFORM_REPLY_ROOM + 8];
    emu_->SetWebSetting("privacy_setting", std::string(GOFORM_REPLY_ROOM - 1 - 22, 'p'));
    std::memset(reply, '#', sizeof reply);
    EXPECT_EQ(Http_GetIMEI(kHost, "cmd=privacy_setting", reply), 0);
    EXPECT_EQ(std::strlen(reply), static_cast<size_t>(GOFORM_REPLY_ROOM - 1));

    // one byte more is cut to the room: nothing overrun
    emu_->SetWebSetting("privacy_setting", std::string(GOFORM_REPLY_ROOM - 22, 'p'));
    std::memset(reply, '#', sizeof reply);
    EXPECT_EQ(Http_GetIMEI(kHost, "cmd=privacy_setting", reply), 0);
    EXPECT_EQ(std::strlen(reply), static_cast<size_t>(GOFORM_REPLY_ROOM - 1));
    EXPECT_EQ(reply[GOFORM_REPLY_ROOM], '#');

    char small[64];
    std::memset(small, '#', sizeof small);
    int room = 16;
    const char* text = "cmd=privacy_setting";
    EXPECT_EQ(Http_SendGoformRequest("http://192.168.0.1/goform/goform_get_cmd_process", text,
                                     static_cast<int>(std::strlen(text)), small, &room),
              0);
    EXPECT_EQ(std::strlen(small), 15u);
    EXPECT_EQ(small[16], '#');

    emu_->SetWebSetting("privacy_setting", "on");
    room = 64;
    EXPECT_EQ(Http_SendGoformRequest("http://192.168.0.1/goform/goform_get_cmd_process", text,
                                     static_cast<int>(std::strlen(text)), small, &room),
              0);
    EXPECT_STREQ(small, "{\"privacy_setting\":\"on\"}");
    EXPECT_EQ(room, 24);
}

// An answer longer than its room is read as far as the room goes.
TEST_F(Goform, OverlongAnswersAreCutToTheirRoom)
{
    emu_->SetWebSetting("privacy_setting", "on\",\"pad\":\"" + std::string(264 - 36, 'p'));
    int flag = 7;
    EXPECT_EQ(Http_GetPrivacySetting(kHost, "", &flag), 0);
    EXPECT_EQ(flag, 1);

    emu_->SetVersions({"BD_K415NQV1.0" + std::string(1125, 'v'), "", "", "", "", "", "", "", ""});
    char reply[GOFORM_VERSION_REPLY_ROOM];
    EXPECT_EQ(Http_GetCurrentVersion(kHost, nullptr, reply), 0);
    EXPECT_EQ(std::strlen(reply), static_cast<size_t>(GOFORM_VERSION_REPLY_ROOM - 1));
    EXPECT_NE(std::strstr(reply, "BD_K415NQV1.0"), nullptr);
}

TEST_F(Goform, ARefusedDeviceModeFails)
{
    modemsim::Fault refusal;
    refusal.kind = modemsim::FaultKind::HttpStatus;
    refusal.httpStatus = 200;
    refusal.text = "{\"result\":\"failure\"}";
    emu_->InjectHttpFault("SET_DEVICE_MODE", refusal);
    char reply[GOFORM_REPLY_ROOM];
    EXPECT_EQ(Http_SetDeviceMode(kHost, "", reply), 1);
    EXPECT_STREQ(reply, "{\"result\":\"failure\"}");
    EXPECT_EQ(Http_SetDeviceMode(kHost, "", reply), 0);
}

// An empty 200 answer: the requests that need no particular answer succeed,
// the ones that read or test their answer fail.
TEST_F(Goform, EmptyAnswerPassesOnlyTheAnyAnswerKinds)
{
    char reply[GOFORM_VERSION_REPLY_ROOM];
    int flag = 7;
    const std::string file = std::string(::testing::TempDir()) + "goform_empty_" + std::to_string(::getpid());
    std::ofstream(file) << "restore";
    const struct {
        const char* key;
        std::function<int()> call;
        int result;
    } cases[] = {
        {"REBOOT_DEVICE", [&] { return Http_RebootDevice(kHost, reply); }, 0},
        {"imei", [&] { return Http_GetIMEI(kHost, nullptr, reply); }, 0},
        {"SET_DEVICE_MODE", [&] { return Http_SetDeviceMode(kHost, "", reply); }, 0},
        {"RESTORE_FACTORY_SETTINGS", [&] { return Http_RestoreFactorySettings(kHost, "", reply); }, 1},
        {"ONLINE_UPGRADE_TOOL", [&] { return Http_GetCurrentVersion(kHost, "", reply); }, 1},
        {"SET_PRODUCT_MODE_FOR_MARL", [&] { return Http_SetProductModeForMarl(kHost, "", reply); }, 1},
        {"APN_PROC_EX", [&] { return Http_SaveApn(kHost, "", reply); }, 1},
        {"APN_PROC_EX", [&] { return Http_DeleteApn(kHost, ""); }, 1},
        {"APN_PROC_EX", [&] { return Http_SetDefaultApn(kHost, "", reply); }, 1},
        {"privacy_setting", [&] { return Http_GetPrivacySetting(kHost, "", &flag); }, 1},
        {"restrict_default_profile", [&] { return Http_GetRestrictDefaultProfile(kHost, "", &flag); }, 1},
        {"wimax2_enable", [&] { return Http_GetWimax2Enable(kHost, "", &flag); }, 1},
        {"wimax2_enable=on", [&] { return Http_SetWimax2Enable(kHost, "", 1); }, 1},
        {"UPLOADFILE_RESTORE", [&] { return Http_UploadRestoreFile(kHost, nullptr, file.c_str(), reply); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        emu_->ClearReceived();
        emu_->InjectHttpFault(c.key, 200);
        EXPECT_EQ(c.call(), c.result);
        EXPECT_EQ(emu_->HttpRequests().size(), 1u);
        EXPECT_EQ(flag, 7);
        emu_->ClearFaults();
    }
    std::remove(file.c_str());
}

// The port library's timeouts: 5 s for a request, 10 s for an upload. They run
// at the suite's device timeout factor: the factor a test sets in-process does
// not reach the port library's own copy of the clock.
TEST_F(Goform, SilentServerCostsTheWholeTimeout)
{
    const std::string file = std::string(::testing::TempDir()) + "goform_silent_" + std::to_string(::getpid());
    std::ofstream(file) << "restore";
    const struct {
        const char* key;
        std::function<int()> call;
        uint32_t seconds;
    } cases[] = {
        {"imei", [] { char r[GOFORM_REPLY_ROOM]; return Http_GetIMEI(kHost, "", r); }, 5},
        {"UPLOADFILE_RESTORE", [&] { char r[GOFORM_REPLY_ROOM]; return Http_UploadRestoreFile(kHost, nullptr, file.c_str(), r); }, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        modemsim::Fault silent;
        silent.kind = modemsim::FaultKind::NoAnswer;
        emu_->InjectHttpFault(c.key, silent);
        tooltest::ScopedTimeoutScale shortTimeouts;
        // the timeout at the device timeout factor, in program time
        const uint32_t least = tooltest::AtLeastMs(tooltest::TimeoutInProgramMs(c.seconds));
        const uint32_t start = GetTickCount();
        EXPECT_EQ(c.call(), 1);
        EXPECT_GE(GetTickCount() - start, least);
    }
    std::remove(file.c_str());
}

TEST_F(Goform, MissingArgumentsTouchNothing)
{
    char reply[GOFORM_REPLY_ROOM];
    int room = GOFORM_REPLY_ROOM;
    const char* url = "http://192.168.0.1/goform/goform_get_cmd_process";
    EXPECT_EQ(Http_SendGoformRequest(url, nullptr, 0, reply, &room), 1);
    EXPECT_EQ(Http_SendGoformRequest(url, "cmd=imei", 8, nullptr, &room), 1);
    EXPECT_EQ(Http_SendGoformRequest(url, "cmd=imei", 8, reply, nullptr), 1);
    EXPECT_EQ(Http_UploadGoformFile(url, nullptr, 0, reply, &room), 1);
    EXPECT_EQ(Http_GetIMEI(nullptr, "", reply), 1);
    EXPECT_TRUE(emu_->HttpRequests().empty());
}

TEST_F(Goform, AFailedExchangeGivesOneAndCopiesNothing)
{
    char reply[GOFORM_REPLY_ROOM];
    emu_->InjectHttpFault("imei", 500);
    std::memset(reply, 'x', sizeof reply);
    EXPECT_EQ(Http_GetIMEI(kHost, "", reply), 1);
    EXPECT_EQ(reply[0], 'x');
    // a host the device folder does not map is never contacted
    EXPECT_EQ(Http_GetIMEI("192.168.77.77", "", reply), 1);
}

TEST_F(Goform, AServerThatDoesNotAnswerFailsWithinTheTimeout)
{
    modemsim::Fault fault;
    fault.kind = modemsim::FaultKind::NoAnswer;
    emu_->InjectHttpFault("imei", fault);
    char reply[GOFORM_REPLY_ROOM];
    {
        tooltest::ScopedTimeoutScale shortTimeouts;
        uint32_t start = GetTickCount();
        EXPECT_EQ(Http_GetIMEI(kHost, "", reply), 1);
        // the 5 s timeout ran out in program time
        EXPECT_GE(GetTickCount() - start, tooltest::AtLeastMs(5000));
    }
    // the next request is served again
    EXPECT_EQ(Http_GetIMEI(kHost, "", reply), 0);
}

TEST_F(Goform, RequestsRunFromSeveralThreadsAtOnce)
{
    constexpr int kThreads = 6, kEach = 10;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                char reply[GOFORM_REPLY_ROOM];
                int flag = -1;
                int rc = (t % 2) ? Http_GetIMEI(kHost, "", reply)
                                 : Http_SetWimax2Enable(kHost, "goformId=WIMAX2_ENABLE&wimax2_enable=", i % 2);
                rc |= Http_GetWimax2Enable(kHost, "", &flag);
                if (rc != 0)
                    ++failures;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(emu_->HttpRequests().size(), static_cast<size_t>(kThreads * kEach * 2));
}

TEST_F(Goform, CdDriveCommandGoesToTheDeviceWithThatId)
{
    std::string product = modemsim::ProductIdOf(Mode::NetCard);
    EXPECT_EQ(SCSI_SwitchDeviceMode("ABCD", product.c_str()), 0);
    EXPECT_EQ(SCSI_SwitchDeviceMode("ABCD", "9999"), 1);
    EXPECT_EQ(SCSI_SwitchDeviceMode(nullptr, product.c_str()), 1);
    EXPECT_EQ(SCSI_SwitchDeviceMode("ABCD", nullptr), 1);
    auto commands = emu_->CdromCommands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].vendor, "ABCD");
    EXPECT_EQ(commands[0].product, product);
    EXPECT_EQ(commands[0].command, "99000000000000000000");
    EXPECT_TRUE(commands[0].accepted);
    EXPECT_EQ(commands[1].product, "9999");
    EXPECT_FALSE(commands[1].accepted);
}
