// The device web server's goform requests in network-card mode.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "tests/unit/emulator/emulator_fixture.h"

namespace modemsim_test {
namespace {

const char kGet[] = "/goform/goform_get_cmd_process";
const char kSet[] = "/goform/goform_set_cmd_process";
const char kProcess[] = "/goform/goform_process";

struct GoformCase {
    const char* path;
    const char* request;
    const char* reply;
};

class GoformTest : public NetCardTest {};

TEST_F(GoformTest, RequestsOfTheToolsGetTheirAnswers) {
    emu_->SetWebSetting("privacy_setting", "on");
    const GoformCase cases[] = {
        {kProcess, "goformId=ONLINE_UPGRADE_TOOL&command=get_current_version", "{\"current_version\":\"KX530_V1.0.0B07\"}"},
        {kProcess, "goformId=SOMETHING_ELSE", "{\"result\":\"failure\"}"},
        {kGet, "cmd=imei", "{\"imei\":\"123456789012345\"}"},
        {kGet, "cmd=privacy_setting", "{\"privacy_setting\":\"on\"}"},
        {kGet, "cmd=restrict_default_profile", "{\"restrict_default_profile\":\"off\"}"},
        {kGet, "cmd=wimax2_enable", "{\"wimax2_enable\":\"on\"}"},
        {kGet, "cmd=imei,wimax2_enable,no_such_key&multi_data=1",
         "{\"imei\":\"123456789012345\",\"wimax2_enable\":\"on\",\"no_such_key\":\"\"}"},
        {kGet, "nothing=1", "{\"result\":\"failure\"}"},
        {kSet, "goformId=WIMAX2_ENABLE&wimax2_enable=off", "{\"result\":\"success\"}"},
        {kGet, "cmd=wimax2_enable", "{\"wimax2_enable\":\"off\"}"},
        {kSet, "goformId=wimax2_enable=on", "{\"result\":\"success\"}"},
        {kGet, "cmd=wimax2_enable", "{\"wimax2_enable\":\"on\"}"},
        {kSet, "goformId=WIMAX2_ENABLE&wimax2_enable=maybe", "{\"result\":\"failure\"}"},
        {kSet, "goformId=APN_PROC_EX&apn_action=save&wan_apn=corp.example&pdp_type=IP", "{\"result\":\"success\"}"},
        {kSet, "goformId=APN_PROC_EX&apn_action=save&wan_apn=%s&pdp_type=IP", "{\"result\":\"success\"}"},
        {kSet, "goformId=APN_PROC_EX&apn_action=delete&apn_mode=manual&index=9", "{\"result\":\"success\"}"},
        {kSet, "goformId=APN_PROC_EX&apn_action=delete&apn_mode=manual&index=2", "{\"result\":\"success\"}"},
        {kSet, "goformId=APN_PROC_EX&apn_action=delete&apn_mode=manual&index=", "{\"result\":\"failure\"}"},
        {kSet, "goformId=APN_PROC_EX&apn_mode=manual&apn_action=set_default&set_default_flag=1&pdp_type=IPv4v6&index=1",
         "{\"result\":\"success\"}"},
        {kSet, "goformId=APN_PROC_EX&apn_mode=manual&apn_action=set_default&set_default_flag=1&pdp_type=IP&index=7",
         "{\"result\":\"failure\"}"},
        {kSet, "goformId=NO_SUCH_FORM", "{\"result\":\"failure\"}"},
    };
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_EQ(Http(c.path, c.request, &ok), c.reply) << c.request;
        EXPECT_TRUE(ok) << c.request;
    }
    auto profiles = emu_->WebApnProfiles();
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[1].apn, "corp.example");
    EXPECT_TRUE(profiles[1].isDefault);
    EXPECT_EQ(profiles[1].pdpType, "IPv4v6");
    EXPECT_FALSE(profiles[0].isDefault);

    auto requests = emu_->HttpRequests();
    ASSERT_EQ(requests.size(), std::size(cases));
    EXPECT_EQ(requests[2].method, "GET");
    EXPECT_EQ(requests[2].query, "cmd=imei");
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, kProcess);
    EXPECT_EQ(requests[0].body, "goformId=ONLINE_UPGRADE_TOOL&command=get_current_version");
}

