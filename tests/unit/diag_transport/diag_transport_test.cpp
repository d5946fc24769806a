// The transport against a scripted port library: this program defines the
// port library's functions itself, so every exchange is under the test's control.
#include "device/crc16.h"
#include "device/device_lock.h"
#include "device/diag_ops.h"
#include "device/diag_transport.h"
#include "device/port_scanner.h"
#include "device/trace_log.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/win/debug_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Exchange {
    int kind;
    std::string name;
    Bytes request;
    int room;
    int timeout;
};

struct ScriptedReply {
    int result = 0;
    Bytes bytes;
};

struct PortScript {
    int initResult = 0;
    int inits = 0;
    // One per exchange (the last repeats): all that has come when the exchange
    // reads; as the port library does, a read ends at the first end flag
    // behind the data and the rest waits for a follow-up read.
    std::vector<ScriptedReply> replies;
    std::vector<Exchange> exchanges;
    std::vector<Bytes> behind; // per reply: more bytes in the same read
    std::vector<Bytes> later;  // per reply: what comes after it, for a follow-up read that waits
    Bytes pending;             // what has come and is not read yet
    Bytes coming;              // what comes while a follow-up read waits
    std::vector<int> followUpWaits; // the timeout of each read that sent nothing
    bool lockHeldDuringExchange = true;
};

PortScript g_script;

bool OtherThreadCanLock()
{
    std::atomic<bool> locked{false};
    std::thread other([&] {
        if (DeviceOperationLock().try_lock()) {
            locked = true;
            DeviceOperationLock().unlock();
        }
    });
    other.join();
    return locked;
}

} // namespace

extern "C" {
int KestleEnumDeviceProperty(char (*)[KESTLE_ENTRY_SIZE], int* count)
{
    *count = 0;
    return 0;
}
int KestleInitPort(int, const char*)
{
    ++g_script.inits;
    return g_script.initResult;
}
int KestleReadMsgFromPort_sync(int kind, const char* name, const unsigned char* request, int requestLength,
                               unsigned char* reply, int* replyLength, int timeoutSeconds)
{
    // where the first frame of what has come ends; 0: no whole frame yet
    auto frameEnd = [](const Bytes& in) -> size_t {
        auto data = std::find_if(in.begin(), in.end(), [](uint8_t b) { return b != DIAG_FLAG; });
        auto end = std::find(data, in.end(), DIAG_FLAG);
        return end == in.end() ? 0 : static_cast<size_t>(end - in.begin()) + 1;
    };
    // hands out the first frame of what has come; nothing: the library's timeout
    auto readFrame = [&]() {
        Bytes& in = g_script.pending;
        const size_t length = frameEnd(in) == 0 ? in.size() : frameEnd(in);
        const int n = std::min<int>(static_cast<int>(length), *replyLength);
        if (n > 0)
            std::memcpy(reply, in.data(), n);
        in.erase(in.begin(), in.begin() + n);
        *replyLength = n;
        return n > 0 ? 0 : 3;
    };
    if (requestLength == 0) {
        g_script.followUpWaits.push_back(timeoutSeconds);
        // a read that waits gets what comes while no whole frame is there
        if (timeoutSeconds > 0 && frameEnd(g_script.pending) == 0) {
            const Bytes more = std::exchange(g_script.coming, Bytes{});
            g_script.pending.insert(g_script.pending.end(), more.begin(), more.end());
        }
        return readFrame();
    }
    g_script.exchanges.push_back({kind, name, Bytes(request, request + requestLength), *replyLength, timeoutSeconds});
    if (OtherThreadCanLock())
        g_script.lockHeldDuringExchange = false;
    size_t index = std::min(g_script.exchanges.size() - 1, g_script.replies.size() - 1);
    const ScriptedReply& r = g_script.replies.at(index);
    // bytes of an earlier exchange are dropped before sending, as the library does
    g_script.pending = r.bytes;
    if (index < g_script.behind.size())
        g_script.pending.insert(g_script.pending.end(), g_script.behind[index].begin(), g_script.behind[index].end());
    g_script.coming = index < g_script.later.size() ? g_script.later[index] : Bytes{};
    if (r.result != 0) {
        *replyLength = 0;
        g_script.pending.clear();
        return r.result;
    }
    readFrame();
    return 0;
}
int KestleReadMsgFromPortUploadFile(int, const char*, const char*, int, unsigned char*, int*, int) { return 1; }
int KestleClosePort(int, const char*) { return 0; }
int KestleSendCmdByCDLogicDrive(const char*, const char*, const char*) { return 1; }
}

