#include "device/crc16.h"
#include "device/diag_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The codec works on the state it is given; these tests keep one.
DiagTransferState& CodecState()
{
    static DiagTransferState state;
    return state;
}

using Bytes = std::vector<uint8_t>;

std::wstring ErrorText() { return DiagErrorText; }

void ResetState(uint8_t protocol)
{
    DiagTransferState& t = CodecState();
    std::memset(&t, 0, sizeof t);
    t.protocol = protocol;
}

Bytes Frame(const Bytes& packet, bool leading)
{
    uint8_t out[DIAG_SEND_BUFFER_SIZE];
    size_t n = 0;
    EXPECT_TRUE(FrameDiagPacket(packet.data(), packet.size(), leading, out, sizeof out, &n));
    return Bytes(out, out + n);
}

// Puts an answer into the receive buffer as the port library would and checks it.
bool Check(uint8_t protocol, const Bytes& received, bool keepReply = false)
{
    DiagTransferState& t = CodecState();
    DiagReplyRecord saved = t.reply;
    ResetState(protocol);
    if (keepReply)
        t.reply = saved;
    if (!received.empty())
        std::memcpy(t.receiveBuffer, received.data(), received.size());
    t.receiveLength = static_cast<uint32_t>(received.size());
    return CheckDiagFrame(CodecState());
}

Bytes Sent()
{
    const DiagTransferState& t = CodecState();
    return Bytes(t.sendBuffer, t.sendBuffer + t.sendLength);
}

// Builds with a typed request whose first bytes are given.
uint32_t BuildTyped(uint8_t protocol, const Bytes& head, uint32_t typedLength = DIAG_TYPED_REQUEST_SIZE)
{
    ResetState(protocol);
    DiagTransferState& t = CodecState();
    std::memcpy(&t.typedRequest, head.data(), head.size());
    t.typedLength = typedLength;
    return BuildDiagFrame(CodecState());
}

} // namespace

TEST(Crc16X25, MatchesTheStandardCheckValueAndTable)
{
    const char* check = "123456789";
    EXPECT_EQ(Crc16X25(reinterpret_cast<const uint8_t*>(check), 9), 0x906E);
    EXPECT_EQ(Crc16X25Table[0], 0x0000);
    EXPECT_EQ(Crc16X25Table[1], 0x1189);
    EXPECT_EQ(Crc16X25Table[128], 0x8408);
    EXPECT_EQ(Crc16X25Table[255], 0x0F78);
}

