// Interfaces per mode, the switches between them and the CD-drive command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "tests/unit/emulator/emulator_fixture.h"
#include "tests/support/timeout_scale.h"

namespace modemsim_test {
namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class ModesTest : public EmulatorTest {};

TEST_F(ModesTest, EachModeListsItsInterfaces) {
    struct {
        Mode mode;
        std::vector<std::string> entries;
    } const cases[] = {
        {Mode::Modem,
         {"Kestle Diagnostics Interface (COM5) USB\\VID_ABCD&PID_0125&MI_00", "Kestle USB nmea UI AT Interface (COM6) USB\\VID_ABCD&PID_0125&MI_01",
          "Kestle USB Modem (COM7) USB\\VID_ABCD&PID_0125&MI_02", "USB Mass Storage Device Kestle CD-ROM USB\\VID_ABCD&PID_0125"}},
        {Mode::NetCard,
         {"Windows Mobile-based Internet Sharing Device usb_rndisx USB\\VID_ABCD&PID_0126&MI_00",
          "USB Mass Storage Device Kestle CD-ROM USB\\VID_ABCD&PID_0126"}},
        {Mode::Cdrom, {"USB Mass Storage Device Kestle CD-ROM USB\\VID_ABCD&PID_0127"}},
    };
    for (const auto& c : cases) {
        emu_->SetMode(c.mode);
        EXPECT_EQ(Listing(), c.entries) << ModeName(c.mode);
        // only the AT port may carry "at"; "com" only as "(COMn)"
        for (const auto& e : Listing()) {
            std::string lower = Lower(e);
            if (e.find("nmea") == std::string::npos && lower.find("diag") == std::string::npos) {
                EXPECT_EQ(lower.find("at"), std::string::npos) << e;
            }
            size_t com = lower.find("com");
            if (com != std::string::npos) {
                EXPECT_EQ(lower[com - 1], '(') << e;
            }
        }
    }
}

TEST_F(ModesTest, AtSwitchToNetworkCardVanishesAndComesBack) {
    emu_->SetRestartMs(600000);
    EXPECT_EQ(At("AT+ZCPE=o"), "AT+ZCPE=o\r\r\nexit cpe mode result(0:FAIL 1:SUCCESS):1\r\n\r\nOK\r\n");
    EXPECT_EQ(At("AT+ZRST"), "AT+ZRST\r\r\nOK\r\n");
    ASSERT_TRUE(emu_->WaitForAttached(false, 300000));
    EXPECT_TRUE(Listing().empty());
    EXPECT_EQ(At("AT"), "") << "the AT port is gone";
    emu_->Replug();
    ASSERT_TRUE(emu_->WaitForMode(Mode::NetCard, 300000));
    EXPECT_TRUE(ListingHas("usb_rndisx"));
    EXPECT_TRUE(ListingHas("Windows Mobile-based Internet Sharing Device"));
    bool ok = false;
    EXPECT_EQ(Http("/goform/goform_get_cmd_process", "cmd=imei", &ok), "{\"imei\":\"123456789012345\"}");
}

TEST_F(ModesTest, RestartWithoutLeavingCpeModeKeepsModemModeAndAsksForThePinAgain) {
    emu_->SetPinVerification(true);
    EXPECT_EQ(At("AT+ZRST"), "AT+ZRST\r\r\nOK\r\n");
    ASSERT_TRUE(emu_->WaitForRestarts(1, 300000));
    EXPECT_EQ(emu_->CurrentMode(), Mode::Modem);
    EXPECT_EQ(At("AT+CPIN?"), "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
}

TEST_F(ModesTest, VanishingClosesTheOpenPortAndComesBackAfterTheRestartTime) {
    ASSERT_EQ(At("AT"), "AT\r\r\nOK\r\n");
    emu_->SetRestartMs(60000);
    emu_->Restart();
    EXPECT_FALSE(emu_->Attached());
    EXPECT_EQ(At("AT"), "");
    {
        tooltest::ScopedTimeoutScale shortWait;  // a second of program time, far below the restart time
        EXPECT_FALSE(emu_->WaitForAttached(true, 1000));
    }
    emu_->Unplug();
    emu_->Replug();
    ASSERT_TRUE(emu_->Attached());
    EXPECT_EQ(At("AT"), "AT\r\r\nOK\r\n");
}

TEST_F(ModesTest, CdDriveCommandWithTheDevicesOwnIdsSwitchesToModemMode) {
    emu_->SetMode(Mode::Cdrom);
    struct {
        const char* vendor;
        const char* product;
    } const refused[] = {
        {"ABCD", "0125"},  // the id of another mode
        {"1234", "0127"},
        {"", ""},
    };
    for (const auto& c : refused) EXPECT_NE(KestleSendCmdByCDLogicDrive(c.vendor, c.product, "99000000000000000000"), 0) << c.vendor;
    EXPECT_NE(KestleSendCmdByCDLogicDrive("ABCD", "0127", "11000000000000000000"), 0);
    EXPECT_TRUE(ListingHas("PID_0127"));

    emu_->SetRestartMs(600000);
    EXPECT_EQ(KestleSendCmdByCDLogicDrive("abcd", "0127", "99000000000000000000"), 0);
    ASSERT_TRUE(emu_->WaitForAttached(false, 300000));
    EXPECT_TRUE(Listing().empty());
    emu_->Replug();
    ASSERT_TRUE(emu_->WaitForMode(Mode::Modem, 300000));
    EXPECT_TRUE(ListingHas("nmea"));
    auto commands = emu_->CdromCommands();
    ASSERT_FALSE(commands.empty());
    EXPECT_TRUE(commands.back().accepted);
    EXPECT_EQ(commands.back().command, "99000000000000000000");
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const CdromCommand& c) { return c.accepted; }), 1);
}

TEST_F(ModesTest, CdDriveCommandFromNetworkCardModeSwitchesToo) {
    emu_->SetMode(Mode::NetCard);
    EXPECT_EQ(KestleSendCmdByCDLogicDrive("ABCD", "0126", "99000000000000000000"), 0);
    ASSERT_TRUE(emu_->WaitForRestarts(1, 300000));
    EXPECT_EQ(emu_->CurrentMode(), Mode::Modem);
}

}  // namespace
}  // namespace modemsim_test