namespace {

Bytes Frame(const Bytes& packet, bool leading = false)
{
    uint8_t out[DIAG_SEND_BUFFER_SIZE];
    size_t n = 0;
    EXPECT_TRUE(FrameDiagPacket(packet.data(), packet.size(), leading, out, sizeof out, &n));
    return Bytes(out, out + n);
}

Bytes BadCrc(const Bytes& packet)
{
    Bytes frame = Frame(packet);
    frame[frame.size() - 2] ^= 0x01; // a CRC byte (no escape in the packets used)
    return frame;
}

Bytes NvReply(uint8_t code, uint8_t first, uint16_t status)
{
    Bytes p = {code, 0x26, 0x02, first};
    p.resize(3 + DIAG_NV_ITEM_SIZE, 0);
    p.push_back(static_cast<uint8_t>(status));
    p.push_back(static_cast<uint8_t>(status >> 8));
    return p;
}

class DiagTransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_script = PortScript{};
        std::strcpy(g_szPortName, "9");
        request_ = std::make_unique<DiagRequestRecord>();
        response_ = std::make_unique<DiagResponseRecord>();
    }

    void Typed(uint8_t code, const Bytes& head)
    {
        request_->code = code;
        request_->protocol = DIAG_PROTOCOL_TYPED;
        std::memcpy(request_->payload, head.data(), head.size());
        request_->payloadLength = DIAG_TYPED_REQUEST_SIZE;
    }
    void Raw(uint8_t code, uint16_t row, const Bytes& payload)
    {
        request_->code = code;
        request_->protocol = DIAG_PROTOCOL_RAW;
        request_->headerRow = row;
        if (!payload.empty())
            std::memcpy(request_->payload, payload.data(), payload.size());
        request_->payloadLength = static_cast<uint32_t>(payload.size());
    }
    void Script(std::vector<ScriptedReply> replies) { g_script.replies = std::move(replies); }
    int Send(uint8_t tries, int timeout = 2) { return DiagSendCmdToBack(request_.get(), response_.get(), tries, timeout); }
    Bytes Data() const { return Bytes(response_->data, response_->data + response_->dataLength); }

    std::unique_ptr<DiagRequestRecord> request_;
    std::unique_ptr<DiagResponseRecord> response_;
};

} // namespace

TEST_F(DiagTransportTest, RetriesUntilAGoodAnswerOrTheTriesRunOut)
{
    Bytes good = Frame(NvReply(0x26, 0xAB, 0));
    Bytes bad = BadCrc(NvReply(0x26, 0xAB, 0));
    Bytes wrongCode = Frame(NvReply(0x27, 0xAB, 0));
    struct Case {
        const char* name;
        std::vector<ScriptedReply> replies;
        uint8_t tries;
        uint8_t status;
        size_t exchanges;
    } cases[] = {
        {"first answer good", {{0, good}}, 3, DIAG_STATUS_OK, 1},
        {"two bad CRCs then good", {{0, bad}, {0, bad}, {0, good}}, 3, DIAG_STATUS_OK, 3},
        {"every answer bad", {{0, bad}}, 3, DIAG_STATUS_FAILED, 3},
        {"wrong first byte with good CRC", {{0, wrongCode}}, 1, DIAG_STATUS_FAILED, 1},
        {"wrong first byte, then good", {{0, wrongCode}, {0, good}}, 2, DIAG_STATUS_OK, 2},
        {"exchange failed, then good", {{1, {}}, {0, good}}, 2, DIAG_STATUS_OK, 2},
        {"answer without end flag", {{0, Bytes(good.begin(), good.end() - 1)}}, 2, DIAG_STATUS_FAILED, 2},
    };
    for (const Case& c : cases) {
        SetUp();
        Typed(DIAG_CMD_NV_READ, {0x26, 0x00, 0x26, 0x02});
        Script(c.replies);
        EXPECT_EQ(Send(c.tries), 0) << c.name;
        EXPECT_EQ(response_->status, c.status) << c.name;
        EXPECT_EQ(g_script.exchanges.size(), c.exchanges) << c.name;
        if (c.status == DIAG_STATUS_OK) {
            ASSERT_EQ(response_->dataLength, static_cast<int32_t>(DIAG_REPLY_RECORD_SIZE)) << c.name;
            EXPECT_EQ(response_->data[0], 0x26);
            EXPECT_EQ(response_->data[DIAG_REPLY_NV_DATA_OFFSET], 0xAB) << c.name;
        }
    }
}