TEST(DiagFraming, EscapesFlagsAndCrcBytesAndAddsFlags)
{
    struct Case {
        const char* name;
        Bytes packet;
        bool leading;
        Bytes frame;
    } cases[] = {
        {"version request", {0x39}, false, {0x39, 0x3A, 0x5C, 0x7E}},
        {"leading flag of download protocols", {0x39}, true, {0x7E, 0x39, 0x3A, 0x5C, 0x7E}},
        {"flag and escape in the packet", {0x7E, 0x01, 0x7D}, false,
         [] {
             Bytes p = {0x7E, 0x01, 0x7D};
             uint16_t c = Crc16X25(p.data(), p.size());
             return Bytes{0x7D, 0x5E, 0x01, 0x7D, 0x5D, uint8_t(c), uint8_t(c >> 8), 0x7E};
         }()},
        {"CRC high byte 0x7D", {0x19}, false, {0x19, 0x38, 0x7D, 0x5D, 0x7E}},
        {"CRC low byte 0x7E", {0x60}, false, {0x60, 0x7D, 0x5E, 0x93, 0x7E}},
        {"restore factory header", {0x4B, 0xCD, 0x18, 0x00}, false, {0x4B, 0xCD, 0x18, 0x00, 0xC8, 0x84, 0x7E}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Frame(c.packet, c.leading), c.frame) << c.name;
}

TEST(DiagFraming, FrameOfVersionRequestReachesTheResidue)
{
    Bytes frame = Frame({0x39}, false);
    EXPECT_EQ(Crc16X25Update(CRC16_X25_INITIAL, frame.data(), frame.size() - 1), CRC16_X25_RESIDUE);
    EXPECT_TRUE(Check(DIAG_PROTOCOL_RAW, frame));
    const DiagTransferState& t = CodecState();
    EXPECT_EQ(t.receiveLength, 3u); // packet and CRC, flag removed
    EXPECT_EQ(t.receiveBuffer[0], 0x39);
}

TEST(DiagFraming, FrameThatWouldNotFitIsNotBuilt)
{
    ResetState(DIAG_PROTOCOL_RAW);
    DiagTransferState& t = CodecState();
    std::memset(t.sendBuffer, 0x7E, 1100); // doubles when escaped
    t.sendLength = 1100;
    EXPECT_EQ(BuildDiagFrame(CodecState()), 0u);
    EXPECT_EQ(t.sendLength, 0u);

    ResetState(DIAG_PROTOCOL_RAW);
    t.sendOverflow = true;
    EXPECT_EQ(BuildDiagFrame(CodecState()), 0u);

    ResetState(DIAG_PROTOCOL_RAW);
    std::memset(t.sendBuffer, 0x11, 2045);
    t.sendLength = 2045; // 2045 + CRC 2 + flag 1 = 2048
    EXPECT_EQ(BuildDiagFrame(CodecState()), 2048u);
}

TEST(DiagCheck, AcceptsAndRejectsAnswers)
{
    Bytes good = Frame({0x39}, false);
    Bytes badCrc = good;
    badCrc[1] ^= 0x01;
    Bytes noFlag(good.begin(), good.end() - 1);
    Bytes doubleFlag = good;
    doubleFlag.push_back(0x7E);
    Bytes tripleFlag = doubleFlag;
    tripleFlag.push_back(0x7E);
    Bytes boot = Frame({0x02}, true);
    Bytes bootWithoutLeading(boot.begin() + 1, boot.end());
    Bytes streaming = Frame({0x04}, true);
    Bytes streamingWithoutLeading(streaming.begin() + 1, streaming.end());
    // an escaped 0x7E is data, it does not end the frame
    Bytes escapedEnd = {0x39, 0x3A, 0x5C, 0x7D, 0x5E};

    struct Case {
        const char* name;
        uint8_t protocol;
        Bytes received;
        bool good;
        const wchar_t* error; // nullptr: text left alone
    } cases[] = {
        {"good", DIAG_PROTOCOL_RAW, good, true, nullptr},
        {"7E 7E ending", DIAG_PROTOCOL_RAW, doubleFlag, true, nullptr},
        {"7E 7E 7E ending", DIAG_PROTOCOL_RAW, tripleFlag, true, nullptr},
        {"download answer with leading flag", DIAG_PROTOCOL_BOOT, boot, true, nullptr},
        {"download answer without leading flag", DIAG_PROTOCOL_BOOT, bootWithoutLeading, true, nullptr},
        {"streaming answer without leading flag", DIAG_PROTOCOL_STREAMING, streamingWithoutLeading, true, nullptr},
        {"no end flag", DIAG_PROTOCOL_RAW, noFlag, false, DIAG_TEXT_NO_END_FLAG},
        {"escaped end flag", DIAG_PROTOCOL_RAW, escapedEnd, false, DIAG_TEXT_NO_END_FLAG},
        {"nothing received", DIAG_PROTOCOL_RAW, {}, false, DIAG_TEXT_NO_END_FLAG},
        {"nothing received, download", DIAG_PROTOCOL_BOOT, {}, false, DIAG_TEXT_NO_END_FLAG},
        {"wrong CRC", DIAG_PROTOCOL_RAW, badCrc, false, DIAG_TEXT_WRONG_CRC},
        {"flag alone", DIAG_PROTOCOL_RAW, {0x7E}, false, DIAG_TEXT_WRONG_CRC},
        {"unknown protocol", 7, good, false, nullptr},
    };
    for (const Case& c : cases) {
        std::wcscpy(DiagErrorText, L"before");
        EXPECT_EQ(Check(c.protocol, c.received), c.good) << c.name;
        EXPECT_EQ(ErrorText(), c.error ? c.error : L"before") << c.name;
    }
}

TEST(DiagCheck, UnescapesInPlaceAndKeepsTheAnswerBytes)
{
    Bytes packet = {0x4B, 0x7E, 0x7D, 0x00};
    ASSERT_TRUE(Check(DIAG_PROTOCOL_RAW, Frame(packet, false)));
    const DiagTransferState& t = CodecState();
    ASSERT_EQ(t.receiveLength, packet.size() + 2);
    EXPECT_EQ(Bytes(t.receiveBuffer, t.receiveBuffer + packet.size()), packet);
}

TEST(DiagCheck, FullReceiveBufferWithoutLeadingFlagStaysInBounds)
{
    ResetState(DIAG_PROTOCOL_STREAMING);
    DiagTransferState& t = CodecState();
    std::memset(t.receiveBuffer, 0x11, DIAG_RECEIVE_BUFFER_SIZE);
    t.receiveBuffer[DIAG_RECEIVE_BUFFER_SIZE - 1] = 0x7E;
    t.receiveLength = DIAG_RECEIVE_BUFFER_SIZE;
    EXPECT_FALSE(CheckDiagFrame(CodecState()));
    EXPECT_EQ(ErrorText(), DIAG_TEXT_WRONG_CRC);
}

TEST(DiagDump, WritesOneLinePerFrameWhileTheLogHasRoom)
{
    DiagFrameLog[0] = L'\0';
    ResetState(DIAG_PROTOCOL_RAW);
    DiagTransferState& t = CodecState();
    for (int i = 0; i < 15; ++i)
        t.sendBuffer[i] = static_cast<uint8_t>(i * 17);
    t.receiveBuffer[0] = 0x7E;
    t.receiveBuffer[1] = 0x0A;
    DumpDiagFrame(CodecState(), 15, true);
    DumpDiagFrame(CodecState(), 2, false);
    EXPECT_EQ(std::wstring(DiagFrameLog), L"W: Len 15: 00 11 22 33 44 55 66 77 88 99 \nR: Len 2: 7E 0A \n");

    // fill the log close to its end: a line that would reach 1024 is dropped
    std::wstring filler(1000, L'x');
    std::wcscpy(DiagFrameLog, filler.c_str());
    DumpDiagFrame(CodecState(), 15, true); // 42 characters
    EXPECT_EQ(std::wcslen(DiagFrameLog), 1000u);
    DumpDiagFrame(CodecState(), 0, true); // "W: Len 0: \n", 11 characters
    EXPECT_EQ(std::wstring(DiagFrameLog).substr(1000), L"W: Len 0: \n");
}

namespace {

struct BuildCase {
    const char* name;
    Bytes request;
    Bytes packet;
};

void ExpectPackets(uint8_t protocol, const std::vector<BuildCase>& cases)
{
    bool leading = protocol == DIAG_PROTOCOL_BOOT || protocol == DIAG_PROTOCOL_STREAMING;
    for (const BuildCase& c : cases) {
        ASSERT_GT(BuildTyped(protocol, c.request), 0u) << c.name;
        EXPECT_EQ(Sent(), Frame(c.packet, leading)) << c.name;
    }
}

} // namespace

TEST(DiagBuild, TypedPackets)
{
    Bytes nv(DIAG_TYPED_REQUEST_SIZE, 0);
    nv[0] = 0x26;
    nv[2] = 0x26;
    nv[3] = 0x02; // item 550
    nv[4] = 0xAB;
    nv[131] = 0xCD;
    nv[132] = 0x05;
    Bytes nvPacket = {0x26, 0x26, 0x02, 0xAB};
    nvPacket.resize(1 + 2 + 127, 0);
    nvPacket.push_back(0xCD);
    nvPacket.push_back(0x05);
    nvPacket.push_back(0x00);

    ExpectPackets(DIAG_PROTOCOL_TYPED, {
        {"code alone", {0x39, 0x55, 0x66}, {0x39}},
        {"download switch", {0x3A}, {0x3A}},
        {"NV read of item 550", nv, nvPacket},
        {"control", {0x29, 0x00, 0x01, 0x00, 0x77}, {0x29, 0x01, 0x00}},
        {"subsystem CD", {0x4B, 0xCD, 0x18, 0x00, 0x99}, {0x4B, 0xCD, 0x18, 0x00}},
        {"other subsystem", {0x4B, 0xA1, 0x00, 0x00}, {0x4B, 0x04, 0x0E, 0x00}},
        {"5C", {0x5C}, {0x5C, 0x01, 0x00, 0xC2, 0x01, 0x00}},
        {"49", {0x49, 0x01, 0x02, 0x03}, {0x49, 0x01, 0x02}},
        {"89", {0x89, 0x04, 0x05}, {0x89, 0x04}},
        {"EFS2 hello", {0x4B, 0x13, 0x01, 0x00, 0x09}, {0x4B, 0x13, 0x01, 0x00}},
        {"EFS2 open with path", {0x4B, 0x13, 0x02, 0x00, 1, 0, 0, 0, 2, 0, 0, 0, 'a', '/', 'b', 0, 'z'},
         {0x4B, 0x13, 0x02, 0x00, 1, 0, 0, 0, 2, 0, 0, 0, 'a', '/', 'b', 0}},
        {"legacy EFS counted name", {0x59, 0x02, 0, 0, 3, 'a', 'b', 'c', 'd'}, {0x59, 0x02, 3, 'a', 'b', 'c'}},
        {"legacy EFS op 4 not first", {0x59, 0x04, 0, 0, 1, 9, 'x'}, {0x59, 0x04, 1}},
        {"legacy EFS op 10", {0x59, 10, 0, 0, 1, 2, 3, 4, 2, 'p', 'q', 'r'}, {0x59, 10, 1, 2, 3, 4, 2, 'p', 'q'}},
    });
}

TEST(DiagBuild, BootLoaderPacketsSendAddressesMostSignificantFirst)
{
    ExpectPackets(DIAG_PROTOCOL_BOOT, {
        {"write 24-bit", {0x01, 0x11, 0x22, 0x33, 0, 0x02, 0x00, 0, 0, 0xAA, 0xBB, 0xCC},
         {0x01, 0x33, 0x22, 0x11, 0x00, 0x02, 0xAA, 0xBB}},
        {"write 32-bit", {0x0F, 0x11, 0x22, 0x33, 0x44, 0x01, 0x00, 0, 0, 0xAA},
         {0x0F, 0x44, 0x33, 0x22, 0x11, 0x00, 0x01, 0xAA}},
        {"erase", {0x04, 1, 2, 3, 4, 5, 6}, {0x04, 3, 2, 1, 6, 5, 4}},
        {"go", {0x05, 1, 2, 3, 4}, {0x05, 2, 1, 4, 3}},
        {"unlock", {0x0B, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0x0B, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"reset", {0x0A, 5}, {0x0A}},
        {"0x11", {0x11, 1, 2, 3, 4, 5}, {0x11, 1, 2, 3, 4}},
    });
}

TEST(DiagBuild, CountsBeyondTheTypedRequestAreNotSent)
{
    struct Case {
        const char* name;
        uint8_t protocol;
        Bytes request;
    } cases[] = {
        // legacy EFS write, first block, 16-bit count at 82-83 far beyond the request
        {"legacy EFS count", DIAG_PROTOCOL_TYPED,
         [] {
             Bytes r(84, 0);
             r[0] = 0x59;
             r[1] = 5;
             r[82] = 0xFF;
             r[83] = 0xFF;
             return r;
         }()},
        {"boot write length", DIAG_PROTOCOL_BOOT, {0x01, 0, 0, 0, 0, 0xFF, 0xFF}},
        // path without terminator up to the end of the request
        {"EFS2 path", DIAG_PROTOCOL_TYPED,
         [] {
             Bytes r(DIAG_TYPED_REQUEST_SIZE, 'a');
             r[0] = 0x4B;
             r[1] = 0x13;
             r[2] = 0x0A;
             r[3] = 0x00;
             return r;
         }()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildTyped(c.protocol, c.request), 0u) << c.name;
}

TEST(DiagBuild, UnknownTypedCodeSendsTheLaidDownPayload)
{
    ResetState(DIAG_PROTOCOL_TYPED);
    DiagTransferState& t = CodecState();
    t.typedRequest.code = 0x77;
    Bytes laid = {0x77, 0x01, 0x02};
    std::memcpy(t.sendBuffer, laid.data(), laid.size());
    t.sendLength = 3;
    ASSERT_GT(BuildDiagFrame(CodecState()), 0u);
    EXPECT_EQ(Sent(), Frame(laid, false));
}

namespace {

// A version reply frame of exactly `total` bytes on the wire.
Bytes VersionReply(size_t total)
{
    for (uint8_t pad = 0;; ++pad) {
        Bytes packet = {0x39};
        for (int k = 0; k < 9; ++k) {
            std::string text = "VER" + std::to_string(k);
            text.resize(30, char('a' + k));
            packet.insert(packet.end(), text.begin(), text.end());
            packet.push_back(0);
        }
        std::string date = "Jan 01 2024 ";
        packet.insert(packet.end(), date.begin(), date.end());
        packet.push_back(0);
        Bytes frame;
        packet.resize(total, pad);
        for (size_t cut = total; cut > 0; --cut) {
            Bytes p(packet.begin(), packet.begin() + cut);
            frame = Frame(p, false);
            if (frame.size() <= total)
                break;
        }
        if (frame.size() == total)
            return frame;
    }
}

std::string VersionText(size_t k)
{
    return reinterpret_cast<const char*>(CodecState().reply.bytes + DiagVersionTextOffset(k));
}

} // namespace

TEST(DiagParse, VersionReplyLayoutsByLength)
{
    Bytes full = VersionReply(300);
    ASSERT_EQ(full.size(), 300u);
    ASSERT_TRUE(Check(DIAG_PROTOCOL_TYPED, full));
    for (size_t k = 0; k < 9; ++k) {
        std::string expected = "VER" + std::to_string(k);
        expected.resize(30, char('a' + k));
        EXPECT_EQ(VersionText(k), expected) << k;
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(CodecState().reply.bytes + DIAG_VERSION_DATE_OFFSET)),
              "Jan 01 2024 ");

    // 200 bytes: four texts; the record was cleared, so the others stay empty
    std::memset(&CodecState().reply, 0, sizeof(DiagReplyRecord));
    Bytes shorter = VersionReply(200);
    ASSERT_TRUE(Check(DIAG_PROTOCOL_TYPED, shorter, true));
    for (size_t k = 0; k < 4; ++k)
        EXPECT_EQ(VersionText(k).size(), 30u) << k;
    for (size_t k = 4; k < 9; ++k)
        EXPECT_EQ(VersionText(k), "") << k;
    // after text 3 the layout goes on with the date: text 4 of the answer is read as the date
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(CodecState().reply.bytes + DIAG_VERSION_DATE_OFFSET)),
              "VER4eeeeeeee");

    // 260 bytes: eight texts
    std::memset(&CodecState().reply, 0, sizeof(DiagReplyRecord));
    ASSERT_TRUE(Check(DIAG_PROTOCOL_TYPED, VersionReply(260), true));
    EXPECT_EQ(VersionText(7).size(), 30u);
    EXPECT_EQ(VersionText(8), "");
}

