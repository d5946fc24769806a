// Real modem traffic around an answer: unsolicited lines before and inside it,
// and answers cut short. Each read gives the device's true values, and a cut
// answer never spills into the next operation.
#include "at_ops_fixture.h"

#include "tests/support/timeout_scale.h"

#include <memory>

namespace {

using modemsim::Fault;
using modemsim::FaultKind;

struct TrafficCase {
    const char* name;
    FaultKind kind;
    const char* text; // empty: the emulator's default
};

const TrafficCase kTraffic[] = {
    {"RegistrationBefore", FaultKind::UnsolicitedBefore, ""},
    {"RingBefore", FaultKind::UnsolicitedBefore, "\r\nRING\r\n"},
    {"RingInside", FaultKind::UnsolicitedInside, ""},
    {"RegistrationInside", FaultKind::UnsolicitedInside, "\r\n+CREG: 1,\"00C3\",\"0010\"\r\n"},
    {"SignalInside", FaultKind::UnsolicitedInside, "\r\n^RSSI:20\r\n"},
    // odd bytes of real modems: NUL before the answer and before its final code, "\n" line ends
    {"NulBytes", FaultKind::NulBytes, ""},
    {"LfLineEnds", FaultKind::LfLineEnds, ""},
};

class UnsolicitedTest : public AtOpsTest {
protected:
    void SetUp() override
    {
        AtOpsTest::SetUp();
        PrepareReadCases();
    }
    void Inject(const char* prefix, FaultKind kind, const char* text)
    {
        Fault fault;
        fault.kind = kind;
        fault.text = text;
        Emulator().InjectAtFault(prefix, fault);
    }
};

TEST_F(UnsolicitedTest, ReadsGiveTrueValuesWithUnsolicitedLines)
{
    for (const TrafficCase& t : kTraffic) {
        for (const ReadCase& r : ReadCases()) {
            SCOPED_TRACE(std::string(t.name) + " " + r.name);
            Inject(r.prefix, t.kind, t.text);
            Outputs out;
            EXPECT_EQ(r.run(out), 0);
            r.check(out);
            // and the next operation reads its own answer
            Outputs next;
            EXPECT_EQ(AT_GET_DEVICE_NETWORK_STATE(&next.first), 0);
            EXPECT_EQ(next.first, 3);
        }
    }
}

TEST_F(UnsolicitedTest, CutAnswerFailsAloneAndTheNextReadsAreTrue)
{
    for (const ReadCase& cut : ReadCases()) {
        SCOPED_TRACE(std::string("cut ") + cut.name);
        Inject(cut.prefix, FaultKind::Partial, "");
        Outputs out;
        int result;
        {
            tooltest::ScopedTimeoutScale guard;  // the cut answer ends at the timeout
            result = cut.run(out);
        }
        // an answer without its final result code gives nothing
        if (result == 0) {
            EXPECT_STREQ(out.text, "");
        }
        for (const ReadCase& next : ReadCases()) {
            SCOPED_TRACE(next.name);
            Outputs again;
            EXPECT_EQ(next.run(again), 0);
            next.check(again);
        }
    }
}

// The device's error mode as a tool would leave it: "AT+CMEE=<mode>".
void SelectErrorMode(int mode) { SendToolCommand(AT_CMD_CMEE, AT_TYPE_SET, mode); }

TEST_F(UnsolicitedTest, SimStatesReadInNumericAndVerboseErrorMode)
{
    const struct {
        modemsim::SimState sim;
        const char* text;
    } cases[] = {
        {modemsim::SimState::None, "SIM not inserted"},
        {modemsim::SimState::Busy, "SIM busy"},
        {modemsim::SimState::Fail, "SIM failure"},
    };
    for (int mode : {1, 2}) {
        SelectErrorMode(mode);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.text) + " in mode " + std::to_string(mode));
            Emulator().SetSim(c.sim);
            Outputs out;
            EXPECT_EQ(AT_CPIN(out.text), 0);
            EXPECT_STREQ(out.text, c.text);
        }
    }
    SelectErrorMode(2);
    Emulator().SetSim(modemsim::SimState::Ready);
}

} // namespace