TEST_F(DiagTransportTest, EveryTrySendsTheSameFrameOnTheCurrentPort)
{
    Typed(DIAG_CMD_NV_READ, {0x26, 0x00, 0x26, 0x02});
    Script({{0, BadCrc(NvReply(0x26, 0, 0))}});
    Send(3, 5);
    ASSERT_EQ(g_script.exchanges.size(), 3u);
    EXPECT_EQ(g_script.inits, 3);
    Bytes packet = {0x26, 0x26, 0x02};
    packet.resize(3 + DIAG_NV_ITEM_SIZE + 2, 0);
    for (const Exchange& e : g_script.exchanges) {
        EXPECT_EQ(e.kind, PORT_KIND_DIAG);
        EXPECT_EQ(e.name, "9");
        EXPECT_EQ(e.room, static_cast<int>(DIAG_RECEIVE_BUFFER_SIZE));
        EXPECT_EQ(e.timeout, 5);
        EXPECT_EQ(e.request, Frame(packet));
    }
    // status 2: the bytes of the last answer stay in the data
    EXPECT_EQ(response_->status, DIAG_STATUS_FAILED);
    EXPECT_EQ(Data(), BadCrc(NvReply(0x26, 0, 0)));
}

TEST_F(DiagTransportTest, PortNotReadyFailsEveryTryWithoutExchange)
{
    Typed(DIAG_CMD_VERSION, {0x39});
    Script({{0, Frame({0x39})}});
    g_script.initResult = 1;
    EXPECT_EQ(Send(2), 0);
    EXPECT_EQ(response_->status, DIAG_STATUS_FAILED);
    EXPECT_EQ(g_script.inits, 2);
    EXPECT_TRUE(g_script.exchanges.empty());
}

TEST_F(DiagTransportTest, LegacyEfsAnswerEndsTheTriesEvenWhenRejected)
{
    Typed(DIAG_CMD_LEGACY_EFS, {0x59, 0x02, 0x00, 0x00, 0x01, 'f'});
    Script({{0, Frame({0x59, 0x02, 0x06})}});
    std::wcscpy(DiagErrorText, L"");
    EXPECT_EQ(Send(3), 0);
    EXPECT_EQ(response_->status, DIAG_STATUS_OK);
    EXPECT_EQ(g_script.exchanges.size(), 1u);
    EXPECT_STREQ(DiagErrorText, L"File does not exist!");
    ASSERT_EQ(response_->dataLength, static_cast<int32_t>(DIAG_REPLY_RECORD_SIZE));
    EXPECT_EQ(response_->data[2], 0x06); // the EFS status as parsed
}