TEST(DiagParse, ShortVersionLayoutUses22And25ByteTexts)
{
    Bytes packet = {0x39};
    std::string t22(22, 'A'), t25(25, 'B');
    for (const std::string* t : {&t22, &t22}) {
        packet.insert(packet.end(), t->begin(), t->end());
    }
    for (int i = 0; i < 2; ++i) {
        packet.insert(packet.end(), t25.begin(), t25.end());
        packet.push_back(0);
    }
    ASSERT_TRUE(Check(DIAG_PROTOCOL_TYPED, Frame(packet, false)));
    EXPECT_EQ(VersionText(0), t22);
    EXPECT_EQ(VersionText(1), t22);
    EXPECT_EQ(VersionText(2), t25);
    EXPECT_EQ(VersionText(3), t25);
}

TEST(DiagParse, NvReplyAndFieldsThatWereNotReceived)
{
    Bytes packet = {0x26, 0x26, 0x02};
    for (int i = 0; i < 128; ++i)
        packet.push_back(static_cast<uint8_t>(i));
    packet.push_back(0x05);
    packet.push_back(0x00);
    ASSERT_TRUE(Check(DIAG_PROTOCOL_TYPED, Frame(packet, false)));
    const DiagReplyRecord& reply = CodecState().reply;
    EXPECT_EQ(reply.bytes[0], 0x26);
    EXPECT_EQ(DiagReplyU16(reply, DIAG_REPLY_NV_ITEM_OFFSET), 550);
    EXPECT_EQ(reply.bytes[DIAG_REPLY_NV_DATA_OFFSET + 127], 127);
    EXPECT_EQ(DiagReplyU16(reply, DIAG_REPLY_NV_STATUS_OFFSET), 5);
    EXPECT_EQ(CodecState().receiveLength, 133u); // read position

    // a short answer: the status was not received and keeps its value
    CodecState().reply.bytes[DIAG_REPLY_NV_STATUS_OFFSET] = 0x33;
    Bytes shortPacket = {0x26, 0x26, 0x02, 0xEE, 0xEF};
    ASSERT_TRUE(Check(DIAG_PROTOCOL_TYPED, Frame(shortPacket, false), true));
    const DiagReplyRecord& again = CodecState().reply;
    EXPECT_EQ(again.bytes[DIAG_REPLY_NV_DATA_OFFSET], 0xEE);
    EXPECT_EQ(again.bytes[DIAG_REPLY_NV_DATA_OFFSET + 1], 0xEF);
    EXPECT_EQ(again.bytes[DIAG_REPLY_NV_DATA_OFFSET + 2], 2); // from the first answer
    EXPECT_EQ(DiagReplyU16(again, DIAG_REPLY_NV_STATUS_OFFSET), 0x33);
}

