// The DIAG operations against the modem emulator on its diagnostic port.
#include "device/diag_ops.h"
#include "device/port_scanner.h"
#include "device/trace_log.h"
#include "emulator/modem_emulator.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"
#include "tests/support/timeout_scale.h"

#include <gtest/gtest.h>

#include <functional>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

class DiagOpsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // WriteLog 1: every trace line of the operations is shown
        dir_ = fs::temp_directory_path() / ("diag_ops_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        std::ofstream(dir_ / "config.ini") << "[FEATURE]\r\nWriteLog=1\r\n";
        oldDir_ = fs::current_path();
        fs::current_path(dir_);
        ResetTraceLogConfigForTests();

        std::string error;
        ASSERT_TRUE(emulator_.Start(&error)) << error;
        setenv("KESTLE_DEVICE_DIR", emulator_.DeviceDir().c_str(), 1);
        SetATPort(std::to_string(emulator_.ComNumber(modemsim::Port::Diag)).c_str());
    }
    void TearDown() override
    {
        SetATPort("");
        emulator_.Stop();
        unsetenv("KESTLE_DEVICE_DIR");
        fs::current_path(oldDir_);
        fs::remove_all(dir_);
        ResetTraceLogConfigForTests();
    }

    std::vector<Bytes> Requests() const { return emulator_.DiagRequests(); }

    modemsim::ModemEmulator emulator_;
    fs::path dir_, oldDir_;
};

Bytes NvWritePacket(const Bytes& image)
{
    Bytes p = {0x27, 0x26, 0x02};
    p.insert(p.end(), image.begin(), image.end());
    p.resize(3 + DIAG_NV_ITEM_SIZE, 0);
    p.push_back(0);
    p.push_back(0);
    return p;
}

const Bytes kImageOf123456789012345 = {0x08, 0x1A, 0x32, 0x54, 0x76, 0x98, 0x10, 0x32, 0x54};

} // namespace

TEST(ImeiImage, PacksAndUnpacksNibbles)
{
    struct Case {
        const char* imei;
        Bytes head;
    } cases[] = {
        {"123456789012345", kImageOf123456789012345},
        {"300123456789012", {0x08, 0x3A, 0x00, 0x21, 0x43, 0x65, 0x87, 0x09, 0x21}},
        {"000000000000000", {0x08, 0x0A, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        uint8_t image[DIAG_NV_ITEM_SIZE];
        std::memset(image, 0xEE, sizeof image);
        PackImeiImage(c.imei, image);
        EXPECT_EQ(Bytes(image, image + 9), c.head) << c.imei;
        EXPECT_EQ(Bytes(image + 9, image + DIAG_NV_ITEM_SIZE), Bytes(DIAG_NV_ITEM_SIZE - 9, 0)) << c.imei;
        char text[DIAG_IMEI_TEXT_SIZE];
        std::memset(text, 'x', sizeof text);
        UnpackImeiImage(image, text);
        EXPECT_STREQ(text, c.imei);
    }
}

TEST_F(DiagOpsTest, WriteImeiSendsItem550AndReadsItBackWhole)
{
    for (const char* imei : {"123456789012345", "300123456789012"}) {
        emulator_.ClearReceived();
        EXPECT_EQ(Diag_WriteIMEI(imei), 0) << imei;
        EXPECT_EQ(emulator_.Imei(), imei);
        char back[DIAG_IMEI_TEXT_SIZE] = {};
        EXPECT_EQ(Diag_GetIMEI(back), 0);
        EXPECT_STREQ(back, imei);
    }
    emulator_.ClearReceived();
    Diag_WriteIMEI("123456789012345");
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0], NvWritePacket(kImageOf123456789012345));
}

