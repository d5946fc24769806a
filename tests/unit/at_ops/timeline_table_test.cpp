// A modem's timeline, row by row: the modem takes one line at a time and
// answers it 30 ms later, echoes never, on arrival or when it takes the line
// up, and one operation's answer is late. The late operation may fail; it
// never gives a wrong value or passes a refused or unreceived set, and every
// read a page makes after it gives the device's true values.
//
// The rows run on a clock of their own: device timeouts at kClock of their
// length (a 5 s timeout is half a second), the emulator's times converted to
// the same clock, so that "9 s late" means 9 s of the program's 5 s timeouts.
#include "at_ops_fixture.h"

#include "platform/win/clock.h"
#include "tests/support/timeout_scale.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

using modemsim::AtTimeline;
using modemsim::EchoMode;
using modemsim::Fault;
using modemsim::FaultKind;

// The operator scan's rows wait through its 15 s and 60 s reads: a faster clock.
constexpr double kClock = 0.1;
constexpr double kScanClock = 0.05;
constexpr uint32_t kLineMs = 30;

enum class Late { Read, Set, Scan, StrayOkBeforeEcho, SameSetRefused, BusyDropsSet };

struct Row {
    std::string name;
    EchoMode echo;
    Late late;
    uint32_t lateMs;  // program ms
};

class TimelineTable : public AtOpsTest, public ::testing::WithParamInterface<Row> {
protected:
    void SetUp() override
    {
        AtOpsTest::SetUp();
        PrepareReadCases();
        clock_ = GetParam().late == Late::Scan ? kScanClock : kClock;
        SetTimeoutScale(std::max(clock_, TimeScale()));
        Emulator().SetAtTimeline(AtTimeline{EmulatorMs(kLineMs), GetParam().echo});
    }
    void TearDown() override
    {
        Emulator().SetAtTimeline(AtTimeline{});
        Emulator().ClearFaults();
        Emulator().SetScanTimes(1000, 500);
        SetTimeoutScale(0);
    }
    // program ms of the row's clock in the emulator's program ms
    uint32_t EmulatorMs(uint32_t ms) const { return static_cast<uint32_t>(ms * TimeoutScale() / TimeScale()); }
    void Inject(const char* prefix, FaultKind kind, uint32_t ms = 0)
    {
        Fault fault;
        fault.kind = kind;
        fault.delayMs = EmulatorMs(ms);
        Emulator().InjectAtFault(prefix, fault);
    }

    double clock_ = kClock;
};

void ExpectDeviceOperators(const OperatorList& list)
{
    const auto device = Emulator().Operators();
    ASSERT_EQ(list.count, static_cast<int>(device.size()));
    for (size_t i = 0; i < device.size(); ++i) {
        EXPECT_STREQ(list.entries[i].numeric, device[i].numeric.c_str());
        EXPECT_STREQ(list.entries[i].longName, device[i].longName.c_str());
    }
}

TEST_P(TimelineTable, LateAnswerHarmsNoOtherOperation)
{
    const Row& row = GetParam();
    Outputs out;
    switch (row.late) {
        case Late::Read: {
            const ReadCase& r = ReadCaseNamed("ApnLock");
            Inject(r.prefix, FaultKind::Late, row.lateMs);
            if (r.run(out) == 0)
                r.check(out);
            break;
        }
        case Late::Set:
            Emulator().SetRoaming(false);
            Inject("AT+ZDATAROAM=", FaultKind::Late, row.lateMs);
            // done or not: the device's roaming is on once the late answer came
            if (AT_SetRoaming(1) == 0) {
                EXPECT_TRUE(Emulator().Roaming());
            }
            break;
        case Late::Scan:
            // the list comes lateMs after the first read's 15 s: the second read's
            Emulator().SetScanTimes(EmulatorMs(15000 + row.lateMs), EmulatorMs(kLineMs));
            EXPECT_EQ(AT_COPS_READ(&out.operators), 0);
            ExpectDeviceOperators(out.operators);
            break;
        case Late::StrayOkBeforeEcho: {
            const ReadCase& r = ReadCaseNamed("PinPukTimes");
            Inject(r.prefix, FaultKind::BeforeEcho);
            if (r.run(out) == 0)
                r.check(out);
            // with an echo, the stray code is no answer of the read
            if (row.echo != EchoMode::Off) {
                EXPECT_EQ(r.run(out), 0);
            }
            break;
        }
        case Late::SameSetRefused:
            Emulator().SetRoaming(false);
            Inject("AT+ZDATAROAM=", FaultKind::Late, row.lateMs);
            Answer("AT+ZDATAROAM=", "\r\nERROR\r\n");
            (void)AT_SetRoaming(1);
            EXPECT_EQ(AT_SetRoaming(1), 1) << "the repeated set was refused";
            break;
        case Late::BusyDropsSet:
            Inject("AT+ZSNT?", FaultKind::LateDropping, row.lateMs);
            (void)AT_GET_DEVICE_NETWORK_STATE(&out.first);
            EXPECT_EQ(AT_SetRoaming(0), 1) << "the device never heard the set";
            EXPECT_TRUE(Emulator().Roaming());
            break;
    }
    ExpectTrueReads();
}

std::vector<Row> Rows()
{
    struct Mode {
        const char* name;
        EchoMode echo;
    };
    const Mode modes[] = {{"EchoOff", EchoMode::Off}, {"EchoOnArrival", EchoMode::OnArrival},
                          {"EchoOnTakeUp", EchoMode::OnTakeUp}};
    struct Op {
        const char* name;
        Late late;
    };
    const Op ops[] = {{"Read", Late::Read}, {"Set", Late::Set}, {"Scan", Late::Scan}};
    std::vector<Row> rows;
    for (const Mode& m : modes) {
        for (const Op& op : ops) {
            for (uint32_t ms : {1000u, 3000u, 4500u, 9000u}) {
                rows.push_back({std::string(m.name) + "_" + op.name + "Late" + std::to_string(ms) + "ms", m.echo,
                                op.late, ms});
            }
        }
        const Op extras[] = {{"StrayOkBeforeEcho", Late::StrayOkBeforeEcho},
                             {"SameSetRepeatedAndRefused", Late::SameSetRefused},
                             {"BusyModemDropsASet", Late::BusyDropsSet}};
        for (const Op& op : extras) {
            rows.push_back({std::string(m.name) + "_" + op.name, m.echo, op.late, 9000});
        }
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Rows, TimelineTable, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

} // namespace