TEST(DiagParse, UnknownCodeReadsNothing)
{
    ASSERT_TRUE(Check(DIAG_PROTOCOL_TYPED, Frame({0x77, 1, 2, 3}, false)));
    EXPECT_EQ(CodecState().receiveLength, 0u);
}

TEST(DiagParse, SubsystemReplies)
{
    ASSERT_TRUE(Check(DIAG_PROTOCOL_TYPED, Frame({0x4B, 0xCD, 0x18, 0x00, 0x07}, false)));
    const DiagReplyRecord& r = CodecState().reply;
    EXPECT_EQ(r.bytes[1], 0xCD);
    EXPECT_EQ(DiagReplyU16(r, 2), 0x18);
    EXPECT_EQ(r.bytes[4], 0x07);

    ASSERT_TRUE(Check(DIAG_PROTOCOL_TYPED, Frame({0x4B, 0xA1, 0x00, 0x00, 0x09}, false)));
    EXPECT_EQ(DiagReplyU16(CodecState().reply, 1), 9);
}

TEST(DiagParse, LegacyEfsStatusTexts)
{
    struct Case {
        Bytes packet;
        bool good;
        const wchar_t* text;
    } cases[] = {
        {{0x59, 0x02, 0x06}, false, L"File does not exist!"},
        {{0x59, 0x02, 0x1F}, false, L"Media has been changed since opened!"},
        {{0x59, 0x02, 0x28}, false, L"Unknown reason!"},
        {{0x59, 0x05, 0x00, 0x01}, true, L"before"},
    };
    for (const Case& c : cases) {
        std::wcscpy(DiagErrorText, L"before");
        EXPECT_EQ(Check(DIAG_PROTOCOL_TYPED, Frame(c.packet, false)), c.good);
        EXPECT_EQ(ErrorText(), c.text);
    }
}

