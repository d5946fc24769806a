// Every operation's line on the wire and its result and outputs for the
// replies a device gives: success, ERROR, +CME ERROR and none at all.
#include "at_ops_fixture.h"

#include "platform/win/clock.h"

#include "platform/win/debug_output.h"

#include <algorithm>

namespace {

enum class Reply { Ok, Error, CmeError, None };

const char* ReplyName(Reply r)
{
    switch (r) {
    case Reply::Ok: return "Ok";
    case Reply::Error: return "Error";
    case Reply::CmeError: return "CmeError";
    case Reply::None: return "None";
    }
    return "";
}

struct WireCase {
    OperationCase op;
    Reply reply;
};

std::vector<WireCase> AllWireCases()
{
    std::vector<WireCase> cases;
    for (const OperationCase& op : AllOperations())
        for (Reply r : {Reply::Ok, Reply::Error, Reply::CmeError, Reply::None})
            cases.push_back({op, r});
    return cases;
}

void PrintTo(const WireCase& c, std::ostream* os)
{
    *os << c.op.name << " " << ReplyName(c.reply);
}

class OperationReplyTest : public AtOpsTest, public ::testing::WithParamInterface<WireCase> {};

TEST_P(OperationReplyTest, LineAndFailureResult)
{
    const WireCase& c = GetParam();
    switch (c.reply) {
    case Reply::Ok:
        Answer(c.op.line, "\r\nOK\r\n");
        // a bare OK is not the scan's answer: the scan waits out both its reads,
        // and whichever read the OK falls in, the scan finds no list
        if (std::string(c.op.line) == "AT+COPS=?")
            SetTimeoutScale(TimeScale());
        break;
    case Reply::Error: Answer(c.op.line, "\r\nERROR\r\n"); break;
    case Reply::CmeError: Answer(c.op.line, "\r\n+CME ERROR: 10\r\n"); break;
    case Reply::None: Silence(c.op.line); break;
    }
    Outputs out;
    const int result = c.op.run(out);
    EXPECT_EQ(Lines(), std::vector<std::string>{c.op.line});
    if (c.reply == Reply::Ok)
        return; // a bare OK: the success tables below judge the outputs
    // A failed exchange: 1 where the OK is tested, else 0 (the Parts' contract).
    EXPECT_EQ(result, c.op.okTested ? 1 : 0);
    if (c.op.okTested) {
        EXPECT_TRUE(SameOutputs(out, Outputs())) << "outputs changed";
    }
}

INSTANTIATE_TEST_SUITE_P(AllOperations, OperationReplyTest, ::testing::ValuesIn(AllWireCases()),
                         [](const ::testing::TestParamInfo<WireCase>& info) {
                             return std::string(info.param.op.name) + "_" + ReplyName(info.param.reply);
                         });

// --- outputs of the routines that do not test the result code ------------

TEST_F(AtOpsTest, UntestedReadsHandBackWhatTheFailureLeft)
{
    struct Case {
        const char* name;
        const char* prefix;
        Reply reply;
        std::function<int(Outputs&)> run;
        std::function<void(const Outputs&)> check;
    };
    auto textIs = [](const char* expected) { return [=](const Outputs& o) { EXPECT_STREQ(o.text, expected); }; };
    const Case cases[] = {
        {"SimOnError", "AT+CPIN?", Reply::Error, [](Outputs& o) { return AT_CPIN(o.text); }, textIs("")},
        // a modem in numeric error mode: the code is read as its SIM state
        {"SimOnCme", "AT+CPIN?", Reply::CmeError, [](Outputs& o) { return AT_CPIN(o.text); },
         textIs("SIM not inserted")},
        {"SimOnSilence", "AT+CPIN?", Reply::None, [](Outputs& o) { return AT_CPIN(o.text); }, textIs("")},
#if defined(SETWELL_USER_AUTH)
        {"ImsiOnError", "AT+CIMI", Reply::Error, [](Outputs& o) { return AT_GET_IMSI(o.text); }, textIs("")},
        {"ImsiOnCme", "AT+CIMI", Reply::CmeError, [](Outputs& o) { return AT_GET_IMSI(o.text); }, textIs("10")},
        {"ImsiOnSilence", "AT+CIMI", Reply::None, [](Outputs& o) { return AT_GET_IMSI(o.text); }, textIs("")},
        {"CrsmOnError", "AT+CRSM", Reply::Error, [](Outputs& o) { return AT_GET_CRSM(o.text); }, textIs("")},
        {"CrsmOnCme", "AT+CRSM", Reply::CmeError, [](Outputs& o) { return AT_GET_CRSM(o.text); }, textIs("10")},
        {"AuthOnCme", "AT$QCPDPP?", Reply::CmeError,
         [](Outputs& o) { return AT_GetUserNameaAuth(o.user, &o.first); },
         [](const Outputs& o) {
             EXPECT_STREQ(o.user, "keep");
             EXPECT_EQ(o.first, -7);
         }},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        if (c.reply == Reply::Error)
            Answer(c.prefix, "\r\nERROR\r\n");
        else if (c.reply == Reply::CmeError)
            Answer(c.prefix, "\r\n+CME ERROR: 10\r\n");
        else
            Silence(c.prefix);
        Outputs out;
        EXPECT_EQ(c.run(out), 0);
        c.check(out);
    }
}

// --- success replies ---------------------------------------------------

struct SuccessCase {
    const char* name;
    const char* prefix;
    std::string reply; // the device text after the echo
    std::function<int(Outputs&)> run;
    int result;
    std::function<void(const Outputs&)> check;
};

std::string Ok(const std::string& line)
{
    return "\r\n" + line + "\r\n\r\nOK\r\n";
}

void Ints(const Outputs& o, int first, int second)
{
    EXPECT_EQ(o.first, first);
    EXPECT_EQ(o.second, second);
}

const std::vector<SuccessCase>& SuccessCases()
{
    auto state = [](Outputs& o) { return AT_GET_DEVICE_NETWORK_STATE(&o.first); };
    auto select = [](Outputs& o) { return AT_GET_DEVICE_NETWORK_STATE_SELECT(&o.first, &o.second); };
    auto flags = [](Outputs& o) { return AT_GET_DEVICE_FLAG_STATE(&o.flags); };
    auto roaming = [](Outputs& o) { return AT_GetRoaming(&o.first); };
    auto rndis = [](Outputs&) { return AT_ENTER_RNDIS_MODE(); };
    auto times = [](Outputs& o) { return AT_GET_PIN_PUK_TIMES(&o.first, &o.second); };
    auto pinState = [](Outputs& o) { return AT_GET_PIN_STATE(&o.first); };
#if defined(SETWELL_USER_AUTH)
    auto auth = [](Outputs& o) { return AT_GetUserNameaAuth(o.user, &o.first); };
#endif
    // the second context has an empty APN
    static const std::string kTwoContexts = "\r\n+CGDCONT: 1,\"IP\",\"internet\",\"0.0.0.0\",0,0\r\n"
                                            "\r\n+CGDCONT: 2,\"IPV6\",\"\",\"::\",0,0\r\n\r\nOK\r\n";
    static const std::vector<SuccessCase> cases = {
        {"State6", "AT+ZSNT?", Ok("+ZSNT: 6,1,0"), state, 0, [](const Outputs& o) { EXPECT_EQ(o.first, 2); }},
        {"State7", "AT+ZSNT?", Ok("+ZSNT: 7,0,2"), state, 0, [](const Outputs& o) { EXPECT_EQ(o.first, 3); }},
        {"State2", "AT+ZSNT?", Ok("+ZSNT: 2,0,0"), state, 0, [](const Outputs& o) { EXPECT_EQ(o.first, 1); }},
        {"State0Fails", "AT+ZSNT?", Ok("+ZSNT: 0,0,0"), state, 1, [](const Outputs& o) { EXPECT_EQ(o.first, -7); }},
        {"Select61", "AT+ZSNT?", Ok("+ZSNT: 6,1,0"), select, 0, [](const Outputs& o) { Ints(o, 2, 1); }},
        {"Select000", "AT+ZSNT?", Ok("+ZSNT: 0,0,0"), select, 0, [](const Outputs& o) { Ints(o, -7, 0); }},
        {"Select702", "AT+ZSNT?", Ok("+ZSNT: 7,0,2"), select, 0, [](const Outputs& o) { Ints(o, 2, 0); }},
        {"Select21", "AT+ZSNT?", Ok("+ZSNT: 2,1,0"), select, 0, [](const Outputs& o) { Ints(o, 1, 1); }},
        {"SelectOther", "AT+ZSNT?", Ok("+ZSNT: 9,5,0"), select, 0, [](const Outputs& o) { Ints(o, -7, -7); }},
        {"Flags1010", "AT+ZEFSGET?", Ok("+ZEFSGET: 1,0,1,0"), flags, 0,
         [](const Outputs& o) {
             EXPECT_EQ(o.flags.flag0, 1);
             EXPECT_EQ(o.flags.flag1, 0);
             EXPECT_EQ(o.flags.flag2, 1);
         }},
        {"Flags0100", "AT+ZEFSGET?", Ok("+ZEFSGET: 0,1,0,0"), flags, 0,
         [](const Outputs& o) {
             EXPECT_EQ(o.flags.flag0, 0);
             EXPECT_EQ(o.flags.flag1, 1);
             EXPECT_EQ(o.flags.flag2, 0);
         }},
        {"RoamingOn", "AT+ZDATAROAM?", Ok("+ZDATAROAM: 1"), roaming, 0, [](const Outputs& o) { EXPECT_EQ(o.first, 1); }},
        {"RoamingOff", "AT+ZDATAROAM?", Ok("+ZDATAROAM: 0"), roaming, 0, [](const Outputs& o) { EXPECT_EQ(o.first, 0); }},
        {"RoamingOther", "AT+ZDATAROAM?", Ok("+ZDATAROAM: 2"), roaming, 0, [](const Outputs& o) { EXPECT_EQ(o.first, 0); }},
        {"CpeLeft", "AT+ZCPE", Ok("exit cpe mode result(0:FAIL 1:SUCCESS):1"), rndis, 0, nullptr},
        {"CpeStays", "AT+ZCPE", Ok("exit cpe mode result(0:FAIL 1:SUCCESS):0"), rndis, 1, nullptr},
        {"CpeOtherText", "AT+ZCPE", Ok("cpe mode left"), rndis, 1, nullptr},
        {"CpeOkAlone", "AT+ZCPE", "\r\nOK\r\n", rndis, 1, nullptr},
        {"Sim", "AT+CPIN?", Ok("+CPIN: READY"), [](Outputs& o) { return AT_CPIN(o.text); }, 0,
         [](const Outputs& o) { EXPECT_STREQ(o.text, "READY"); }},
        {"SimCutTo255", "AT+CPIN?", Ok("+CPIN: " + std::string(300, 'S')), [](Outputs& o) { return AT_CPIN(o.text); }, 0,
         [](const Outputs& o) {
             EXPECT_EQ(std::string(o.text), std::string(255, 'S'));
         }},
        {"Times", "AT+ZPINPUK", Ok("+ZPINPUK: 2,10"), times, 0, [](const Outputs& o) { Ints(o, 2, 10); }},
        {"TimesMissing", "AT+ZPINPUK", Ok("+ZPINPUK: "), times, 1, [](const Outputs& o) { Ints(o, -7, -7); }},
        {"TimesHalf", "AT+ZPINPUK", Ok("+ZPINPUK: 3"), times, 0, [](const Outputs& o) { Ints(o, 3, -7); }},
        {"PinStateOff", "AT+CLCK", Ok("+CLCK: 0"), pinState, 0, [](const Outputs& o) { EXPECT_EQ(o.first, 0); }},
        {"PinStateOn", "AT+CLCK", Ok("+CLCK: 1"), pinState, 0, [](const Outputs& o) { EXPECT_EQ(o.first, 1); }},
        {"ApnLock", "AT+ZAPNLOCK?", Ok("+ZAPNLOCK: 1"), [](Outputs& o) { return AT_GET_APN_LOCK_STATE(&o.first); }, 0,
         [](const Outputs& o) { EXPECT_EQ(o.first, 1); }},
        {"ActLock", "AT+ZACTLOCK?", Ok("+ZACTLOCK: 0"), [](Outputs& o) { return AT_GET_ACT_LOCK_STATE(&o.first); }, 0,
         [](const Outputs& o) { EXPECT_EQ(o.first, 0); }},
        {"RoamLock", "AT+ZROAMLOCK?", Ok("+ZROAMLOCK: 1"), [](Outputs& o) { return AT_GET_ROAM_LOCK_STATE(&o.first); }, 0,
         [](const Outputs& o) { EXPECT_EQ(o.first, 1); }},
#if defined(SETWELL_USER_AUTH)
        {"Imsi", "AT+CIMI", Ok("440101234567890"), [](Outputs& o) { return AT_GET_IMSI(o.text); }, 0,
         [](const Outputs& o) { EXPECT_STREQ(o.text, "440101234567890"); }},
        {"Crsm", "AT+CRSM", Ok("+CRSM: 144,0,\"FF01\""), [](Outputs& o) { return AT_GET_CRSM(o.text); }, 0,
         [](const Outputs& o) { EXPECT_STREQ(o.text, "144,0,\"FF01\""); }},
        {"AuthContext9", "AT$QCPDPP?", "\r\n$QCPDPP: 1,0\r\n\r\n$QCPDPP: 9,1,\"alice\"\r\n\r\nOK\r\n", auth, 0,
         [](const Outputs& o) {
             EXPECT_STREQ(o.user, "alice");
             EXPECT_EQ(o.first, 1);
         }},
        {"AuthNoContext9", "AT$QCPDPP?", "\r\n$QCPDPP: 1,0\r\n\r\n$QCPDPP: 2,1,\"bob\"\r\n\r\nOK\r\n", auth, 0,
         [](const Outputs& o) {
             EXPECT_STREQ(o.user, "keep");
             EXPECT_EQ(o.first, -7);
         }},
#endif
        {"FirstContextLine", "AT+CGDCONT?", kTwoContexts,
         [](Outputs& o) { return AT_CGDCONT_READ_ONLY_MODIFY_APN(o.text); }, 0,
         [](const Outputs& o) { EXPECT_STREQ(o.text, "1,\"IP\",\"internet\",\"0.0.0.0\",0,0"); }},
        {"Contexts", "AT+CGDCONT?", kTwoContexts, [](Outputs& o) { return AT_CGDCONT_READ(&o.contexts); }, 0,
         [](const Outputs& o) {
             ASSERT_EQ(o.contexts.count, 2);
             EXPECT_EQ(o.contexts.entries[1].cid, 2);
             EXPECT_STREQ(o.contexts.entries[1].pdpType, "IPV6");
             EXPECT_STREQ(o.contexts.entries[1].apn, "");
         }},
        {"Operators", "AT+COPS=?",
         "\r\n+COPS: (2,\"Op A\",\"A\",\"00101\",7),(1,\"Op B\",\"B\",\"00102\",2),,(0,1,2,3,4),(0,1,2)\r\n\r\nOK\r\n",
         [](Outputs& o) { return AT_COPS_READ(&o.operators); }, 0,
         [](const Outputs& o) {
             ASSERT_EQ(o.operators.count, 2);
             EXPECT_EQ(o.operators.entries[0].status, 2);
             EXPECT_STREQ(o.operators.entries[0].longName, "Op A");
             EXPECT_STREQ(o.operators.entries[1].numeric, "00102");
             EXPECT_EQ(o.operators.entries[1].accessTechnology, 2);
         }},
    };
    return cases;
}

void PrintTo(const SuccessCase& c, std::ostream* os)
{
    *os << c.name;
}

class OperationSuccessTest : public AtOpsTest, public ::testing::WithParamInterface<SuccessCase> {};

TEST_P(OperationSuccessTest, ResultAndOutputs)
{
    const SuccessCase& c = GetParam();
    Answer(c.prefix, c.reply);
    Outputs out;
    EXPECT_EQ(c.run(out), c.result);
    if (c.check)
        c.check(out);
    EXPECT_EQ(Lines().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Replies, OperationSuccessTest, ::testing::ValuesIn(SuccessCases()),
                         [](const ::testing::TestParamInfo<SuccessCase>& info) { return std::string(info.param.name); });

} // namespace
