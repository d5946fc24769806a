// Run-time control of the emulator: each command's effect, refused commands
// leaving the device as it was, and the socket in the device folder.
#include <gtest/gtest.h>

#include <functional>

#include "emulator/control_channel.h"
#include "tests/unit/emulator/emulator_fixture.h"

namespace modemsim_test {
namespace {

using Words = std::vector<std::string>;

class ControlTest : public EmulatorTest {
protected:
    bool Run(const Words& words, std::string* reply = nullptr) {
        std::string text;
        bool done = RunControlCommand(*emu_, words, &text);
        if (reply) *reply = text;
        return done;
    }
};

TEST_F(ControlTest, EachCommandActsOnTheDevice) {
    struct Case {
        Words words;
        std::function<bool(ModemEmulator&)> holds;
    };
    const Case cases[] = {
        {{"unplug"}, [](ModemEmulator& e) { return !e.Attached(); }},
        {{"replug"}, [](ModemEmulator& e) { return e.Attached(); }},
        {{"mode", "netcard"}, [](ModemEmulator& e) { return e.CurrentMode() == Mode::NetCard && e.Attached(); }},
        {{"sim", "puk"}, [](ModemEmulator& e) { return e.Sim() == SimState::Puk; }},
        // a long boot: the switch leaves the device away until replug ends it
        {{"slow-boot", "600000"}, [](ModemEmulator& e) { return e.Attached(); }},
        {{"switch", "modem"}, [](ModemEmulator& e) { return !e.Attached(); }},
        {{"replug"}, [](ModemEmulator& e) { return e.Attached() && e.CurrentMode() == Mode::Modem; }},
        {{"restart"}, [](ModemEmulator& e) { return !e.Attached(); }},
        {{"replug"}, [](ModemEmulator& e) { return e.Attached() && e.RestartCount() >= 2; }},
    };
    for (const auto& c : cases) {
        std::string reply;
        EXPECT_TRUE(Run(c.words, &reply)) << c.words[0] << ": " << reply;
        EXPECT_TRUE(c.holds(*emu_)) << c.words[0];
    }
}

TEST_F(ControlTest, TimelineSetsThePaceAndTheEchoFromTheShell) {
    ASSERT_TRUE(Run({"timeline", "line-ms=30", "echo=off"}));
    EXPECT_EQ(emu_->GetAtTimeline().lineMs, 30u);
    EXPECT_EQ(At("AT+CPIN?"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
    ASSERT_TRUE(Run({"timeline", "echo=arrival"}));
    EXPECT_EQ(emu_->GetAtTimeline().lineMs, 30u);  // what is not named stays
    EXPECT_EQ(At("AT"), "AT\r\r\nOK\r\n");
    for (const Words& bad : {Words{"timeline", "echo=sideways"}, Words{"timeline", "line-ms=soon"}, Words{"timeline", "30"}}) {
        std::string reply;
        EXPECT_FALSE(Run(bad, &reply)) << bad[1];
        EXPECT_NE(reply.find("bad timeline option"), std::string::npos) << reply;
    }
    EXPECT_EQ(emu_->GetAtTimeline().echo, EchoMode::OnArrival);
    ASSERT_TRUE(Run({"timeline", "line-ms=0", "echo=takeup"}));
    // a stray final code before the echo: the port library reads on to the answer behind it
    ASSERT_TRUE(Run({"fault", "at", "AT+CPIN?", "before-echo"}));
    EXPECT_EQ(At("AT+CPIN?"), "\r\nOK\r\nAT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n");
}

TEST_F(ControlTest, FaultsReachTheNextAnswers) {
    // the text's escapes become CR and LF
    ASSERT_TRUE(Run({"fault", "at", "AT+CPIN?", "unsolicited-before", "text=\\r\\n+ZSIGNAL: 3\\r\\n", "times=2"}));
    EXPECT_NE(At("AT+CPIN?").find("\r\n+ZSIGNAL: 3\r\n"), std::string::npos);
    EXPECT_NE(At("at+cpin?").find("\r\n+ZSIGNAL: 3\r\n"), std::string::npos);
    EXPECT_EQ(At("AT+CPIN?"), "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n");
    ASSERT_TRUE(Run({"fault", "at", "*", "unsolicited-inside", "text=#ring#"}));
    EXPECT_NE(At("AT").find("#ring#"), std::string::npos);
    ASSERT_TRUE(Run({"fault", "at", "AT+CIMI", "cut"}));
    ASSERT_TRUE(Run({"clear-faults"}));
    EXPECT_EQ(At("AT"), "AT\r\r\nOK\r\n");

    std::string reply;
    ASSERT_TRUE(Run({"count", "at+cpin?"}, &reply));
    EXPECT_EQ(reply, "3\n");
    ASSERT_TRUE(Run({"received"}, &reply));
    EXPECT_NE(reply.find("AT at+cpin?\n"), std::string::npos);
    ASSERT_TRUE(Run({"clear-received"}));
    ASSERT_TRUE(Run({"count", "AT"}, &reply));
    EXPECT_EQ(reply, "0\n");
}

TEST_F(ControlTest, RefusedCommandsSayWhyAndChangeNothing) {
    const Words refused[] = {
        {},
        {"frobnicate"},
        {"mode"},
        {"mode", "phone"},
        {"sim", "maybe"},
        {"slow-boot", "-1"},
        {"slow-boot", "soon"},
        {"fault", "at", "AT+CPIN?"},
        {"fault", "at", "AT+CPIN?", "frobnicate"},
        {"fault", "at", "AT+CPIN?", "late"},
        {"fault", "at", "AT+CPIN?", "late", "ms=soon"},
        {"fault", "at", "AT+CPIN?", "cut", "times=0"},
        {"fault", "at", "AT+CPIN?", "cut", "loud"},
        {"fault", "http", "/goform/goform_get_cmd_process", "status"},
        {"fault", "http", "/goform/goform_get_cmd_process", "status", "status=42"},
        {"fault", "diag", "300", "cut"},
        {"fault", "usb", "AT", "cut"},
    };
    for (const auto& words : refused) {
        std::string reply;
        EXPECT_FALSE(Run(words, &reply)) << (words.empty() ? "" : words[0]);
        EXPECT_FALSE(reply.empty());
    }
    EXPECT_EQ(emu_->CurrentMode(), Mode::Modem);
    EXPECT_EQ(emu_->Sim(), SimState::Ready);
    EXPECT_EQ(At("AT+CPIN?"), "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n");
}

TEST_F(ControlTest, TheSocketInTheFolderCarriesCommandsAndAnswers) {
    ControlChannel channel(*emu_);
    std::string error;
    ASSERT_TRUE(channel.Start(&error)) << error;
    std::string reply;
    EXPECT_EQ(SendControlCommand(emu_->DeviceDir(), {"unplug"}, &reply), 0) << reply;
    EXPECT_FALSE(emu_->Attached());
    EXPECT_EQ(SendControlCommand(emu_->DeviceDir(), {"status"}, &reply), 0);
    EXPECT_NE(reply.find("attached no\n"), std::string::npos) << reply;
    EXPECT_EQ(SendControlCommand(emu_->DeviceDir(), {"mode", "phone"}, &reply), 1);
    EXPECT_NE(reply.find("phone"), std::string::npos);
    EXPECT_EQ(SendControlCommand(emu_->DeviceDir(), {"replug"}, &reply), 0);
    EXPECT_TRUE(emu_->Attached());
    channel.Stop();
    EXPECT_EQ(SendControlCommand(emu_->DeviceDir(), {"status"}, &reply), 2);
    EXPECT_NE(reply.find("no emulator"), std::string::npos);
}

TEST(ControlHelpText, NamesEveryFaultKindOfTheEmulator) {
    std::string help = ControlHelp();
    for (const char* kind : {"no-answer", "late", "cut", "garbage", "unsolicited-before", "unsolicited-inside", "wrong-crc",
                             "vanish", "status", "slow", "ok-only", "nul", "lf", "two-line-unsolicited", "leading-flag",
                             "event-first", "late-drop", "before-echo"})
        EXPECT_NE(help.find(std::string("  ") + kind + " "), std::string::npos) << kind;
}

}  // namespace
}  // namespace modemsim_test