TEST(DiagParse, CountedCopiesTakeOnlyWhatWasReceived)
{
    // legacy EFS read: a count of 0xFFFF with 3 bytes behind it
    ASSERT_TRUE(Check(DIAG_PROTOCOL_TYPED, Frame({0x59, 0x02, 0x00, 0x01, 0x00, 0xFF, 0xFF, 'a', 'b', 'c'}, false)));
    const DiagReplyRecord& r = CodecState().reply;
    EXPECT_EQ(r.bytes[7], 'a');
    EXPECT_EQ(r.bytes[9], 'c');
    EXPECT_EQ(r.bytes[10], 0);
    EXPECT_EQ(CodecState().receiveLength, 10u);

    // EFS2 read with a huge count, directory entry without a terminator
    Bytes read = {0x4B, 0x13, 0x04, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 'd', 'a'};
    EXPECT_TRUE(Check(DIAG_PROTOCOL_TYPED, Frame(read, false)));
    EXPECT_EQ(CodecState().reply.bytes[20], 'd');
    Bytes entry = {0x4B, 0x13, 0x0C, 0x00};
    entry.resize(44, 1);
    entry.insert(entry.end(), {'n', 'a', 'm', 'e'});
    EXPECT_TRUE(Check(DIAG_PROTOCOL_TYPED, Frame(entry, false)));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(CodecState().reply.bytes + 44)), "name");

    // boot-loader text of 200 announced bytes, 2 received
    EXPECT_TRUE(Check(DIAG_PROTOCOL_BOOT, Frame({0x0D, 200, 'o', 'k'}, true)));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(CodecState().reply.bytes + 2)), "ok");
}