TEST_F(DiagTransportTest, RawRestoreRequestFramesTheHeaderRowAndReturnsTheAnswerBytes)
{
    Raw(DIAG_CMD_SUBSYSTEM, DIAG_HEADER_RESTORE_FACTORY, {});
    Bytes answer = Frame({0x4B, 0xCD, 0x18, 0x00, 0x00, 0x7E});
    Script({{0, answer}});
    EXPECT_EQ(Send(3, 5), 0);
    ASSERT_EQ(g_script.exchanges.size(), 1u);
    EXPECT_EQ(g_script.exchanges[0].request, (Bytes{0x4B, 0xCD, 0x18, 0x00, 0xC8, 0x84, 0x7E}));
    EXPECT_EQ(response_->status, DIAG_STATUS_OK);
    EXPECT_EQ(response_->dataLength, static_cast<int32_t>(answer.size()));
    Bytes head(response_->data, response_->data + 6);
    EXPECT_EQ(head, (Bytes{0x4B, 0xCD, 0x18, 0x00, 0x00, 0x7E})); // un-escaped
}

TEST_F(DiagTransportTest, SubsystemHeaderRows)
{
    struct Case {
        const char* name;
        uint16_t row;
        Bytes payload;
        Bytes packet;
    } cases[] = {
        {"download mode", DIAG_HEADER_DOWNLOAD_MODE, {0x01}, {0x4B, 0xAA, 0x00, 0x00, 0x01}},
        {"autorun", DIAG_HEADER_AUTORUN, {0x00}, {0x4B, 0xA1, 0x00, 0x00, 0x00}},
        {"EFS2 gets no header", DIAG_HEADER_AUTORUN, {0x4B, 0x13, 0x01, 0x00}, {0x4B, 0x13, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SetUp();
        Raw(DIAG_CMD_SUBSYSTEM, c.row, c.payload);
        Script({{0, Frame(c.packet)}});
        Send(1);
        ASSERT_EQ(g_script.exchanges.size(), 1u) << c.name;
        EXPECT_EQ(g_script.exchanges[0].request, Frame(c.packet)) << c.name;
        EXPECT_EQ(response_->status, DIAG_STATUS_OK) << c.name;
    }
}

TEST_F(DiagTransportTest, DownloadProtocolsSendALeadingFlag)
{
    request_->code = 0x0A;
    request_->protocol = DIAG_PROTOCOL_BOOT;
    request_->payload[0] = 0x0A;
    request_->payloadLength = 1;
    Bytes ack = Frame({0x02}, true);
    Script({{0, Bytes(ack.begin() + 1, ack.end())}}); // answered without its leading flag
    Send(1);
    ASSERT_EQ(g_script.exchanges.size(), 1u);
    EXPECT_EQ(g_script.exchanges[0].request, Frame({0x0A}, true));
    EXPECT_EQ(response_->status, DIAG_STATUS_OK);
}

TEST_F(DiagTransportTest, RequestsThatCannotBeSent)
{
    struct Case {
        const char* name;
        uint8_t protocol;
        uint32_t payloadLength;
        uint8_t tries;
        uint8_t status;
    } cases[] = {
        {"raw payload beyond the send buffer", DIAG_PROTOCOL_RAW, 3000, 2, DIAG_STATUS_FAILED},
        {"escaped frame beyond the send buffer", DIAG_PROTOCOL_STREAMING, 1500, 2, DIAG_STATUS_FAILED},
        {"zero tries", DIAG_PROTOCOL_RAW, 4, 0, DIAG_STATUS_NONE},
        {"unknown protocol", 9, 4, 2, DIAG_STATUS_FAILED},
    };
    for (const Case& c : cases) {
        SetUp();
        request_->code = 0x10;
        request_->protocol = c.protocol;
        std::memset(request_->payload, 0x7E, c.payloadLength);
        request_->payloadLength = c.payloadLength;
        Script({{0, Frame({0x10})}});
        EXPECT_EQ(Send(c.tries), 0) << c.name;
        EXPECT_EQ(response_->status, c.status) << c.name;
        if (c.protocol <= DIAG_PROTOCOL_RAW) {
            EXPECT_TRUE(g_script.exchanges.empty()) << c.name;
        }
    }
}

TEST_F(DiagTransportTest, ShortAnswersDoNotLeaveFieldsOfAnEarlierAnswer)
{
    Typed(DIAG_CMD_VERSION, {0x39});
    Bytes full = {0x39};
    full.resize(1 + 9 * 31 + 13 + 10, 'v');
    Script({{0, Frame(full)}});
    Send(1);
    ASSERT_EQ(response_->status, DIAG_STATUS_OK);
    EXPECT_EQ(response_->data[DiagVersionTextOffset(8)], 'v');

    SetUp();
    Typed(DIAG_CMD_VERSION, {0x39});
    Script({{0, Frame({0x39, 'a', 'b'})}});
    Send(1);
    ASSERT_EQ(response_->status, DIAG_STATUS_OK);
    EXPECT_EQ(response_->data[DiagVersionTextOffset(0)], 'a');
    EXPECT_EQ(response_->data[DiagVersionTextOffset(8)], 0);
}

TEST_F(DiagTransportTest, HoldsTheDeviceLockDuringTheExchange)
{
    Typed(DIAG_CMD_VERSION, {0x39});
    Script({{0, Frame({0x39})}});
    Send(1);
    ASSERT_EQ(g_script.exchanges.size(), 1u);
    EXPECT_TRUE(g_script.lockHeldDuringExchange);
    EXPECT_TRUE(OtherThreadCanLock());
}

TEST_F(DiagTransportTest, MissingRecordsAreRefusedAndTraced)
{
    // trace configuration is read from the current folder
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("diag_transport_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::path old = std::filesystem::current_path();
    std::ofstream(dir / "config.ini") << "[FEATURE]\r\nWriteLog=2\r\n";
    std::filesystem::current_path(dir);
    ResetTraceLogConfigForTests();
    {
        DebugCapture capture;
        EXPECT_EQ(DiagSendCmdToBack(nullptr, response_.get(), 1, 1), 41);
        EXPECT_EQ(DiagSendCmdToBack(request_.get(), nullptr, 1, 1), 41);
        EXPECT_EQ(capture.Count("FUN:DiagSendCmdToBack Result:41,TALLY_ERROR_INVALID_PARAMETER"), 2u);
    }
    std::filesystem::current_path(old);
    std::filesystem::remove_all(dir);
    ResetTraceLogConfigForTests();
    EXPECT_TRUE(g_script.exchanges.empty());
}

// Each DIAG operation against a port that never answers: how often it tries
// and the timeout it gives the port library each time.
TEST_F(DiagTransportTest, EveryOperationsTriesAndTimeoutOnASilentPort)
{
    static char imei[DIAG_IMEI_TEXT_SIZE];
    static NineVersionRecord versions;
    static const uint8_t image[DIAG_NV_ITEM_SIZE] = {8, 0x1A};
    const struct {
        const char* name;
        int (*run)();
        size_t tries;
        int timeout;
    } cases[] = {
        {"Diag_EnterTarselDownloadMode", Diag_EnterTarselDownloadMode, 1, 1},
        {"Diag_ExitTarselDownloadMode", Diag_ExitTarselDownloadMode, 1, 1},
        {"Diag_GetIMEI", [] { return Diag_GetIMEI(imei); }, 3, 2},
        {"Diag_WriteIMEI", [] { return Diag_WriteIMEI("123456789012345"); }, 3, 2},
        {"Diag_WriteNVData", [] { return Diag_WriteNVData(image); }, 3, 2},
        {"Diag_GetVersion", [] { return Diag_GetVersion(&versions); }, 1, 3},
        {"Diag_RestoreFactorySetting", Diag_RestoreFactorySetting, 3, 5},
        {"Diag_SwitchToQCDownloadMode", Diag_SwitchToQCDownloadMode, 1, 1},
        {"Diag_OpenAutoRun", Diag_OpenAutoRun, 2, 5},
        {"Diag_CloseAutoRun", Diag_CloseAutoRun, 2, 5},
        {"Diag_Offline", Diag_Offline, 1, 2},
        {"Diag_Restart", Diag_Restart, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Script({{3, {}}}); // the library's timeout
        EXPECT_EQ(c.run(), 1);
        ASSERT_EQ(g_script.exchanges.size(), c.tries);
        for (const Exchange& e : g_script.exchanges) {
            EXPECT_EQ(e.kind, PORT_KIND_DIAG);
            EXPECT_EQ(e.timeout, c.timeout);
        }
    }
}

TEST_F(DiagTransportTest, AnswerLedByAFlagOrBehindAnEventFrameIsTheOutcome)
{
    const Bytes nv = NvReply(0x26, 0xAB, 0);
    const Bytes restore = {0x4B, 0xCD, 0x18, 0x00, 0x00};
    const Bytes event = Frame({0x60, 0x00, 0x01});
    struct Case {
        const char* name;
        bool raw;
        Bytes first; // the first frame of the read
        Bytes behind; // what came behind it in the same read
        uint8_t status;
        size_t exchanges;
    } cases[] = {
        {"typed answer led by a flag", false, Frame(nv, true), {}, DIAG_STATUS_OK, 1},
        {"raw answer led by a flag", true, Frame(restore, true), {}, DIAG_STATUS_OK, 1},
        {"typed answer behind an event frame", false, event, Frame(nv), DIAG_STATUS_OK, 1},
        {"raw answer behind an event frame", true, event, Frame(restore), DIAG_STATUS_OK, 1},
        {"raw answer led by a flag behind an event frame", true, event, Frame(restore, true), DIAG_STATUS_OK, 1},
        {"event frame alone is no answer", true, event, {}, DIAG_STATUS_FAILED, 2},
    };
    for (const Case& c : cases) {
        SetUp();
        if (c.raw)
            Raw(DIAG_CMD_SUBSYSTEM, DIAG_HEADER_RESTORE_FACTORY, {});
        else
            Typed(DIAG_CMD_NV_READ, {0x26, 0x00, 0x26, 0x02});
        Script({{0, c.first}});
        g_script.behind = {c.behind};
        EXPECT_EQ(Send(2), 0) << c.name;
        EXPECT_EQ(response_->status, c.status) << c.name;
        EXPECT_EQ(g_script.exchanges.size(), c.exchanges) << c.name;
        if (c.status != DIAG_STATUS_OK)
            continue;
        if (c.raw) {
            EXPECT_EQ(Bytes(response_->data, response_->data + restore.size()), restore) << c.name;
        } else {
            EXPECT_EQ(response_->data[0], 0x26) << c.name;
            EXPECT_EQ(response_->data[DIAG_REPLY_NV_DATA_OFFSET], 0xAB) << c.name;
        }
    }
}

namespace {

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Head(const Bytes& frame) { return Bytes(frame.begin(), frame.begin() + frame.size() / 2); }
Bytes Tail(const Bytes& frame) { return Bytes(frame.begin() + frame.size() / 2, frame.end()); }

const Bytes kEvent = Frame({0x60, 0x00, 0x01});

} // namespace

// Several frames within one try: which of them is the outcome, and whether the
// port is read on after a frame that is not the answer.
TEST_F(DiagTransportTest, TheLastAnswerOfATryIsItsOutcome)
{
    const Bytes older = Frame(NvReply(0x26, 0x11, 0));
    const Bytes newer = Frame(NvReply(0x26, 0x22, 0));
    const Bytes restoreRefused = Frame({0x4B, 0xCD, 0x18, 0x00, 0x01});
    const Bytes restoreDone = Frame({0x4B, 0xCD, 0x18, 0x00, 0x00});
    const Bytes autorun = Frame({0x4B, 0xA1, 0x00, 0x00, 0x01});
    struct Case {
        const char* name;
        bool raw; // the restore request; else the NV read
        std::vector<ScriptedReply> replies;
        Bytes later; // comes while a follow-up read of the first exchange waits
        uint8_t tries;
        uint8_t status;
        size_t exchanges;
        uint8_t mark;  // NV data byte, or the restore answer's status byte
        bool waited;   // some follow-up read was given time
    } cases[] = {
        {"two answers in one read: the later", false, {{0, Join({older, newer})}}, {}, 3, DIAG_STATUS_OK, 1, 0x22, false},
        {"an answer, then an event frame", false, {{0, Join({newer, kEvent})}}, {}, 1, DIAG_STATUS_OK, 1, 0x22, false},
        {"a stale answer, the current one cut across two reads", false, {{0, Join({older, Head(newer)})}},
         Tail(newer), 1, DIAG_STATUS_OK, 1, 0x22, true},
        {"an event frame, the answer in the next read", false, {{0, kEvent}}, newer, 1, DIAG_STATUS_OK, 1, 0x22, true},
        {"an answer of another code, ours in the next read", false, {{0, Frame(NvReply(0x27, 0x11, 0))}}, newer, 1,
         DIAG_STATUS_OK, 1, 0x22, true},
        {"an event frame and the start of the answer, its rest next", false, {{0, Join({kEvent, Head(newer)})}},
         Tail(newer), 1, DIAG_STATUS_OK, 1, 0x22, true},
        {"an event frame and nothing more", false, {{0, kEvent}}, {}, 2, DIAG_STATUS_FAILED, 2, 0, true},
        {"a damaged answer is retried at once", false, {{0, BadCrc(NvReply(0x26, 0x11, 0))}, {0, newer}}, newer, 2,
         DIAG_STATUS_OK, 2, 0x22, false},
        {"an error reply fails the try at once", false, {{0, Frame({0x13, 0x26, 0x26, 0x02})}}, newer, 1,
         DIAG_STATUS_FAILED, 1, 0, false},
        {"a foreign subsystem answer, then the retry's", true, {{0, autorun}, {0, restoreDone}}, {}, 3,
         DIAG_STATUS_OK, 2, 0x00, true},
        {"a foreign subsystem answer, ours in the next read", true, {{0, autorun}}, restoreDone, 1, DIAG_STATUS_OK, 1,
         0x00, true},
        {"the same subsystem, another command", true, {{0, Frame({0x4B, 0xCD, 0x19, 0x00, 0x00})}}, {}, 1,
         DIAG_STATUS_FAILED, 1, 0, true},
        {"two raw answers in one read: the later", true, {{0, Join({restoreRefused, restoreDone})}}, {}, 3,
         DIAG_STATUS_OK, 1, 0x00, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        if (c.raw)
            Raw(DIAG_CMD_SUBSYSTEM, DIAG_HEADER_RESTORE_FACTORY, {});
        else
            Typed(DIAG_CMD_NV_READ, {0x26, 0x00, 0x26, 0x02});
        Script(c.replies);
        g_script.later = {c.later};
        EXPECT_EQ(Send(c.tries, 5), 0);
        EXPECT_EQ(response_->status, c.status);
        EXPECT_EQ(g_script.exchanges.size(), c.exchanges);
        const bool waited = std::any_of(g_script.followUpWaits.begin(), g_script.followUpWaits.end(),
                                        [](int wait) { return wait > 0; });
        EXPECT_EQ(waited, c.waited);
        if (c.status != DIAG_STATUS_OK || response_->status != DIAG_STATUS_OK)
            continue;
        // the data of the status-1 answer: the raw bytes, or the parsed record
        if (c.raw) {
            EXPECT_EQ(Bytes(response_->data, response_->data + 5), (Bytes{0x4B, 0xCD, 0x18, 0x00, c.mark}));
        } else {
            EXPECT_EQ(response_->dataLength, static_cast<int32_t>(DIAG_REPLY_RECORD_SIZE));
            EXPECT_EQ(response_->data[DIAG_REPLY_NV_DATA_OFFSET], c.mark);
        }
    }
}

// Reading on after a frame that is not the answer takes the rest of the try's
// time, never more than the try had.
TEST_F(DiagTransportTest, AReadBehindAForeignFrameGetsTheRestOfTheTry)
{
    Typed(DIAG_CMD_NV_READ, {0x26, 0x00, 0x26, 0x02});
    Script({{0, kEvent}});
    Send(1, 5);
    ASSERT_FALSE(g_script.followUpWaits.empty());
    EXPECT_GE(g_script.followUpWaits[0], 1);
    EXPECT_LE(g_script.followUpWaits[0], 5);
}

namespace {

Bytes NvImeiReply(uint8_t code, const char* imei, uint16_t status)
{
    uint8_t image[DIAG_NV_ITEM_SIZE];
    PackImeiImage(imei, image);
    Bytes p = {code, 0x26, 0x02};
    p.insert(p.end(), image, image + DIAG_NV_ITEM_SIZE);
    p.push_back(static_cast<uint8_t>(status));
    p.push_back(static_cast<uint8_t>(status >> 8));
    return Frame(p);
}

} // namespace

// The operations over a port whose answers come late, twice, or behind
// another request's answer: never an older value or a refused action taken.
TEST_F(DiagTransportTest, OperationsTakeTheirOwnLatestAnswer)
{
    static char imei[DIAG_IMEI_TEXT_SIZE];
    static NineVersionRecord versions;
    const Bytes restoreDone = Frame({0x4B, 0xCD, 0x18, 0x00, 0x00});
    const Bytes autorunOpen = Frame({0x4B, 0xA1, 0x00, 0x00, 0x01});
    const Bytes downloadDone = Frame({0x4B, 0xAA, 0x00, 0x00, 0x00});
    Bytes version = {0x39};
    version.resize(1 + 9 * 31 + 13 + 10, 'v');
    const struct {
        const char* name;
        int (*run)();
        std::vector<ScriptedReply> replies;
        Bytes later; // behind the first exchange's frames, in the next read
        int result;
        size_t exchanges;
    } cases[] = {
        {"Diag_GetIMEI: a stale answer and the current one in one read",
         [] { return Diag_GetIMEI(imei) == 0 && std::string(imei) == "356938035643809" ? 0 : 1; },
         {{0, Join({NvImeiReply(0x26, "123456789012345", 0), NvImeiReply(0x26, "356938035643809", 0)})}}, {}, 0, 1},
        {"Diag_WriteIMEI: a stale refusal and the current answer in one read",
         [] { return Diag_WriteIMEI("356938035643809"); },
         {{0, Join({NvImeiReply(0x27, "123456789012345", 5), NvImeiReply(0x27, "356938035643809", 0)})}}, {}, 0, 1},
        {"Diag_RestoreFactorySetting: another subsystem's answer, then the retry's",
         Diag_RestoreFactorySetting, {{0, autorunOpen}, {0, restoreDone}}, {}, 0, 2},
        {"Diag_RestoreFactorySetting: only other subsystems' answers", Diag_RestoreFactorySetting,
         {{0, autorunOpen}}, {}, 1, 3},
        {"Diag_CloseAutoRun: only the download mode's answer", Diag_CloseAutoRun, {{0, downloadDone}}, {}, 1, 2},
        {"Diag_EnterTarselDownloadMode: only the autorun's answer", Diag_EnterTarselDownloadMode,
         {{0, autorunOpen}}, {}, 1, 1},
        {"Diag_EnterTarselDownloadMode: an event frame, the answer in the next read",
         Diag_EnterTarselDownloadMode, {{0, kEvent}}, downloadDone, 0, 1},
        {"Diag_ExitTarselDownloadMode: the autorun's answer, ours in the next read", Diag_ExitTarselDownloadMode,
         {{0, autorunOpen}}, downloadDone, 0, 1},
        {"Diag_Offline: an event frame, the answer in the next read", Diag_Offline, {{0, kEvent}},
         Frame({0x29, 0x01, 0x00}), 0, 1},
        {"Diag_SwitchToQCDownloadMode: an event frame, the answer in the next read", Diag_SwitchToQCDownloadMode,
         {{0, kEvent}}, Frame({0x3A}), 0, 1},
        {"Diag_Restart: an event frame, the answer in the next read", Diag_Restart, {{0, kEvent}},
         Frame({0x29, 0x02, 0x00}), 0, 1},
        {"Diag_GetVersion: an event frame, the answer in the next read",
         [] { return Diag_GetVersion(&versions); }, {{0, kEvent}}, Frame(version), 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        std::memset(imei, 0, sizeof imei);
        versions = {};
        Script(c.replies);
        g_script.later = {c.later};
        EXPECT_EQ(c.run(), c.result);
        EXPECT_EQ(g_script.exchanges.size(), c.exchanges);
    }
}
