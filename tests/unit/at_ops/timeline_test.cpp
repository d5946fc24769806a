// A real modem's timeline: answers that come after their exchange ended, OK
// without the line a read needs, two-line unsolicited results. Each read
// gives the device's true values or fails, and the operations after it are
// unharmed.
#include "at_ops_fixture.h"

#include "platform/win/clock.h"
#include "tests/support/timeout_scale.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

using modemsim::Fault;
using modemsim::FaultKind;

class TimelineTest : public AtOpsTest {
protected:
    void SetUp() override
    {
        AtOpsTest::SetUp();
        PrepareReadCases();
    }
    void Inject(const char* prefix, FaultKind kind, uint32_t delayMs = 0)
    {
        Fault fault;
        fault.kind = kind;
        fault.delayMs = delayMs;
        Emulator().InjectAtFault(prefix, fault);
    }
};

// An operation whose answer comes late; its timeouts add up to seconds.
struct LateCase {
    const char* name;
    const char* prefix;
    int seconds;
    std::function<int(Outputs&)> run;
};

const LateCase kLate[] = {
    {"set", "AT+ZDATAROAM=", 5, [](Outputs&) { return AT_SetRoaming(1); }},
    {"read", "AT+ZAPNLOCK?", 5, [](Outputs& o) { return AT_GET_APN_LOCK_STATE(&o.first); }},
    {"context list", "AT+CGDCONT?", 15, [](Outputs& o) { return AT_CGDCONT_READ(&o.contexts); }},
    {"operator scan", "AT+COPS=?", 75, [](Outputs& o) { return AT_COPS_READ(&o.operators); }},
};

// Runs c with its timeouts cut to half a second of real time in all and its
// answer coming a second and a half of real time later.
int RunLate(const LateCase& c, Outputs& out)
{
    const double scale = std::max(TimeScale(), 0.5 / c.seconds);
    Fault fault;
    fault.kind = FaultKind::Late;
    fault.delayMs = static_cast<uint32_t>((c.seconds * 1000.0 * scale + 1500.0) / TimeScale());
    Emulator().InjectAtFault(c.prefix, fault);
    tooltest::ScopedTimeoutScale guard(scale);
    return c.run(out);
}

TEST_F(TimelineTest, LateAnswerIsNoLaterCommandsAnswer)
{
    for (const LateCase& c : kLate) {
        SCOPED_TRACE(std::string("late ") + c.name);
        Outputs out;
        EXPECT_EQ(RunLate(c, out), 1);
        ExpectTrueReads();
    }
}

TEST_F(TimelineTest, RefusalBehindALateReadAnswerFails)
{
    Outputs out;
    EXPECT_EQ(RunLate({"read", "AT+ZSNT?", 5, [](Outputs& o) { return AT_GET_DEVICE_NETWORK_STATE(&o.first); }}, out),
              1);
    Answer("AT+ZDATAROAM=", "\r\nERROR\r\n");
    EXPECT_EQ(AT_SetRoaming(0), 1);
    ExpectTrueReads();
}

TEST_F(TimelineTest, ReadAnsweredByOkAloneFails)
{
    std::vector<const char*> names = {"NetworkSelect", "ApnLock", "Roaming", "PinPukTimes", "Sim"};
#if defined(SETWELL_USER_AUTH)
    names.push_back("Imsi"); // the IMSI read is Setwell's alone
#endif
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const ReadCase& r = ReadCaseNamed(name);
        Inject(r.prefix, FaultKind::OkOnly);
        Outputs out;
        const Outputs untouched;
        EXPECT_EQ(r.run(out), 1);
        EXPECT_TRUE(SameOutputs(out, untouched));
        ExpectTrueReads();
    }
}

TEST_F(TimelineTest, TwoLineUnsolicitedResultInsideAnAnswerIsSkippedWhole)
{
    for (const char* name : {"Sim"}) {
        SCOPED_TRACE(name);
        const ReadCase& r = ReadCaseNamed(name);
        Inject(r.prefix, FaultKind::TwoLineUnsolicited);
        Outputs out;
        EXPECT_EQ(r.run(out), 0);
        r.check(out);
        ExpectTrueReads();
    }
}

} // namespace