TEST_F(DiagOpsTest, ReadImeiSendsTheNvReadRequest)
{
    emulator_.SetImei("356938035643809");
    char imei[DIAG_IMEI_TEXT_SIZE] = {};
    DebugCapture capture;
    EXPECT_EQ(Diag_GetIMEI(imei), 0);
    EXPECT_STREQ(imei, "356938035643809");
    ASSERT_EQ(Requests().size(), 1u);
    Bytes read = {0x26, 0x26, 0x02};
    read.resize(3 + DIAG_NV_ITEM_SIZE + 2, 0);
    EXPECT_EQ(Requests()[0], read);
    EXPECT_EQ(capture.Count("FUN:Diag_GetIMEI InParam:nSize:4"), 1u);
    EXPECT_EQ(capture.Count("FUN:Diag_GetIMEI OutParam:strIMEI:356938035643809"), 1u);
    EXPECT_EQ(capture.Count("FUN:NV_ReadIMEI"), 1u);
    EXPECT_EQ(capture.Count("FUN:ReadNvImeiItem"), 1u);
    EXPECT_EQ(capture.Count("FUN:Diag_GetIMEI Result:0,TALLY_ERROR_SUCCESS"), 1u);
}

TEST_F(DiagOpsTest, NvWriteStatusOtherThanDoneFails)
{
    emulator_.SetNvWriteStatus(5);
    EXPECT_EQ(Diag_WriteIMEI("123456789012345"), 1);
    EXPECT_EQ(Requests().size(), 1u); // the device answered: no further try
    uint8_t image[DIAG_NV_ITEM_SIZE] = {1};
    EXPECT_EQ(Diag_WriteNVData(image), 1);
}

TEST_F(DiagOpsTest, MissingArgumentsAndImeiTextsThatCannotBePacked)
{
    DebugCapture capture;
    EXPECT_EQ(Diag_GetIMEI(nullptr), 41);
    EXPECT_EQ(Diag_WriteIMEI(nullptr), 41);
    EXPECT_EQ(Diag_WriteNVData(nullptr), 41);
    EXPECT_EQ(Diag_GetVersion(nullptr), 1);
    EXPECT_EQ(NV_ReadIMEI(nullptr), 41);
    EXPECT_EQ(capture.Count("FUN:Diag_GetIMEI Result:41,TALLY_ERROR_INVALID_PARAMETER"), 1u);
    EXPECT_EQ(capture.Count("FUN:Diag_WriteIMEI Result:41,TALLY_ERROR_INVALID_PARAMETER"), 1u);
    EXPECT_EQ(capture.Count("FUN:Diag_WriteNVData Result:41,TALLY_ERROR_INVALID_PARAMETER"), 1u);
    EXPECT_EQ(capture.Count("FUN:NV_ReadIMEI Result:41,TALLY_ERROR_INVALID_PARAMETER"), 1u);
    for (const char* text : {"", "12345", "12345678901234x", "1234567890123456"})
        EXPECT_EQ(Diag_WriteIMEI(text), 1) << text;
    EXPECT_TRUE(Requests().empty());
}

TEST_F(DiagOpsTest, RestoreFactorySettingChecksTheAnswerHead)
{
    EXPECT_EQ(Diag_RestoreFactorySetting(), 0);
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0], (Bytes{0x4B, 0xCD, 0x18, 0x00}));

    // a well-framed answer with another head passes the frame check and still fails
    emulator_.ClearReceived();
    modemsim::Fault wrongHead;
    wrongHead.kind = modemsim::FaultKind::Garbage;
    uint8_t packet[] = {0x4B, 0xCD, 0x18, 0x00, 0x01};
    uint8_t frame[32];
    size_t n = 0;
    ASSERT_TRUE(FrameDiagPacket(packet, sizeof packet, false, frame, sizeof frame, &n));
    wrongHead.text.assign(reinterpret_cast<char*>(frame), n);
    emulator_.InjectDiagFault(0x4B, wrongHead);
    EXPECT_EQ(Diag_RestoreFactorySetting(), 1);
    EXPECT_EQ(Requests().size(), 1u);
}