TEST_F(GoformTest, EveryListedHostReachesTheServerAndOthersAreNeverContacted) {
    for (const char* host : {"192.168.100.1", "192.168.0.1"}) {
        bool ok = false;
        EXPECT_EQ(Http(kGet, "cmd=imei", &ok, host), "{\"imei\":\"123456789012345\"}") << host;
        EXPECT_TRUE(ok);
    }
    bool ok = true;
    Http(kGet, "cmd=imei", &ok, "10.9.9.9");
    EXPECT_FALSE(ok);
}

TEST_F(GoformTest, FactoryRestoreResetsTheSettingsAndRestarts) {
    emu_->SetWebSetting("privacy_setting", "on");
    EXPECT_EQ(Http(kSet, "goformId=RESTORE_FACTORY_SETTINGS"), "{\"result\":\"success\"}");
    ASSERT_TRUE(emu_->WaitForRestarts(1, 300000));
    EXPECT_EQ(emu_->CurrentMode(), Mode::NetCard);
    EXPECT_EQ(emu_->WebSetting("privacy_setting"), "off");
}

TEST_F(GoformTest, RestoreUploadStoresTheFileAndRestarts) {
    std::string path = emu_->DeviceDir() + "/../backupinfo-" + std::to_string(::getpid());
    {
        std::ofstream out(path, std::ios::binary);
        out << std::string("backup\0data\r\nline two", 21);
    }
    bool ok = false;
    EXPECT_EQ(Upload("goformId=UPLOADFILE_RESTORE&isTest=false", path, &ok), "{\"result\":\"success\"}");
    EXPECT_TRUE(ok);
    ::unlink(path.c_str());
    EXPECT_EQ(emu_->UploadedRestoreFile(), std::string("backup\0data\r\nline two", 21));
    ASSERT_TRUE(emu_->WaitForRestarts(1, 300000));
    EXPECT_EQ(emu_->CurrentMode(), Mode::NetCard);
    auto requests = emu_->HttpRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().query, "goformId=UPLOADFILE_RESTORE&isTest=false");
}

// Each mode command followed by a reboot brings the device back in modem mode.
TEST_F(GoformTest, ModeCommandThenRebootSwitchesToModemMode) {
    emu_->SetRestartMs(600000);  // gone until Replug, so the gap can be looked at
    for (const char* command : {"goformId=SET_PRODUCT_MODE&debug_enable=1", "goformId=SET_PRODUCT_MODE_FOR_MARL&debug_enable=1",
                                "goformId=SET_DEVICE_MODE&debug_enable=2"}) {
        emu_->SetMode(Mode::NetCard);
        ASSERT_TRUE(ListingHas("usb_rndisx"));
        EXPECT_EQ(Http(kSet, command), "{\"result\":\"success\"}") << command;
        EXPECT_TRUE(ListingHas("usb_rndisx")) << "the mode waits for the reboot";
        EXPECT_EQ(Http(kSet, "goformId=REBOOT_DEVICE"), "{\"result\":\"success\"}");
        ASSERT_TRUE(emu_->WaitForAttached(false, 300000));
        EXPECT_TRUE(Listing().empty());
        bool ok = true;
        Http(kGet, "cmd=imei", &ok);
        EXPECT_FALSE(ok) << "the web server is gone";
        emu_->Replug();
        ASSERT_TRUE(emu_->WaitForMode(Mode::Modem, 300000)) << command;
        EXPECT_TRUE(ListingHas("nmea"));
        EXPECT_FALSE(ListingHas("usb_rndisx"));
        Http(kGet, "cmd=imei", &ok);
        EXPECT_FALSE(ok) << "no web server in modem mode";
    }
}

TEST_F(GoformTest, RebootAloneComesBackInTheSameMode) {
    EXPECT_EQ(Http(kSet, "goformId=REBOOT_DEVICE"), "{\"result\":\"success\"}");
    ASSERT_TRUE(emu_->WaitForRestarts(1, 300000));
    EXPECT_EQ(emu_->CurrentMode(), Mode::NetCard);
}

}  // namespace
}  // namespace modemsim_test