TEST(DiagParse, BootLoaderNakReasons)
{
    struct Case {
        Bytes packet;
        const wchar_t* text;
    } cases[] = {
        {{0x03, 0x00, 0x0B}, L"not permitted without unlock"},
        {{0x03, 0x00, 0x01}, L"invalid frame check sequence"},
        {{0x03, 0x00, 0x0C}, L"invalid security code"},
        {{0x03, 0x01, 0x0B}, L""}, // 0x010B has no text of its own
    };
    for (const Case& c : cases) {
        std::wcscpy(DiagErrorText, L"before");
        EXPECT_FALSE(Check(DIAG_PROTOCOL_BOOT, Frame(c.packet, true)));
        EXPECT_EQ(ErrorText(), c.text);
    }
    EXPECT_TRUE(Check(DIAG_PROTOCOL_BOOT, Frame({0x02}, true))); // ACK
}

TEST(DiagParse, BootLoaderParameters)
{
    ASSERT_TRUE(Check(DIAG_PROTOCOL_BOOT, Frame({0x08, 1, 2, 0x11, 0x22, 0x33, 0x44, 7, 4, 40}, true)));
    const DiagReplyRecord& r = CodecState().reply;
    EXPECT_EQ(r.bytes[1], 1);
    EXPECT_EQ(r.bytes[2], 2);
    EXPECT_EQ(DiagReplyU32(r, 3), 0x11223344u);
    EXPECT_EQ(r.bytes[7], 7);
    EXPECT_EQ(r.bytes[8], 4);
    EXPECT_EQ(DiagReplyU32(r, 9), 0x200000u);
    EXPECT_EQ(r.bytes[13], 0); // 40 is above 34
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.bytes + 14)), "Unknown");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.bytes + 78)), "Unknown");

    ASSERT_TRUE(Check(DIAG_PROTOCOL_BOOT, Frame({0x08, 1, 2, 0, 0, 0, 0, 7, 9, 3}, true)));
    EXPECT_EQ(CodecState().reply.bytes[8], 0);
    EXPECT_EQ(DiagReplyU32(CodecState().reply, 9), 0u);
    EXPECT_EQ(CodecState().reply.bytes[13], 3);
}

