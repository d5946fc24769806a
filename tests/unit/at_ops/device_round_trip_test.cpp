// The operations against the emulator's own replies and state.
#include "at_ops_fixture.h"

#include "platform/win/clock.h"
#include "tests/support/timeout_scale.h"

#include <thread>

namespace {

using modemsim::Mode;
using modemsim::Port;
using modemsim::SimState;

TEST_F(AtOpsTest, ContextsDefinedReadAndDeleted)
{
    for (const auto& c : Emulator().PdpContexts())
        Emulator().DeletePdpContext(c.cid);
    Emulator().SetPdpContext({1, "IP", "internet", "0.0.0.0", 0, 0});

    PdpContextEntry entry{};
    entry.cid = 2;
    snprintf(entry.pdpType, sizeof(entry.pdpType), "IPV6");
    snprintf(entry.apn, sizeof(entry.apn), "ims");
    EXPECT_EQ(AT_CGDCONT_SET(&entry), 0);

    PdpContextList list{};
    ASSERT_EQ(AT_CGDCONT_READ(&list), 0);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.entries[0].cid, 1);
    EXPECT_STREQ(list.entries[0].apn, "internet");
    EXPECT_EQ(list.entries[1].cid, 2);
    EXPECT_STREQ(list.entries[1].pdpType, "IPV6");
    EXPECT_STREQ(list.entries[1].apn, "ims");

    char first[1024] = {};
    ASSERT_EQ(AT_CGDCONT_READ_ONLY_MODIFY_APN(first), 0);
    EXPECT_STREQ(first, "1,\"IP\",\"internet\",\"0.0.0.0\",0,0");
    EXPECT_EQ(AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN("1,\"IP\",\"other.apn\""), 0);
    ASSERT_EQ(Emulator().PdpContexts().size(), 2u);
    EXPECT_EQ(Emulator().PdpContexts()[0].apn, "other.apn");

    EXPECT_EQ(AT_CGDCONT_DELETE(2), 0);
    EXPECT_EQ(Emulator().PdpContexts().size(), 1u);
    // A context the device refuses (cid out of range) is reported, as is its deletion.
    entry.cid = 40;
    EXPECT_EQ(AT_CGDCONT_SET(&entry), 1);
    EXPECT_EQ(AT_CGDCONT_DELETE(40), 1);
}

