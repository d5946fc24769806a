// DIAG requests on the diagnostic port, framed with CRC-16/X.25.
#include <gtest/gtest.h>

#include "emulator/device_state.h"
#include "tests/unit/emulator/emulator_fixture.h"
#include "tests/support/timeout_scale.h"

namespace modemsim_test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(DiagFraming, CrcEscapesAndCheck) {
    const char* check = "123456789";
    EXPECT_EQ(Crc16X25(reinterpret_cast<const uint8_t*>(check), 9), 0x906E);  // the standard's check value
    Bytes frame = FrameDiagPacket({0x7E, 0x01, 0x7D});
    ASSERT_GE(frame.size(), 6u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 5), (Bytes{0x7D, 0x5E, 0x01, 0x7D, 0x5D}));
    EXPECT_EQ(frame.back(), 0x7E);
    Bytes packet;
    ASSERT_TRUE(UnframeDiagPacket(Bytes(frame.begin(), frame.end() - 1), &packet));
    EXPECT_EQ(packet, (Bytes{0x7E, 0x01, 0x7D}));
    Bytes broken(frame.begin(), frame.end() - 1);
    broken[2] ^= 0x01;
    EXPECT_FALSE(UnframeDiagPacket(broken, &packet));
    EXPECT_FALSE(UnframeDiagPacket({0x39}, &packet));
}

TEST(DiagFraming, ImeiItemImage) {
    Bytes item = PackImei("123456789012345");
    ASSERT_EQ(item.size(), 128u);
    EXPECT_EQ(Bytes(item.begin(), item.begin() + 9), (Bytes{0x08, 0x1A, 0x32, 0x54, 0x76, 0x98, 0x10, 0x32, 0x54}));
    EXPECT_EQ(UnpackImei(item), "123456789012345");
    EXPECT_EQ(UnpackImei(PackImei("100456789012345")), "100456789012345");
}

Bytes NvRequest(uint8_t code, const Bytes& image = {}) {
    Bytes r{code, 0x26, 0x02};  // item 550
    for (size_t i = 0; i < 128; ++i) r.push_back(i < image.size() ? image[i] : 0);
    r.push_back(0);
    r.push_back(0);
    return r;
}

class DiagTest : public EmulatorTest {};

TEST_F(DiagTest, NvItemOfTheImeiIsReadAndWritten) {
    Bytes answer;
    ASSERT_TRUE(Diag(NvRequest(0x26), &answer));
    ASSERT_EQ(answer.size(), 133u);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 3), (Bytes{0x26, 0x26, 0x02}));
    EXPECT_EQ(UnpackImei(Bytes(answer.begin() + 3, answer.begin() + 131)), "123456789012345");
    EXPECT_EQ(answer[131] | answer[132] << 8, 0);

    Bytes image = PackImei("350000111122223");
    ASSERT_TRUE(Diag(NvRequest(0x27, image), &answer));
    ASSERT_EQ(answer.size(), 133u);
    EXPECT_EQ(answer[0], 0x27);
    EXPECT_EQ(answer[131] | answer[132] << 8, 0);
    EXPECT_EQ(emu_->Imei(), "350000111122223");

    // a device that refuses the write keeps the old item
    emu_->SetNvWriteStatus(5);
    ASSERT_TRUE(Diag(NvRequest(0x27, PackImei("999999999999999")), &answer));
    EXPECT_EQ(answer[131] | answer[132] << 8, 5);
    EXPECT_EQ(emu_->Imei(), "350000111122223");

    // an item never written is not active
    Bytes other = NvRequest(0x26);
    other[1] = 0x10;
    ASSERT_TRUE(Diag(other, &answer));
    EXPECT_EQ(answer[131] | answer[132] << 8, 5);
}

TEST_F(DiagTest, VersionReplyCarriesNineTexts) {
    std::array<std::string, 9> texts;
    for (int i = 0; i < 9; ++i) texts[i] = "VER_" + std::to_string(i) + std::string(16 + i, 'x');
    emu_->SetVersions(texts);
    std::string raw = DiagRaw(FrameDiagPacket({0x39}));
    EXPECT_GE(raw.size(), 291u);  // the long layout of nine texts
    Bytes answer;
    ASSERT_TRUE(Diag({0x39}, &answer));
    ASSERT_EQ(answer[0], 0x39);
    for (int k = 0; k < 9; ++k) {
        std::string field(reinterpret_cast<const char*>(&answer[1 + 31 * k]), 30);
        EXPECT_EQ(field.substr(0, texts[k].size()), texts[k]);
        EXPECT_EQ(field.find_first_not_of('\0', texts[k].size()), std::string::npos);
        EXPECT_EQ(answer[31 + 31 * k], 0);
    }
}

TEST_F(DiagTest, ControlDownloadAndSubsystemRequests) {
    struct {
        Bytes request;
        Bytes answer;
    } const cases[] = {
        {{0x29, 0x01, 0x00}, {0x29, 0x01, 0x00}},
        {{0x3A}, {0x3A}},
        {{0x4B, 0xAA, 0x00, 0x00, 0x01}, {0x4B, 0xAA, 0x00, 0x00, 0x00}},
        {{0x4B, 0xCD, 0x18, 0x00}, {0x4B, 0xCD, 0x18, 0x00, 0x00}},
        {{0x4B, 0xA1, 0x00, 0x00, 0x01}, {0x4B, 0xA1, 0x00, 0x00, 0x01}},
        {{0x4B, 0xA1, 0x00, 0x00, 0x00}, {0x4B, 0xA1, 0x00, 0x00, 0x00}},
        {{0x7E, 0x7D}, {0x13, 0x7E, 0x7D}},  // unknown code, escaped both ways
    };
    for (const auto& c : cases) {
        Bytes answer;
        ASSERT_TRUE(Diag(c.request, &answer)) << int(c.request[0]);
        EXPECT_EQ(answer, c.answer) << int(c.request[0]);
    }
    EXPECT_EQ(emu_->DownloadMode(), 1);
    EXPECT_FALSE(emu_->AutoRunOpen());
    EXPECT_EQ(emu_->DiagRequests().size(), std::size(cases));
    EXPECT_EQ(emu_->DiagRequests()[3], (Bytes{0x4B, 0xCD, 0x18, 0x00}));
}

TEST_F(DiagTest, AutoRunIsOpened) {
    Bytes answer;
    ASSERT_TRUE(Diag({0x4B, 0xA1, 0x00, 0x00, 0x01}, &answer));
    EXPECT_TRUE(emu_->AutoRunOpen());
}

TEST_F(DiagTest, BadCrcGetsNoAnswer) {
    Bytes frame = FrameDiagPacket({0x39});
    frame[1] ^= 0xFF;
    {
        tooltest::ScopedTimeoutScale shortTimeouts;
        EXPECT_EQ(DiagRaw(frame, 5), "");
    }
    EXPECT_EQ(emu_->BadDiagFrames(), 1);
    EXPECT_TRUE(emu_->DiagRequests().empty());
    Bytes answer;
    EXPECT_TRUE(Diag({0x3A}, &answer));  // the port still serves the next good frame
}

TEST_F(DiagTest, ResetAnswersThenTheDeviceRestarts) {
    Bytes answer;
    ASSERT_TRUE(Diag({0x29, 0x02, 0x00}, &answer));
    EXPECT_EQ(answer, (Bytes{0x29, 0x02, 0x00}));
    ASSERT_TRUE(emu_->WaitForRestarts(1, 300000));
    EXPECT_EQ(emu_->CurrentMode(), Mode::Modem);
}

}  // namespace
}  // namespace modemsim_test
