// Faults injected per command or per port, seen through the port library.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/emulator/emulator_fixture.h"
#include "tests/support/timeout_scale.h"

namespace modemsim_test {
namespace {

Fault Make(FaultKind kind, std::string text = "", uint32_t delayMs = 0) {
    Fault f;
    f.kind = kind;
    f.text = std::move(text);
    f.delayMs = delayMs;
    return f;
}

class AtFaultTest : public EmulatorTest {};

TEST_F(AtFaultTest, EachFaultShapesTheAnswer) {
    const std::string cpin = "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n";
    struct {
        FaultKind kind;
        std::string text;
        std::string reply;
    } const cases[] = {
        {FaultKind::NoAnswer, "", ""},
        {FaultKind::Partial, "", "AT+CPIN?\r\r\n+CPIN: RE"},
        {FaultKind::Garbage, "\x01\x02zz", "AT+CPIN?\r\x01\x02zz"},
        {FaultKind::UnsolicitedBefore, "", "AT+CPIN?\r\r\n+CREG: 1\r\n\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {FaultKind::UnsolicitedInside, "", "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nRING\r\n\r\nOK\r\n"},
        {FaultKind::Slow, "", cpin},
        {FaultKind::Late, "", cpin},
        {FaultKind::OkOnly, "", "AT+CPIN?\r\r\nOK\r\n"},
        {FaultKind::NulBytes, "", std::string("AT+CPIN?\r\0\r\n+CPIN: READY\r\n\0\r\nOK\r\n", 33)},
        {FaultKind::LfLineEnds, "", "AT+CPIN?\r\n+CPIN: READY\n\nOK\n"},
        {FaultKind::TwoLineUnsolicited, "",
         "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\n+CMT: \"+15551234567\",,\"26/12/11,05:00:00+00\"\r\nHello there\r\n\r\nOK\r\n"},
        {FaultKind::TwoLineUnsolicited, "\r\n+CDS: 6,1\r\n0791\r\n", "AT+CPIN?\r\r\n+CPIN: READY\r\n\r\n+CDS: 6,1\r\n0791\r\n\r\nOK\r\n"},
    };
    for (const auto& c : cases) {
        emu_->InjectAtFault("at+cpin", Make(c.kind, c.text, 100));
        EXPECT_EQ(At("AT+ZDATAROAM?"), "AT+ZDATAROAM?\r\r\n+ZDATAROAM: 0\r\n\r\nOK\r\n") << "other commands are not hit";
        {
            // where no whole answer comes, the timeout is what the exchange waits for; a
            // tenth of it still leaves a loaded machine time to deliver the part that comes
            const bool cut = c.kind == FaultKind::NoAnswer || c.kind == FaultKind::Partial || c.kind == FaultKind::Garbage;
            tooltest::ScopedTimeoutScale t(cut ? 0.1 : TimeoutScale());
            EXPECT_EQ(At("AT+CPIN?", 10), c.reply) << int(c.kind);
        }
        KestleClosePort(PORT_KIND_AT, Com(Port::At).c_str());  // drop what a cut answer left behind
        EXPECT_EQ(At("AT+CPIN?"), cpin) << "a fault applies once by default";
    }
}

TEST_F(AtFaultTest, SlowAnswerMissesAShortTimeout) {
    // the answer comes three real seconds late: well after a full-length
    // timeout of one second, which still leaves the echo time to arrive
    emu_->InjectAtFault("", Make(FaultKind::Slow, "", static_cast<uint32_t>(3000 / TimeScale())));
    EXPECT_EQ(At("AT", 1), "AT\r") << "only the echo within the timeout";
    EXPECT_EQ(AtMore(60), "\r\nOK\r\n");
}

TEST_F(AtFaultTest, PortWideFaultHitsEveryCommandUntilCleared) {
    Fault f = Make(FaultKind::UnsolicitedBefore, "\r\nRING\r\n");
    f.times = -1;
    emu_->InjectAtFault("", f);
    for (const char* line : {"AT", "AT+CIMI"}) EXPECT_NE(At(line).find("\r\nRING\r\n"), std::string::npos) << line;
    emu_->ClearFaults();
    EXPECT_EQ(At("AT"), "AT\r\r\nOK\r\n");
}

TEST_F(AtFaultTest, UnsolicitedLinesBetweenExchanges) {
    ASSERT_EQ(At("AT"), "AT\r\r\nOK\r\n");
    emu_->SendUnsolicited(Port::At, "\r\n+CREG: 1\r\n");
    tooltest::ScopedTimeoutScale oneSecond(1.0 / 30);  // no final code follows the line: a real second's read
    EXPECT_EQ(AtMore(30), "\r\n+CREG: 1\r\n");
}

TEST_F(AtFaultTest, DeviceVanishesInTheMiddleOfAnExchange) {
    emu_->InjectAtFault("AT+CGDCONT?", Make(FaultKind::Vanish));
    std::string reply = At("AT+CGDCONT?", 10);
    EXPECT_EQ(reply.find("OK"), std::string::npos);
    ASSERT_TRUE(emu_->WaitForRestarts(1, 300000));
    EXPECT_EQ(emu_->CurrentMode(), Mode::Modem);
    KestleClosePort(PORT_KIND_AT, Com(Port::At).c_str());
    EXPECT_EQ(At("AT"), "AT\r\r\nOK\r\n");
}

class DiagFaultTest : public EmulatorTest {};

TEST_F(DiagFaultTest, EachFaultShapesTheAnswer) {
    struct {
        FaultKind kind;
        bool answered;  // a framed answer with a good CRC arrives
        bool anyBytes;
    } const cases[] = {
        {FaultKind::NoAnswer, false, false}, {FaultKind::Partial, false, true}, {FaultKind::Garbage, false, true},
        {FaultKind::WrongCrc, false, true},  {FaultKind::Slow, true, true},
    };
    for (const auto& c : cases) {
        emu_->InjectDiagFault(0x3A, Make(c.kind, "", 100));
        std::vector<uint8_t> answer;
        EXPECT_TRUE(Diag({0x29, 0x01, 0x00}, &answer)) << "other codes are not hit";
        std::string raw;
        {
            tooltest::ScopedTimeoutScale t(c.answered ? TimeoutScale() : 0.1);
            raw = DiagRaw(FrameDiagPacket({0x3A}), 10);
        }
        EXPECT_EQ(!raw.empty(), c.anyBytes) << int(c.kind);
        bool good = false;
        if (!raw.empty() && static_cast<uint8_t>(raw.back()) == 0x7E) {
            raw.pop_back();
            good = UnframeDiagPacket(std::vector<uint8_t>(raw.begin(), raw.end()), &answer) && answer == std::vector<uint8_t>{0x3A};
        }
        EXPECT_EQ(good, c.answered) << int(c.kind);
        KestleClosePort(PORT_KIND_DIAG, Com(Port::Diag).c_str());
        EXPECT_TRUE(Diag({0x3A}, &answer)) << int(c.kind);
    }
}

TEST_F(DiagFaultTest, EventFrameBeforeTheAnswer) {
    emu_->InjectDiagFault(-1, Make(FaultKind::UnsolicitedBefore));
    std::string raw = DiagRaw(FrameDiagPacket({0x3A}));
    if (std::count(raw.begin(), raw.end(), '\x7E') < 2) raw += DiagRaw({}, 30);
    size_t end = raw.find('\x7E');
    ASSERT_NE(end, std::string::npos);
    std::vector<uint8_t> event, answer;
    ASSERT_TRUE(UnframeDiagPacket(std::vector<uint8_t>(raw.begin(), raw.begin() + end), &event));
    EXPECT_EQ(event, (std::vector<uint8_t>{0x60, 0x00, 0x01}));
    ASSERT_EQ(raw.back(), '\x7E');
    ASSERT_TRUE(UnframeDiagPacket(std::vector<uint8_t>(raw.begin() + end + 1, raw.end() - 1), &answer));
    EXPECT_EQ(answer, (std::vector<uint8_t>{0x3A}));
}

TEST_F(DiagFaultTest, AnswerLedByAFlag) {
    emu_->InjectDiagFault(0x3A, Make(FaultKind::LeadingFlag));
    std::string raw = DiagRaw(FrameDiagPacket({0x3A}));
    ASSERT_GE(raw.size(), 3u);
    EXPECT_EQ(raw.front(), '\x7E');
    ASSERT_EQ(raw.back(), '\x7E');
    std::vector<uint8_t> answer;
    ASSERT_TRUE(UnframeDiagPacket(std::vector<uint8_t>(raw.begin() + 1, raw.end() - 1), &answer));
    EXPECT_EQ(answer, (std::vector<uint8_t>{0x3A}));
}

TEST_F(DiagFaultTest, EventFrameAndTheAnswerInOneWrite) {
    emu_->InjectDiagFault(0x3A, Make(FaultKind::EventFirst, std::string("\x60\x00\x02", 3)));
    // the port hands the first frame over and keeps the answer behind it for the next read
    std::string first = DiagRaw(FrameDiagPacket({0x3A}));
    std::string second = DiagRaw({}, 0);
    std::vector<uint8_t> event, answer;
    ASSERT_FALSE(first.empty());
    ASSERT_TRUE(UnframeDiagPacket(std::vector<uint8_t>(first.begin(), first.end() - 1), &event));
    EXPECT_EQ(event, (std::vector<uint8_t>{0x60, 0x00, 0x02}));
    ASSERT_FALSE(second.empty());
    ASSERT_TRUE(UnframeDiagPacket(std::vector<uint8_t>(second.begin(), second.end() - 1), &answer));
    EXPECT_EQ(answer, (std::vector<uint8_t>{0x3A}));
}

TEST_F(DiagFaultTest, DeviceVanishesInsteadOfAnswering) {
    emu_->InjectDiagFault(0x39, Make(FaultKind::Vanish));
    std::vector<uint8_t> answer;
    EXPECT_FALSE(Diag({0x39}, &answer, 5));
    ASSERT_TRUE(emu_->WaitForRestarts(1, 300000));
    EXPECT_TRUE(Diag({0x39}, &answer));
}

class HttpFaultTest : public NetCardTest {};

TEST_F(HttpFaultTest, StatusAndShapesOfFailure) {
    const char* path = "/goform/goform_get_cmd_process";
    emu_->InjectHttpFault("imei", 503);
    bool ok = true;
    Http(path, "cmd=imei", &ok);
    EXPECT_FALSE(ok) << "HTTP 503";
    EXPECT_EQ(Http(path, "cmd=imei", &ok), "{\"imei\":\"123456789012345\"}");
    EXPECT_TRUE(ok);

    emu_->InjectHttpFault(path, 404);  // by path
    Http(path, "cmd=wimax2_enable", &ok);
    EXPECT_FALSE(ok);

    for (FaultKind kind : {FaultKind::NoAnswer, FaultKind::Garbage, FaultKind::Partial}) {
        emu_->InjectHttpFault("SET_PRODUCT_MODE", Make(kind));
        tooltest::ScopedTimeoutScale shortTimeouts;  // no whole answer: the timeout ends the request
        ok = true;
        Http("/goform/goform_set_cmd_process", "goformId=SET_PRODUCT_MODE&debug_enable=1", &ok);
        EXPECT_FALSE(ok) << int(kind);
    }
    emu_->InjectHttpFault("privacy_setting", Make(FaultKind::Slow, "", 1000));
    EXPECT_EQ(Http(path, "cmd=privacy_setting", &ok), "{\"privacy_setting\":\"off\"}");
    EXPECT_TRUE(ok);
}

TEST_F(HttpFaultTest, DeviceVanishesDuringARequest) {
    emu_->InjectHttpFault("REBOOT_DEVICE", Make(FaultKind::Vanish));
    bool ok = true;
    Http("/goform/goform_set_cmd_process", "goformId=REBOOT_DEVICE", &ok);
    EXPECT_FALSE(ok);
    ASSERT_TRUE(emu_->WaitForRestarts(1, 300000));
    EXPECT_EQ(emu_->CurrentMode(), Mode::NetCard);
    EXPECT_EQ(Http("/goform/goform_get_cmd_process", "cmd=imei", &ok), "{\"imei\":\"123456789012345\"}");
}

}  // namespace
}  // namespace modemsim_test