TEST_F(AtOpsTest, NetworkModeAndSelection)
{
    EXPECT_EQ(AT_SET_DEVICE_NETWORK_STATE_SELECT(6, 1), 0);
    EXPECT_EQ(Emulator().NetworkSelect(), (std::array<int, 3>{6, 1, 0}));
    int state = 0, mode = 0, select = 0;
    EXPECT_EQ(AT_GET_DEVICE_NETWORK_STATE(&state), 0);
    EXPECT_EQ(state, 2);
    EXPECT_EQ(AT_GET_DEVICE_NETWORK_STATE_SELECT(&mode, &select), 0);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(select, 1);
    EXPECT_EQ(AT_SET_DEVICE_NETWORK_STATE_SELECT(0, 0), 0);
    EXPECT_EQ(Emulator().NetworkSelect(), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(AT_GET_DEVICE_NETWORK_STATE(&state), 1);
    EXPECT_EQ(state, 2);
}

TEST_F(AtOpsTest, OperatorScanAndManualSelection)
{
    Emulator().SetSim(SimState::Ready);
    Emulator().SetOperators({{2, "Op A", "A", "00101", 7}, {1, "Op B", "B", "00102", 2}, {0, "Op C", "C", "00103", 0}});
    OperatorList list{};
    ASSERT_EQ(AT_COPS_READ(&list), 0);
    ASSERT_EQ(list.count, 3);
    EXPECT_STREQ(list.entries[1].longName, "Op B");
    EXPECT_STREQ(list.entries[1].shortName, "B");
    EXPECT_EQ(list.entries[2].status, 0);

    OperatorList choice{};
    choice.entries[0] = list.entries[1];
    EXPECT_EQ(AT_COPS_SET(choice), 0);
    EXPECT_EQ(Emulator().SelectedOperator(), (std::pair<std::string, int>{"00102", 2}));
    EXPECT_EQ(Lines().back(), "AT+COPS=1,2,\"00102\",2");
    // The unavailable operator is refused.
    choice.entries[0] = list.entries[2];
    EXPECT_EQ(AT_COPS_SET(choice), 1);
}

// The list (or the OK of a selection) arrives only after the first read gave up:
// at a tenth of their length that read lasts 1.5 real seconds and the follow-up
// read 6, so a second of margin stands on either side however busy the machine.
void SendLater(const std::string& text, uint32_t realMs)
{
    Sleep(static_cast<uint32_t>(realMs / TimeScale()));
    Emulator().SendUnsolicited(Port::At, text);
}

TEST_F(AtOpsTest, OperatorScanReadsSecondBurst)
{
    tooltest::ScopedTimeoutScale shortTimeouts(0.1);  // the first read must give up
    Answer("AT+COPS=?", "\r\n");
    std::thread later(SendLater, "\r\n+COPS: (1,\"Late\",\"L\",\"00109\",7),,(0,1,2,3,4),(0,1,2)\r\n\r\nOK\r\n", 2500u);
    OperatorList list{};
    EXPECT_EQ(AT_COPS_READ(&list), 0);
    later.join();
    ASSERT_EQ(list.count, 1);
    EXPECT_STREQ(list.entries[0].numeric, "00109");
}

TEST_F(AtOpsTest, ManualSelectionReadsSecondBurst)
{
    tooltest::ScopedTimeoutScale shortTimeouts(0.1);  // the first read must give up
    Answer("AT+COPS=1", "\r\n");
    std::thread later(SendLater, "\r\nOK\r\n", 2500u);
    OperatorList choice{};
    snprintf(choice.entries[0].numeric, sizeof(choice.entries[0].numeric), "00101");
    EXPECT_EQ(AT_COPS_SET(choice), 0);
    later.join();
}

// A refusal is the selection's whole answer: an OK that comes later is not its result.
TEST_F(AtOpsTest, RefusedSelectionEndsAtItsError)
{
    for (const char* refusal : {"\r\n+CME ERROR: no network service\r\n", "\r\n+CME ERROR: 30\r\n", "\r\nERROR\r\n"}) {
        SCOPED_TRACE(refusal);
        Answer("AT+COPS=1", refusal);
        std::thread later(SendLater, "\r\nOK\r\n", 300u);
        OperatorList choice{};
        snprintf(choice.entries[0].numeric, sizeof(choice.entries[0].numeric), "00199");
        EXPECT_EQ(AT_COPS_SET(choice), 1);
        later.join();
    }
    // the late OK does not answer the next command either
    Emulator().SetNetworkSelect(6, 0, 0);
    int state = 0;
    EXPECT_EQ(AT_GET_DEVICE_NETWORK_STATE(&state), 0);
    EXPECT_EQ(state, 2);
}

TEST_F(AtOpsTest, SecondBurstThatNeverComesFails)
{
    tooltest::ScopedTimeoutScale shortTimeouts;  // the first read must give up
    Answer("AT+COPS=?", "\r\n");
    OperatorList list{};
    list.count = 5;
    EXPECT_EQ(AT_COPS_READ(&list), 1);
    EXPECT_EQ(list.count, 5);
    Answer("AT+COPS=1", "\r\n+COPS: 0\r\n");
    EXPECT_EQ(AT_COPS_SET(list), 1);
}

TEST_F(AtOpsTest, ScanErrorAnswersAtOnce)
{
    Emulator().SetSim(SimState::None);
    OperatorList list{};
    EXPECT_EQ(AT_COPS_READ(&list), 1);
    Emulator().SetSim(SimState::Ready);
}

TEST_F(AtOpsTest, SimPinPukAndPinChange)
{
    Emulator().SetPinCodes("1234", "12345678");
    Emulator().SetPinCounters(3, 10);
    Emulator().SetSim(SimState::Pin);
    char sim[256] = {};
    EXPECT_EQ(AT_CPIN(sim), 0);
    EXPECT_STREQ(sim, "SIM PIN");

    EXPECT_EQ(AT_CHECK_PIN("0000"), 1); // "+CME ERROR: incorrect password"
    int pin = -1, puk = -1;
    EXPECT_EQ(AT_GET_PIN_PUK_TIMES(&pin, &puk), 0);
    EXPECT_EQ(pin, 2);
    EXPECT_EQ(puk, 10);
    EXPECT_EQ(AT_CHECK_PIN("1234"), 0);
    memset(sim, 0, sizeof(sim));
    EXPECT_EQ(AT_CPIN(sim), 0);
    EXPECT_STREQ(sim, "READY");

    EXPECT_EQ(AT_SET_PIN("9999", "4321"), 1);
    EXPECT_EQ(AT_SET_PIN("1234", "4321"), 0);
    EXPECT_EQ(Emulator().PinCode(), "4321");

    Emulator().SetSim(SimState::Puk);
    EXPECT_EQ(AT_SET_PIN_PUK("00000000", "1111"), 1);
    EXPECT_EQ(AT_SET_PIN_PUK("12345678", "1111"), 0);
    EXPECT_EQ(Emulator().Sim(), SimState::Ready);
    EXPECT_EQ(Emulator().PinCode(), "1111");

    Emulator().SetPinVerification(true);
    int on = -1;
    EXPECT_EQ(AT_GET_PIN_STATE(&on), 0);
    EXPECT_EQ(on, 1);
    Emulator().SetPinVerification(false);
    EXPECT_EQ(AT_GET_PIN_STATE(&on), 0);
    EXPECT_EQ(on, 0);
}

TEST_F(AtOpsTest, PolicyLocksFlagsRoamingAndBand)
{
    Emulator().SetLocks(true, false, true);
    int apn = -1, act = -1, roam = -1;
    EXPECT_EQ(AT_GET_APN_LOCK_STATE(&apn), 0);
    EXPECT_EQ(AT_GET_ACT_LOCK_STATE(&act), 0);
    EXPECT_EQ(AT_GET_ROAM_LOCK_STATE(&roam), 0);
    EXPECT_EQ(apn, 1);
    EXPECT_EQ(act, 0);
    EXPECT_EQ(roam, 1);

    Emulator().SetDeviceFlags({0, 1, 1, 0});
    DeviceFlagRecord flags{};
    EXPECT_EQ(AT_GET_DEVICE_FLAG_STATE(&flags), 0);
    EXPECT_EQ(flags.flag0, 0);
    EXPECT_EQ(flags.flag1, 1);
    EXPECT_EQ(flags.flag2, 1);
    const DeviceFlagRecord written{1, 1, 0};
    EXPECT_EQ(AT_SET_DEVICE_FLAG_STATE(&written), 0);
    EXPECT_EQ(Emulator().DeviceFlags(), (std::array<int, 4>{1, 0, 0, 0}));

    EXPECT_EQ(AT_SetRoaming(1), 0);
    EXPECT_TRUE(Emulator().Roaming());
    int roaming = -1;
    EXPECT_EQ(AT_GetRoaming(&roaming), 0);
    EXPECT_EQ(roaming, 1);
    EXPECT_EQ(AT_SetRoaming(0), 0);
    EXPECT_EQ(AT_GetRoaming(&roaming), 0);
    EXPECT_EQ(roaming, 0);
    EXPECT_EQ(AT_SetRoaming(7), 1); // refused with ERROR

    EXPECT_EQ(AT_SET_BAND("1,0,10000000000,4C00000"), 0);
    EXPECT_EQ(Emulator().BandLock(), "1,0,10000000000,4C00000");
}

#if defined(SETWELL_USER_AUTH)
TEST_F(AtOpsTest, IdentityAndUserAuthentication)
{
    Emulator().SetSim(SimState::Ready);
    Emulator().SetImsi("440101111111111");
    Emulator().SetGid1("8A01");
    char text[256] = {};
    EXPECT_EQ(AT_GET_IMSI(text), 0);
    EXPECT_STREQ(text, "440101111111111");
    memset(text, 0, sizeof(text));
    EXPECT_EQ(AT_GET_CRSM(text), 0);
    EXPECT_STREQ(text, "144,0,\"8A01\"");

    EXPECT_EQ(AT_SetUserNameaPasswordAuth("alice", "secret", 2), 0);
    const modemsim::AuthProfile profile = Emulator().GetAuthProfile();
    EXPECT_EQ(profile.type, 2);
    EXPECT_EQ(profile.user, "alice");
    EXPECT_EQ(profile.password, "secret");
    char user[67] = {};
    int type = -1;
    EXPECT_EQ(AT_GetUserNameaAuth(user, &type), 0);
    EXPECT_STREQ(user, "alice");
    EXPECT_EQ(type, 2);

    EXPECT_EQ(AT_SetUserNameaPasswordAuth("", "", 0), 0);
    EXPECT_EQ(Emulator().GetAuthProfile().type, 0);
    memset(user, 0, sizeof(user));
    EXPECT_EQ(AT_GetUserNameaAuth(user, &type), 0);
    EXPECT_EQ(type, 0);
    EXPECT_STREQ(user, "");
}
#endif

TEST_F(AtOpsTest, LeaveCpeModeThenRestartIntoNetworkCard)
{
    ASSERT_EQ(AT_ENTER_RNDIS_MODE(), 0);
    EXPECT_TRUE(Emulator().CpeModeLeft());
    const int restarts = Emulator().RestartCount();
    EXPECT_EQ(AT_MarlRestart(), 0);
    EXPECT_TRUE(Emulator().WaitForMode(Mode::NetCard, 20000));
    Emulator().SetMode(Mode::Modem);
    EXPECT_TRUE(Emulator().WaitForMode(Mode::Modem, 20000));
    EXPECT_EQ(Emulator().RestartCount(), restarts + 1);
}

} // namespace