namespace {

TEST_F(TimelineTest, PortIsSynchronisedAfterATimeoutOnly)
{
    Outputs out;
    EXPECT_EQ(AT_GET_APN_LOCK_STATE(&out.first), 0);
    Silence("AT+ZDATAROAM?");
    EXPECT_EQ(AT_GetRoaming(&out.first), 1);
    SetTimeoutScale(0);
    for (int i = 0; i < 3; ++i) {
        Outputs next;
        EXPECT_EQ(AT_GET_APN_LOCK_STATE(&next.first), 0);
        EXPECT_EQ(next.first, 1);
    }
    const std::vector<std::string> expected = {"AT+ZAPNLOCK?", "AT+ZDATAROAM?", "ATS3?", "AT+ZAPNLOCK?", "AT+ZAPNLOCK?",
                                               "AT+ZAPNLOCK?"};
    EXPECT_EQ(Lines(), expected);
}

} // namespace

namespace {

// "ATE<on>" as a tool would send it.
void SetEcho(int on) { SendToolCommand(AT_CMD_E, AT_TYPE_EXECUTE, on); }

// With echo off nothing tells a late answer from a current one, but the
// answers themselves still read: the first one without an echo is taken once
// the port stays quiet, and the modem is then known not to echo.
TEST_F(TimelineTest, ModemWithEchoOffStillAnswers)
{
    SetEcho(0);
    {
        tooltest::ScopedTimeoutScale guard;
        ExpectTrueReads();
    }
    SetEcho(1);
    ExpectTrueReads();
}

} // namespace

namespace {

// Replies as real modems send them: "+NAME:value" with no blank after the
// colon, and lines ended by "\r" alone (S4 empty). Each reads as the usual form.
TEST_F(TimelineTest, RealModemReplyFormsReadAsTheUsualForm)
{
    const struct {
        const char* name;
        const char* prefix;
        const char* reply;
        std::function<int(Outputs&)> run;
        std::function<void(const Outputs&)> check;
    } cases[] = {
        {"no blank after the colon", "AT+CPIN?", "\r\n+CPIN:READY\r\n\r\nOK\r\n",
         [](Outputs& o) { return AT_CPIN(o.text); }, [](const Outputs& o) { EXPECT_STREQ(o.text, "READY"); }},
        {"profile with no blank after the colon", "AT+CGDCONT?",
         "\r\n+CGDCONT:1,\"IP\",\"hologram\",\"0.0.0.0\",0,0\r\n\r\nOK\r\n",
         [](Outputs& o) { return AT_CGDCONT_READ(&o.contexts); },
         [](const Outputs& o) {
             ASSERT_EQ(o.contexts.count, 1);
             EXPECT_EQ(o.contexts.entries[0].cid, 1);
             EXPECT_STREQ(o.contexts.entries[0].pdpType, "IP");
             EXPECT_STREQ(o.contexts.entries[0].apn, "hologram");
         }},
        {"CR line ends", "AT+CPIN?", "\r+CPIN: READY\r\rOK\r", [](Outputs& o) { return AT_CPIN(o.text); },
         [](const Outputs& o) { EXPECT_STREQ(o.text, "READY"); }},
        {"CR line ends, a number", "AT+ZAPNLOCK?", "\r+ZAPNLOCK: 1\r\rOK\r",
         [](Outputs& o) { return AT_GET_APN_LOCK_STATE(&o.first); }, [](const Outputs& o) { EXPECT_EQ(o.first, 1); }},
        {"CR line ends, two profiles", "AT+CGDCONT?",
         "\r+CGDCONT: 1,\"IP\",\"internet\",\"0.0.0.0\",0,0\r+CGDCONT: 2,\"IPV6\",\"ims\",\"::\",0,0\r\rOK\r",
         [](Outputs& o) { return AT_CGDCONT_READ(&o.contexts); },
         [](const Outputs& o) {
             ASSERT_EQ(o.contexts.count, 2);
             EXPECT_STREQ(o.contexts.entries[1].apn, "ims");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Answer(c.prefix, c.reply);
        Outputs out;
        EXPECT_EQ(c.run(out), 0);
        c.check(out);
        ExpectTrueReads();
    }
}

} // namespace