// A well-framed answer that is the device's error reply, or a packet that
// does not answer the request, is no success.
TEST_F(DiagOpsTest, RawRequestsFailOnAnErrorReplyOrAStrayPacket)
{
    const struct {
        const char* name;
        int (*run)();
        int code;        // first byte of the request
        Bytes request;
    } ops[] = {
        {"OpenAutoRun", Diag_OpenAutoRun, 0x4B, {0x4B, 0xA1, 0x00, 0x00, 0x01}},
        {"CloseAutoRun", Diag_CloseAutoRun, 0x4B, {0x4B, 0xA1, 0x00, 0x00, 0x00}},
        {"EnterDownload", Diag_EnterTarselDownloadMode, 0x4B, {0x4B, 0xAA, 0x00, 0x00, 0x01}},
        {"ExitDownload", Diag_ExitTarselDownloadMode, 0x4B, {0x4B, 0xAA, 0x00, 0x00, 0x00}},
        {"Restart", Diag_Restart, 0x29, {0x29, 0x02, 0x00}},
    };
    for (const auto& op : ops) {
        const struct {
            const char* name;
            Bytes packet;
        } answers[] = {
            {"bad command", [&] { Bytes p{0x13}; p.insert(p.end(), op.request.begin(), op.request.end()); return p; }()},
            {"bad parameters", [&] { Bytes p{0x14}; p.insert(p.end(), op.request.begin(), op.request.end()); return p; }()},
            {"bad length", {0x15, op.request[0]}},
            {"bad mode", {0x18, op.request[0]}},
            {"stray event", {0x60, 0x00, 0x01}},
        };
        for (const auto& answer : answers) {
            SCOPED_TRACE(std::string(op.name) + ": " + answer.name);
            // a stray packet is read past for the rest of each try: short tries for failures
            tooltest::ScopedTimeoutScale shortTimeouts;
            uint8_t frame[64];
            size_t n = 0;
            ASSERT_TRUE(FrameDiagPacket(answer.packet.data(), answer.packet.size(), false, frame, sizeof frame, &n));
            modemsim::Fault fault;
            fault.kind = modemsim::FaultKind::Garbage;
            fault.text.assign(reinterpret_cast<char*>(frame), n);
            fault.times = -1;
            emulator_.InjectDiagFault(op.code, fault);
            EXPECT_EQ(op.run(), 1);
            emulator_.ClearFaults();
        }
    }
    EXPECT_EQ(emulator_.RestartCount(), 0);
    EXPECT_EQ(Diag_OpenAutoRun(), 0);
}

