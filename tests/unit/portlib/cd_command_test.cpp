// The CD-drive command as a mass-storage bulk-only command block, against a
// fake transport: the bytes of the wrapper and the outcomes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/portlib/portlib_internal.h"

namespace kp = kestle_portlib;

namespace {

const unsigned char kCommand[10] = {0x99, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Plays a device: results of each step and the status it answers.
class FakeTransport : public kp::BulkOnlyTransport {
public:
    FakeTransport(int open, int out, int in, bool badStatus)
        : openResult(open), outResult(out), inResult(in), badSignature(badStatus)
    {
    }

    int openResult = kp::kOk;
    int outResult = kp::kOk;
    int inResult = kp::kOk;
    unsigned char status = 0;
    bool badSignature = false;
    bool otherTag = false;
    bool leaves = false;  // the device drops off the bus after the command

    std::vector<unsigned char> sent;
    int commands = 0;
    unsigned vendor = 0, product = 0;
    bool closed = false;

    int Open(unsigned v, unsigned p) override
    {
        vendor = v;
        product = p;
        return openResult;
    }
    int BulkOut(const unsigned char* data, int length) override
    {
        sent.assign(data, data + length);
        ++commands;
        return outResult;
    }
    int BulkIn(unsigned char* data, int room, int* received) override
    {
        if (inResult != kp::kOk)
            return inResult;
        unsigned char csw[13] = {'U', 'S', 'B', static_cast<unsigned char>(badSignature ? 'X' : 'S'), 0, 0, 0, 0, 0, 0, 0, 0, status};
        std::memcpy(csw + 4, sent.data() + 4, 4);
        if (otherTag)
            csw[4] ^= 0xFF;
        std::memcpy(data, csw, sizeof csw);
        *received = room < 13 ? room : 13;
        return kp::kOk;
    }
    bool LeftBus(int) override { return leaves; }
    void Close() override { closed = true; }
};

TEST(BulkOnlyCommand, WrapperBytes)
{
    const std::vector<unsigned char> cbw = kp::BuildCbw(0x11223344, kCommand, 10);
    const std::vector<unsigned char> expected = {
        0x55, 0x53, 0x42, 0x43,  // "USBC"
        0x44, 0x33, 0x22, 0x11,  // tag, little-endian
        0, 0, 0, 0,              // no data
        0x00,                    // direction: out
        0x00,                    // LUN 0
        10,                      // command length
        0x99, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // command, padded to 16
    };
    EXPECT_EQ(expected, cbw);
}

TEST(BulkOnlyCommand, Outcomes)
{
    struct Case {
        const char* what;
        int open, out, in;
        unsigned char status;
        bool badSignature, otherTag;
        int result;
        bool leaves = false;
    };
    const Case cases[] = {
        {"passed", kp::kOk, kp::kOk, kp::kOk, 0, false, false, kp::kOk},
        {"failed by the device", kp::kOk, kp::kOk, kp::kOk, 1, false, false, kp::kRefused},
        {"phase error", kp::kOk, kp::kOk, kp::kOk, 2, false, false, kp::kRefused},
        {"device absent", kp::kNoPort, kp::kOk, kp::kOk, 0, false, false, kp::kNoPort},
        {"access denied", kp::kDenied, kp::kOk, kp::kOk, 0, false, false, kp::kDenied},
        {"storage driver busy", kp::kBusy, kp::kOk, kp::kOk, 0, false, false, kp::kBusy},
        // the device took the command and left the bus to come back switched
        {"gone after the command", kp::kOk, kp::kOk, kp::kGone, 0, false, false, kp::kOk, true},
        {"transfer error, then gone", kp::kOk, kp::kOk, kp::kPortFailed, 0, false, false, kp::kOk, true},
        // a failed status read is no switch while the device stays on the bus
        {"status lost, device stays", kp::kOk, kp::kOk, kp::kGone, 0, false, false, kp::kPortFailed},
        {"transfer error, device stays", kp::kOk, kp::kOk, kp::kPortFailed, 0, false, false, kp::kPortFailed},
        {"gone before the command", kp::kOk, kp::kGone, kp::kOk, 0, false, false, kp::kNoPort},
        {"no status in time", kp::kOk, kp::kOk, kp::kTimeout, 0, false, false, kp::kTimeout},
        {"not a status wrapper", kp::kOk, kp::kOk, kp::kOk, 0, true, false, kp::kPortFailed},
        {"status of another command", kp::kOk, kp::kOk, kp::kOk, 0, false, true, kp::kPortFailed},
    };
    for (const Case& c : cases) {
        FakeTransport fake(c.open, c.out, c.in, c.badSignature);
        fake.status = c.status;
        fake.otherTag = c.otherTag;
        fake.leaves = c.leaves;
        EXPECT_EQ(c.result, kp::SendBulkOnlyCommand(fake, 0x2020, 0x0127, kCommand, 10)) << c.what;
        EXPECT_EQ(0x2020u, fake.vendor) << c.what;
        EXPECT_EQ(0x0127u, fake.product) << c.what;
        if (c.open == kp::kOk) {
            ASSERT_EQ(31u, fake.sent.size()) << c.what;
            EXPECT_EQ(0x99, fake.sent[15]) << c.what;
            EXPECT_TRUE(fake.closed) << c.what;
        } else {
            EXPECT_TRUE(fake.sent.empty()) << c.what;
        }
    }
}

// SG_IO is the way only when the command never went out over USB: a status
// that could not be read must not bring a second command.
TEST(BulkOnlyCommand, ScsiOnlyWhenTheCommandNeverWentOut)
{
    struct Case {
        const char* what;
        int open, out, in;
        bool badSignature;
        int scsiCalls, result;
    };
    const Case cases[] = {
        {"bad status read", kp::kOk, kp::kOk, kp::kOk, true, 0, kp::kPortFailed},
        {"status lost", kp::kOk, kp::kOk, kp::kPortFailed, false, 0, kp::kPortFailed},
        {"no USB access", kp::kDenied, kp::kOk, kp::kOk, false, 1, kp::kOk},
        {"command not sent", kp::kOk, kp::kPortFailed, kp::kOk, false, 1, kp::kOk},
    };
    for (const Case& c : cases) {
        FakeTransport fake(c.open, c.out, c.in, c.badSignature);
        int scsiCalls = 0;
        EXPECT_EQ(c.result, kp::SendCdCommandOver(
                                fake, [&] { return ++scsiCalls, kp::kOk; }, 0x2020, 0x0127, kCommand, 10))
            << c.what;
        EXPECT_EQ(c.scsiCalls, scsiCalls) << c.what;
        EXPECT_LE(fake.commands, 1) << c.what;
    }
}

}  // namespace
