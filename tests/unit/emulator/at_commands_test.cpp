// The AT command set answered on the AT port, through the port library.
#include <gtest/gtest.h>

#include "tests/unit/emulator/emulator_fixture.h"
#include "tests/support/timeout_scale.h"

namespace modemsim_test {
namespace {

std::string Framed(const std::string& echo, const std::string& body) { return echo + "\r" + body; }

struct AtCase {
    const char* line;
    const char* reply;  // everything after the echo
};

class AtCommandTest : public EmulatorTest {};

TEST_F(AtCommandTest, EachCommandGetsTheReplyOfTheDevice) {
    emu_->SetNetworkSelect(6, 1, 0);
    emu_->SetDeviceFlags({1, 0, 1, 0});
    emu_->SetLocks(true, false, true);
    emu_->SetImsi("440101234567890");
    emu_->SetGid1("8A01FFFF");
    const AtCase cases[] = {
        {"AT", "\r\nOK\r\n"},
        {"AT+ZSNT?", "\r\n+ZSNT: 6,1,0\r\n\r\nOK\r\n"},
        {"AT+ZSNT=0,0,0", "\r\nOK\r\n"},
        {"AT+ZSNT?", "\r\n+ZSNT: 0,0,0\r\n\r\nOK\r\n"},
        {"AT+ZSNT=3,0", "\r\nERROR\r\n"},
        {"AT+ZEFSGET?", "\r\n+ZEFSGET: 1,0,1,0\r\n\r\nOK\r\n"},
        {"AT+ZEFSGET=0,0,1,0", "\r\nOK\r\n"},
        {"AT+ZEFSGET?", "\r\n+ZEFSGET: 0,0,1,0\r\n\r\nOK\r\n"},
        {"AT+ZDATAROAM=1", "\r\nOK\r\n"},
        {"AT+ZDATAROAM?", "\r\n+ZDATAROAM: 1\r\n\r\nOK\r\n"},
        {"AT+ZDATAROAM=2", "\r\nERROR\r\n"},
        {"AT+znlockband=LTE_B1", "\r\nOK\r\n"},
        {"AT+ZCPE=o", "\r\nexit cpe mode result(0:FAIL 1:SUCCESS):1\r\n\r\nOK\r\n"},
        {"AT+ZCPE=x", "\r\nERROR\r\n"},
        {"AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+ZPINPUK=?", "\r\n+ZPINPUK: 3,10\r\n\r\nOK\r\n"},
        {"AT+CLCK=\"sc\",2", "\r\n+CLCK: 0\r\n\r\nOK\r\n"},
        {"AT+ZAPNLOCK?", "\r\n+ZAPNLOCK: 1\r\n\r\nOK\r\n"},
        {"AT+ZACTLOCK?", "\r\n+ZACTLOCK: 0\r\n\r\nOK\r\n"},
        {"AT+ZROAMLOCK?", "\r\n+ZROAMLOCK: 1\r\n\r\nOK\r\n"},
        {"AT+CIMI", "\r\n440101234567890\r\n\r\nOK\r\n"},
        {"AT+CRSM=176,28478,0,0,0", "\r\n+CRSM: 144,0,\"8A01FFFF\"\r\n\r\nOK\r\n"},
        {"AT+CRSM=176,12258,0,0,0", "\r\n+CRSM: 106,130\r\n\r\nOK\r\n"},
        {"AT+CPWD=\"sc\",\"1234\",\"4321\"", "\r\nOK\r\n"},
        {"AT+CPWD=\"sc\",\"1234\",\"5555\"", "\r\n+CME ERROR: incorrect password\r\n"},
        {"AT+CPIN=\"4321\"", "\r\n+CME ERROR: operation not allowed\r\n"},
        {"AT+XYZZY", "\r\nERROR\r\n"},
        {"ATD*99#", "\r\nERROR\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(At(c.line), Framed(c.line, c.reply)) << c.line;
    EXPECT_EQ(emu_->NetworkSelect(), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(emu_->DeviceFlags(), (std::array<int, 4>{0, 0, 1, 0}));
    EXPECT_TRUE(emu_->Roaming());
    EXPECT_EQ(emu_->BandLock(), "LTE_B1");
    EXPECT_TRUE(emu_->CpeModeLeft());
    EXPECT_EQ(emu_->PinCode(), "4321");
    EXPECT_EQ(emu_->PinCounters(), (std::pair<int, int>{2, 10}));  // one wrong PIN in CPWD
    EXPECT_EQ(emu_->AtLines().front(), "AT");
}

TEST_F(AtCommandTest, ZcpeReportsAFailureWhenTheDeviceCannotLeaveCpeMode) {
    emu_->SetCpeExitResult(0);
    EXPECT_EQ(At("AT+ZCPE=o"), Framed("AT+ZCPE=o", "\r\nexit cpe mode result(0:FAIL 1:SUCCESS):0\r\n\r\nOK\r\n"));
    EXPECT_FALSE(emu_->CpeModeLeft());
}

TEST_F(AtCommandTest, PdpContextsAreReadSetAndDeleted) {
    std::string reply = At("AT+CGDCONT?");
    EXPECT_EQ(reply, Framed("AT+CGDCONT?",
                            "\r\n+CGDCONT: 1,\"IP\",\"internet\",\"0.0.0.0\",0,0\r\n"
                            "\r\n+CGDCONT: 2,\"IPV4V6\",\"ims\",\"0.0.0.0\",0,0\r\n"
                            "\r\n+CGDCONT: 3,\"IP\",\"sos\",\"0.0.0.0\",0,0\r\n\r\nOK\r\n"));
    struct {
        const char* line;
        const char* reply;
    } const cases[] = {
        {"AT+CGDCONT=16,\"IPV6\",\"v6.example\"", "\r\nOK\r\n"},
        {"AT+CGDCONT=5,\"IP\",\"\"", "\r\nOK\r\n"},
        {"AT+CGDCONT=2", "\r\nOK\r\n"},
        {"AT+CGDCONT=17,\"IP\",\"x\"", "\r\nERROR\r\n"},
        {"AT+CGDCONT=0", "\r\nERROR\r\n"},
        {"AT+CGDCONT=4,\"PPP\",\"x\"", "\r\nERROR\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(At(c.line), Framed(c.line, c.reply)) << c.line;
    EXPECT_EQ(At("AT+CGDCONT?"), Framed("AT+CGDCONT?",
                                           "\r\n+CGDCONT: 1,\"IP\",\"internet\",\"0.0.0.0\",0,0\r\n"
                                           "\r\n+CGDCONT: 3,\"IP\",\"sos\",\"0.0.0.0\",0,0\r\n"
                                           "\r\n+CGDCONT: 5,\"IP\",\"\",\"0.0.0.0\",0,0\r\n"
                                           "\r\n+CGDCONT: 16,\"IPV6\",\"v6.example\",\"0.0.0.0\",0,0\r\n\r\nOK\r\n"));
    ASSERT_EQ(emu_->PdpContexts().size(), 4u);
    EXPECT_EQ(emu_->PdpContexts().back().apn, "v6.example");
}

TEST_F(AtCommandTest, OperatorScanComesInTwoBurstsAndSelectionTakesAListedOperator) {
    const std::string list =
        "\r\n+COPS: (2,\"Kestle Mobile\",\"KMobile\",\"44010\",7),(1,\"North Wave\",\"NWave\",\"44020\",2),"
        "(0,\"Old Grid\",\"OGrid\",\"44030\",0),,(0,1,2,3,4),(0,1,2)\r\n";
    // both bursts within the exchange's time
    EXPECT_EQ(At("AT+COPS=?"), Framed("AT+COPS=?", list + "\r\nOK\r\n"));

    // the OK three real seconds after the list: the first exchange, a real second
    // long, ends without it, and the next read gets it
    emu_->SetScanTimes(100, static_cast<uint32_t>(3000 / TimeScale()));
    EXPECT_EQ(At("AT+COPS=?", 1), Framed("AT+COPS=?", list));
    EXPECT_EQ(AtMore(60), "\r\nOK\r\n");

    struct {
        const char* line;
        const char* reply;
    } const cases[] = {
        {"AT+COPS=1,2,\"44030\",0", "\r\n+CME ERROR: no network service\r\n"},  // unavailable
        {"AT+COPS=1,2,\"99999\",7", "\r\n+CME ERROR: no network service\r\n"},
        {"AT+COPS=1,2,\"44020\",7", "\r\n+CME ERROR: no network service\r\n"},  // wrong technology
        {"AT+COPS=1,2,\"44020\",2", "\r\nOK\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(At(c.line), Framed(c.line, c.reply)) << c.line;
    EXPECT_EQ(emu_->SelectedOperator(), (std::pair<std::string, int>{"44020", 2}));
}

TEST_F(AtCommandTest, UserAuthenticationOfContextNineIsStoredAndReadBack) {
    EXPECT_EQ(At("AT$QCPDPP=9,2,\"secret\",\"alice\""), Framed("AT$QCPDPP=9,2,\"secret\",\"alice\"", "\r\nOK\r\n"));
    AuthProfile p = emu_->GetAuthProfile();
    EXPECT_EQ(p.type, 2);
    EXPECT_EQ(p.user, "alice");
    EXPECT_EQ(p.password, "secret");
    EXPECT_EQ(At("AT$QCPDPP?"), Framed("AT$QCPDPP?",
                                      "\r\n$QCPDPP: 1,0\r\n\r\n$QCPDPP: 2,0\r\n\r\n$QCPDPP: 3,0\r\n"
                                      "\r\n$QCPDPP: 9,2,\"alice\"\r\n\r\nOK\r\n"));
    EXPECT_EQ(At("AT$QCPDPP=9,0"), Framed("AT$QCPDPP=9,0", "\r\nOK\r\n"));
    EXPECT_EQ(emu_->GetAuthProfile().type, 0);
    EXPECT_EQ(At("AT$QCPDPP=9,1,\"only-password\""), Framed("AT$QCPDPP=9,1,\"only-password\"", "\r\nERROR\r\n"));
}

TEST_F(AtCommandTest, EchoCanBeTurnedOffAndTheModemPortAnswersToo) {
    EXPECT_EQ(At("ATE0"), "ATE0\r\r\nOK\r\n");
    EXPECT_EQ(At("AT+CPIN?"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
    EXPECT_EQ(At("AT+CPIN?", 5, Port::Modem), "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n");
}

// SIM states other than ready refuse what needs the SIM, with verbose texts.
TEST_F(AtCommandTest, SimStatesAnswerWithTheirErrorTexts) {
    struct {
        SimState sim;
        const char* cpin;
        const char* error;
    } const cases[] = {
        {SimState::Pin, "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", "\r\n+CME ERROR: SIM PIN required\r\n"},
        {SimState::Puk, "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n", "\r\n+CME ERROR: SIM PUK required\r\n"},
        {SimState::None, "\r\n+CME ERROR: SIM not inserted\r\n", "\r\n+CME ERROR: SIM not inserted\r\n"},
        {SimState::Busy, "\r\n+CME ERROR: SIM busy\r\n", "\r\n+CME ERROR: SIM busy\r\n"},
        {SimState::Fail, "\r\n+CME ERROR: SIM failure\r\n", "\r\n+CME ERROR: SIM failure\r\n"},
    };
    for (const auto& c : cases) {
        emu_->SetSim(c.sim);
        EXPECT_EQ(At("AT+CPIN?"), Framed("AT+CPIN?", c.cpin)) << SimStateName(c.sim);
        EXPECT_EQ(At("AT+CIMI"), Framed("AT+CIMI", c.error)) << SimStateName(c.sim);
        EXPECT_EQ(At("AT+COPS=?"), Framed("AT+COPS=?", c.error)) << SimStateName(c.sim);
    }
}

// AT+CMEE selects how errors read: plain ERROR, the numeric code, or its text.
TEST_F(AtCommandTest, ErrorModeSelectsNumericOrVerboseErrors) {
    emu_->SetSim(SimState::None);
    const AtCase cases[] = {
        {"AT+CMEE?", "\r\n+CMEE: 2\r\n\r\nOK\r\n"},
        {"AT+CMEE=?", "\r\n+CMEE: (0-2)\r\n\r\nOK\r\n"},
        {"AT+CMEE=1", "\r\nOK\r\n"},
        {"AT+CPIN?", "\r\n+CME ERROR: 10\r\n"},
        {"AT+CMEE?", "\r\n+CMEE: 1\r\n\r\nOK\r\n"},
        {"AT+CMEE=0", "\r\nOK\r\n"},
        {"AT+CPIN?", "\r\nERROR\r\n"},
        {"AT+CMEE=3", "\r\nERROR\r\n"},
        {"AT+CMEE=2", "\r\nOK\r\n"},
        {"AT+CPIN?", "\r\n+CME ERROR: SIM not inserted\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(At(c.line), Framed(c.line, c.reply)) << c.line;
    emu_->SetSim(SimState::Busy);
    At("AT+CMEE=1");
    EXPECT_EQ(At("AT+CIMI"), Framed("AT+CIMI", "\r\n+CME ERROR: 14\r\n"));
}

TEST_F(AtCommandTest, PinAndPukLifeCycle) {
    emu_->SetSim(SimState::Pin);
    EXPECT_EQ(At("AT+CLCK=\"sc\",2"), Framed("AT+CLCK=\"sc\",2", "\r\n+CME ERROR: SIM PIN required\r\n"));
    const AtCase steps[] = {
        {"AT+CPIN=\"0000\"", "\r\n+CME ERROR: incorrect password\r\n"},
        {"AT+ZPINPUK=?", "\r\n+ZPINPUK: 2,10\r\n\r\nOK\r\n"},
        {"AT+CPIN=\"1234\"", "\r\nOK\r\n"},  // the right PIN resets the counter
        {"AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+CLCK=\"sc\",2", "\r\n+CLCK: 1\r\n\r\nOK\r\n"},
        {"AT+ZPINPUK=?", "\r\n+ZPINPUK: 3,10\r\n\r\nOK\r\n"},
    };
    for (const auto& s : steps) EXPECT_EQ(At(s.line), Framed(s.line, s.reply)) << s.line;

    // three wrong PINs block the SIM to PUK
    emu_->SetSim(SimState::Pin);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(At("AT+CPIN=\"9999\""), Framed("AT+CPIN=\"9999\"", "\r\n+CME ERROR: incorrect password\r\n"));
    const AtCase blocked[] = {
        {"AT+CPIN?", "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n"},
        {"AT+ZPINPUK=?", "\r\n+ZPINPUK: 0,10\r\n\r\nOK\r\n"},
        {"AT+CPIN=\"1234\"", "\r\n+CME ERROR: SIM PUK required\r\n"},
        {"AT+CPIN=\"11111111\",\"2468\"", "\r\n+CME ERROR: incorrect password\r\n"},
        {"AT+ZPINPUK=?", "\r\n+ZPINPUK: 0,9\r\n\r\nOK\r\n"},
        {"AT+CPIN=\"12345678\",\"2468\"", "\r\nOK\r\n"},
        {"AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+ZPINPUK=?", "\r\n+ZPINPUK: 3,10\r\n\r\nOK\r\n"},
    };
    for (const auto& s : blocked) EXPECT_EQ(At(s.line), Framed(s.line, s.reply)) << s.line;
    EXPECT_EQ(emu_->PinCode(), "2468");

    // ten wrong PUKs fail the SIM for good
    emu_->SetSim(SimState::Puk);
    for (int i = 0; i < 10; ++i) At("AT+CPIN=\"00000000\",\"1111\"");
    EXPECT_EQ(emu_->Sim(), SimState::Fail);
    EXPECT_EQ(At("AT+CPIN?"), Framed("AT+CPIN?", "\r\n+CME ERROR: SIM failure\r\n"));
    EXPECT_EQ(At("AT+ZPINPUK=?"), Framed("AT+ZPINPUK=?", "\r\n+ZPINPUK: 0,0\r\n\r\nOK\r\n"));
    EXPECT_EQ(At("AT+CPIN=\"12345678\",\"1111\""), Framed("AT+CPIN=\"12345678\",\"1111\"", "\r\n+CME ERROR: SIM failure\r\n"));
}

}  // namespace
}  // namespace modemsim_test