TEST_F(DiagOpsTest, GetImeiFailsOnAnInactiveItemOrAnImageThatIsNoImei)
{
    // NV read answer: 26, item 550, 128 bytes, status
    Bytes inactive = {0x26, 0x26, 0x02};
    inactive.resize(3 + DIAG_NV_ITEM_SIZE, 0);
    inactive.push_back(5);
    inactive.push_back(0);
    uint8_t frame[300];
    size_t n = 0;
    ASSERT_TRUE(FrameDiagPacket(inactive.data(), inactive.size(), false, frame, sizeof frame, &n));
    modemsim::Fault fault;
    fault.kind = modemsim::FaultKind::Garbage;
    fault.text.assign(reinterpret_cast<char*>(frame), n);
    emulator_.InjectDiagFault(0x26, fault);
    char imei[DIAG_IMEI_TEXT_SIZE] = "x";
    EXPECT_EQ(Diag_GetIMEI(imei), 1);
    EXPECT_STREQ(imei, "");

    const struct {
        const char* name;
        Bytes image;
    } images[] = {
        {"bad nibbles", {0x08, 0xFA, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {"bad last nibble", {0x08, 0x1A, 0x32, 0x54, 0x76, 0x98, 0x10, 0x32, 0xB4}},
        {"no length byte", {0x00, 0x1A, 0x32, 0x54, 0x76, 0x98, 0x10, 0x32, 0x54}},
    };
    for (const auto& c : images) {
        SCOPED_TRACE(c.name);
        Bytes item = c.image;
        item.resize(DIAG_NV_ITEM_SIZE, 0);
        emulator_.SetNvItem(DIAG_NV_ITEM_IMEI, item);
        char text[DIAG_IMEI_TEXT_SIZE] = "x";
        EXPECT_EQ(Diag_GetIMEI(text), 1);
        EXPECT_STREQ(text, "");
    }
    emulator_.SetImei("356938035643809");
    char good[DIAG_IMEI_TEXT_SIZE] = {};
    EXPECT_EQ(Diag_GetIMEI(good), 0);
    EXPECT_STREQ(good, "356938035643809");
}

TEST_F(DiagOpsTest, AutoRunIsSwitchedAndTriedAtMostTwice)
{
    EXPECT_EQ(Diag_OpenAutoRun(), 0);
    EXPECT_TRUE(emulator_.AutoRunOpen());
    EXPECT_EQ(Diag_CloseAutoRun(), 0);
    EXPECT_FALSE(emulator_.AutoRunOpen());

    emulator_.ClearReceived();
    modemsim::Fault silent;
    silent.kind = modemsim::FaultKind::NoAnswer;
    silent.times = -1;
    emulator_.InjectDiagFault(0x4B, silent);
    tooltest::ScopedTimeoutScale shortTimeouts;
    EXPECT_EQ(Diag_CloseAutoRun(), 1);
    std::vector<Bytes> sent = Requests();
    ASSERT_EQ(sent.size(), 2u);
    for (const Bytes& r : sent)
        EXPECT_EQ(r, (Bytes{0x4B, 0xA1, 0x00, 0x00, 0x00}));
}

TEST_F(DiagOpsTest, BadCrcAnswersAreRetried)
{
    emulator_.SetImei("123456789012345");
    modemsim::Fault badCrc;
    badCrc.kind = modemsim::FaultKind::WrongCrc;
    badCrc.times = 2;
    emulator_.InjectDiagFault(0x26, badCrc);
    char imei[DIAG_IMEI_TEXT_SIZE] = {};
    EXPECT_EQ(Diag_GetIMEI(imei), 0);
    EXPECT_STREQ(imei, "123456789012345");
    EXPECT_EQ(Requests().size(), 3u);

    badCrc.times = 3;
    emulator_.ClearReceived();
    emulator_.InjectDiagFault(0x26, badCrc);
    std::strcpy(imei, "keep");
    EXPECT_EQ(Diag_GetIMEI(imei), 1);
    EXPECT_STREQ(imei, ""); // emptied on failure
    EXPECT_EQ(Requests().size(), 3u);
}

TEST_F(DiagOpsTest, DownloadModesOfflineAndRestart)
{
    DebugCapture capture;
    EXPECT_EQ(Diag_EnterTarselDownloadMode(), 0);
    EXPECT_EQ(emulator_.DownloadMode(), 1);
    EXPECT_EQ(Diag_ExitTarselDownloadMode(), 0);
    EXPECT_EQ(emulator_.DownloadMode(), 0);
    EXPECT_EQ(Diag_Offline(), 0);
    EXPECT_EQ(Diag_SwitchToQCDownloadMode(), 0);
    EXPECT_EQ(Diag_Restart(), 0);
    std::vector<Bytes> expected = {
        {0x4B, 0xAA, 0x00, 0x00, 0x01}, {0x4B, 0xAA, 0x00, 0x00, 0x00}, {0x29, 0x01, 0x00}, {0x3A}, {0x29, 0x02, 0x00},
    };
    EXPECT_EQ(Requests(), expected);
    EXPECT_TRUE(emulator_.WaitForAttached(false, 5000) || emulator_.RestartCount() > 0);

    // the download pair traces only its result line; the others their entry line too
    EXPECT_EQ(capture.Count("FUN:Diag_EnterTarselDownloadMode Result:0,TALLY_ERROR_SUCCESS"), 1u);
    EXPECT_EQ(capture.Count("FUN:Diag_ExitTarselDownloadMode Result:0,TALLY_ERROR_SUCCESS"), 1u);
    EXPECT_EQ(capture.Count("FUN:EnableTarselDownloadMode"), 2u);
    for (const char* name : {"Diag_Offline", "Diag_SwitchToQCDownloadMode", "Diag_Restart"}) {
        EXPECT_EQ(capture.Count(std::string("FUN:") + name + " Result:0,TALLY_ERROR_SUCCESS"), 1u) << name;
        EXPECT_EQ(capture.Count(std::string("FUN:") + name), 2u) << name; // entry and result
    }
    EXPECT_EQ(capture.Count("FUN:Diag_EnterTarselDownloadMode"), 1u);
}

TEST_F(DiagOpsTest, OperationsFailWhenTheDeviceIsGone)
{
    emulator_.Unplug();
    EXPECT_EQ(Diag_Offline(), 1);
    EXPECT_EQ(Diag_EnterTarselDownloadMode(), 1);
    NineVersionRecord versions = {};
    EXPECT_EQ(Diag_GetVersion(&versions), 1);
    EXPECT_EQ(versions.text[0][0], 0);
}

TEST_F(DiagOpsTest, GetVersionCopiesTheNineTexts)
{
    std::array<std::string, 9> texts;
    for (size_t k = 0; k < texts.size(); ++k)
        texts[k] = "V" + std::to_string(k) + std::string(k * 3, 'x');
    texts[8] = std::string(30, 'Z'); // a full-width text
    emulator_.SetVersions(texts);
    NineVersionRecord versions = {};
    DebugCapture capture;
    EXPECT_EQ(Diag_GetVersion(&versions), 0);
    for (size_t k = 0; k < texts.size(); ++k)
        EXPECT_EQ(std::string(versions.text[k], strnlen(versions.text[k], sizeof versions.text[k])), texts[k]) << k;
    EXPECT_EQ(Requests(), (std::vector<Bytes>{{0x39}}));
    EXPECT_EQ(capture.Count("FUN:Diag_GetVersion OutParam:pAllNineVersion:V0"), 1u);
    EXPECT_EQ(capture.Count("FUN:GetNineVersion"), 1u);
}

TEST_F(DiagOpsTest, WriteNvDataTracesItsParameters)
{
    DebugCapture capture;
    uint8_t image[DIAG_NV_ITEM_SIZE] = {};
    std::memcpy(image, kImageOf123456789012345.data(), kImageOf123456789012345.size());
    EXPECT_EQ(Diag_WriteNVData(image), 0);
    EXPECT_EQ(emulator_.Imei(), "123456789012345");
    EXPECT_EQ(capture.Count("FUN:Diag_WriteNVData InParam:nNvId:550"), 1u);
    EXPECT_EQ(capture.Count("FUN:Diag_WriteNVData InParam:nNvStatus:0"), 1u);
    EXPECT_EQ(capture.Count("FUN:Diag_WriteNVData Result:0,TALLY_ERROR_SUCCESS"), 1u);
}

// At WriteLog=2 the function and result lines show, the parameter lines do not.
TEST_F(DiagOpsTest, WriteLogTwoShowsFunctionAndResultLinesOnly)
{
    std::ofstream(dir_ / "config.ini") << "[FEATURE]\r\nWriteLog=2\r\n";
    ResetTraceLogConfigForTests();
    emulator_.SetImei("356938035643809");
    DebugCapture capture;
    char imei[DIAG_IMEI_TEXT_SIZE] = {};
    EXPECT_EQ(Diag_GetIMEI(imei), 0);
    EXPECT_EQ(Diag_WriteIMEI("356938035643809"), 0);
    EXPECT_EQ(capture.Count("FUN:Diag_GetIMEI Result:0,TALLY_ERROR_SUCCESS"), 1u);
    EXPECT_EQ(capture.Count("FUN:Diag_WriteIMEI Result:0,TALLY_ERROR_SUCCESS"), 1u);
    EXPECT_EQ(capture.Count("FUN:NV_ReadIMEI"), 1u);
    EXPECT_EQ(capture.Count("InParam"), 0u);
    EXPECT_EQ(capture.Count("OutParam"), 0u);
}

TEST_F(DiagOpsTest, AnswersLedByAFlagOrBehindAnEventFrameInTheSameReadAreTaken)
{
    struct Op {
        const char* name;
        int code;
        std::function<int()> run;
        size_t requests; // the device got each request once
    };
    const Op ops[] = {
        {"restore", 0x4B, [] { return Diag_RestoreFactorySetting(); }, 1},
        {"close autorun", 0x4B, [] { return Diag_CloseAutoRun(); }, 1},
        {"offline", 0x29, [] { return Diag_Offline(); }, 1},
        {"write IMEI", 0x27, [] { return Diag_WriteIMEI("356938035643809"); }, 1},
        {"get IMEI", 0x26, [] {
             char imei[16] = {};
             return Diag_GetIMEI(imei) == 0 && std::string(imei) == "356938035643809" ? 0 : 1;
         }, 1},
    };
    for (modemsim::FaultKind kind : {modemsim::FaultKind::LeadingFlag, modemsim::FaultKind::EventFirst}) {
        for (const Op& op : ops) {
            SCOPED_TRACE(std::string(op.name) + (kind == modemsim::FaultKind::LeadingFlag ? " led by a flag" : " behind an event frame"));
            emulator_.SetImei("356938035643809");
            emulator_.ClearReceived();
            modemsim::Fault fault;
            fault.kind = kind;
            fault.times = -1;
            emulator_.InjectDiagFault(op.code, fault);
            EXPECT_EQ(op.run(), 0);
            EXPECT_EQ(Requests().size(), op.requests);
            emulator_.ClearFaults();
        }
    }
}

namespace {

std::string FramedText(const Bytes& packet)
{
    uint8_t frame[64];
    size_t n = 0;
    EXPECT_TRUE(FrameDiagPacket(packet.data(), packet.size(), false, frame, sizeof frame, &n));
    return std::string(reinterpret_cast<char*>(frame), n);
}

} // namespace

// A frame that is not the request's answer (an event report, another
// subsystem's answer) is read past for the rest of the try: each try keeps
// its whole timeout, and the retries still run.
TEST_F(DiagOpsTest, ForeignFramesAreReadPastForTheRestOfEachTry)
{
    const std::string event = FramedText({0x60, 0x00, 0x01});
    const std::string autorunAnswer = FramedText({0x4B, 0xA1, 0x00, 0x00, 0x01});
    const std::string restoreAnswer = FramedText({0x4B, 0xCD, 0x18, 0x00, 0x00});
    const struct {
        const char* name;
        int (*run)();
        int code;
        std::string answer; // sent instead of the device's answer
        int times;
        int result;
        size_t requests;
        uint32_t timeoutSeconds; // the tries' timeouts together
    } cases[] = {
        {"Diag_Offline answered by an event frame", Diag_Offline, 0x29, event, -1, 1, 1, 2},
        {"Diag_RestoreFactorySetting answered by the autorun's answer", Diag_RestoreFactorySetting, 0x4B,
         autorunAnswer, -1, 1, 3, 3 * 5},
        {"Diag_EnterTarselDownloadMode answered by the restore's answer", Diag_EnterTarselDownloadMode, 0x4B,
         restoreAnswer, -1, 1, 1, 1},
        {"Diag_RestoreFactorySetting: the autorun's answer once, then its own", Diag_RestoreFactorySetting, 0x4B,
         autorunAnswer, 1, 0, 2, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tooltest::ScopedTimeoutScale shortTimeouts;
        emulator_.ClearReceived();
        modemsim::Fault fault;
        fault.kind = modemsim::FaultKind::Garbage;
        fault.text = c.answer;
        fault.times = c.times;
        emulator_.InjectDiagFault(c.code, fault);
        const uint32_t start = GetTickCount();
        EXPECT_EQ(c.run(), c.result);
        const uint32_t elapsed = GetTickCount() - start;
        EXPECT_EQ(Requests().size(), c.requests);
        const uint32_t tries = static_cast<uint32_t>(c.requests);
        EXPECT_GE(elapsed, tooltest::AtLeastMs(tooltest::TimeoutInProgramMs(c.timeoutSeconds), tries));
        emulator_.ClearFaults();
    }
}