TEST(DiagParse, StreamingReplies)
{
    Bytes hello = {0x02};
    hello.resize(43, 0);
    hello.push_back(5);
    hello.insert(hello.end(), {'h', 'e', 'l', 'l', 'o', 'X'});
    ASSERT_TRUE(Check(DIAG_PROTOCOL_STREAMING, Frame(hello, true)));
    EXPECT_EQ(std::string(CodecState().helloText), "hello");
    EXPECT_EQ(CodecState().helloLength, 5u);

    Bytes cut(hello.begin(), hello.begin() + 46); // length 5 announced, 2 received
    ASSERT_TRUE(Check(DIAG_PROTOCOL_STREAMING, Frame(cut, true)));
    EXPECT_EQ(std::string(CodecState().helloText), "he");

    struct Case {
        Bytes packet;
        bool good;
    } cases[] = {
        {{0x04}, true}, {{0x2B}, true}, {{0x1A, 0x00, 0x00}, true}, {{0x1A, 0x00, 0x01}, false},
        {{0x1A}, false}, {{0x0D, 1, 2, 3, 4}, false}, {{0x03}, false}, {{0x05}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Check(DIAG_PROTOCOL_STREAMING, Frame(c.packet, true)), c.good) << int(c.packet[0]);
    Check(DIAG_PROTOCOL_STREAMING, Frame({0x0D, 0x78, 0x56, 0x34, 0x12}, true));
    EXPECT_EQ(DiagReplyU32(CodecState().reply, 1), 0x12345678u);
}
