// AT and DIAG exchanges against a pseudo-terminal that plays the modem.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "platform/portlib/KestlePortServer.h"
#include "platform/win/clock.h"
#include "tests/support/gate.h"
#include "tests/support/timeout_scale.h"
#include "tests/unit/portlib/library_debug.h"
#include "tests/unit/portlib/portlib_test_util.h"

using namespace portlib_test;

namespace kp = kestle_portlib;

namespace {

constexpr int kCom = 6;
constexpr int kRoom = 102400;
const std::string kCops = "\r\n+COPS: (2,\"Op\",\"Op\",\"00101\",7),,(0-4),(0-2)\r\n";

struct Outcome {
    int rc = -1;
    std::string reply;
    double ms = 0;
};

Outcome Exchange(int kind, const std::string& request, int timeout, int room = kRoom, int com = kCom)
{
    std::string buffer(static_cast<size_t>(room), '\0');
    int length = room;
    Outcome out;
    const auto start = std::chrono::steady_clock::now();
    out.rc = KestleReadMsgFromPort_sync(kind, std::to_string(com).c_str(),
                                        reinterpret_cast<const unsigned char*>(request.data()),
                                        static_cast<int>(request.size()),
                                        reinterpret_cast<unsigned char*>(buffer.data()), &length, timeout);
    out.ms = ElapsedMs(start);
    out.reply = buffer.substr(0, static_cast<size_t>(std::max(length, 0)));
    return out;
}

// The exchanges' timeout in real ms.
double RealMs(int seconds) { return TimeoutScaledMs(static_cast<uint32_t>(seconds) * 1000u); }

class SerialExchange : public ::testing::Test {
protected:
    void Start(PtyPeer::Handler handler)
    {
        peer_ = std::make_unique<PtyPeer>(std::move(handler));
        folder_.LinkCom(kCom, peer_->SlavePath());
        ASSERT_EQ(0, KestleInitPort(PORT_KIND_AT, "6"));
    }
    void TearDown() override
    {
        KestleClosePort(PORT_KIND_AT, "6");
        peer_.reset();
    }
    DeviceFolder folder_;
    std::unique_ptr<PtyPeer> peer_;
};

TEST_F(SerialExchange, CompleteRepliesReturnAtOnce)
{
    const std::map<std::string, std::string> answers = {
        {"AT+CIMI\r", "AT+CIMI\r\r\n001010123456789\r\n\r\nOK\r\n"},
        {"AT+X\r", "\r\nERROR\r\n"},
        {"AT+CPIN?\r", "\r\n+CME ERROR: 10\r\n"},
        {"AT+CMGS=1\r", "\r\n+CMS ERROR: 500\r\n"},
        {"AT+CMGW\r", "\r\n> "},
        {"AT+ZNO\r", "\r\nnot support\r\n"},
    };
    Start([=](PtyPeer& peer, const std::string& request) {
        auto it = answers.find(request);
        if (it != answers.end())
            peer.Write(it->second);
    });
    for (const auto& [request, answer] : answers) {
        // a timeout of 1000 s: only the complete reply can end the wait
        const Outcome out = Exchange(PORT_KIND_AT, request, 1000);
        EXPECT_EQ(0, out.rc) << request;
        EXPECT_EQ(answer, out.reply) << request;
        EXPECT_LT(out.ms, RealMs(1000) / 2) << request;
    }
    EXPECT_EQ(answers.size(), peer_->Requests().size());
}

TEST_F(SerialExchange, PartialReplyReturnsAtTheTimeoutWithWhatCame)
{
    Start([](PtyPeer& peer, const std::string&) { peer.Write("AT\r\r\nO"); });
    // a whole real second: the part that comes is in, however busy the machine
    const Outcome out = Exchange(PORT_KIND_AT, "AT\r", 1);
    EXPECT_EQ(0, out.rc);
    EXPECT_EQ("AT\r\r\nO", out.reply);
    EXPECT_GE(out.ms, RealMs(1) * 0.9);
}

TEST_F(SerialExchange, SilenceIsAFailureAtTheTimeout)
{
    Start([](PtyPeer&, const std::string&) {});
    tooltest::ScopedTimeoutScale shortTimeouts;
    const Outcome out = Exchange(PORT_KIND_AT, "AT\r", 1);
    EXPECT_NE(0, out.rc);
    EXPECT_EQ("", out.reply);
}

TEST_F(SerialExchange, FollowUpReadTakesTheRestWithoutSending)
{
    // the list comes only once the first read has ended; that read waits a whole
    // real second, so that the echo is in however busy the machine
    tooltest::Gate firstReadOver;
    Start([firstReadOver](PtyPeer& peer, const std::string&) {
        peer.Write("AT+COPS=?\r\r\n");
        firstReadOver.Wait();
        peer.Write(kCops + "\r\nOK\r\n");
    });
    const Outcome first = Exchange(PORT_KIND_AT, "AT+COPS=?\r", 1);
    firstReadOver.Open();
    EXPECT_EQ(0, first.rc);
    EXPECT_EQ("AT+COPS=?\r\r\n", first.reply);
    const Outcome rest = Exchange(PORT_KIND_AT, "", 60);
    EXPECT_EQ(0, rest.rc);
    EXPECT_EQ(kCops + "\r\nOK\r\n", rest.reply);
    EXPECT_LT(rest.ms, RealMs(60) / 2);
    EXPECT_EQ(1u, peer_->Requests().size());
}

TEST_F(SerialExchange, FollowUpReadAfterTheScanListEndsAtItsOk)
{
    tooltest::Gate firstReadOver;  // the OK comes only once the first read has ended
    Start([firstReadOver](PtyPeer& peer, const std::string&) {
        peer.Write("AT+COPS=?\r\r\n" + kCops);
        firstReadOver.Wait();
        peer.Write("\r\nOK\r\n");
    });
    const Outcome first = Exchange(PORT_KIND_AT, "AT+COPS=?\r", 1);
    firstReadOver.Open();
    EXPECT_EQ("AT+COPS=?\r\r\n" + kCops, first.reply);
    // the list came already: the OK alone ends the follow-up read, long before its timeout
    const Outcome rest = Exchange(PORT_KIND_AT, "", 60);
    EXPECT_EQ(0, rest.rc);
    EXPECT_EQ("\r\nOK\r\n", rest.reply);
    EXPECT_LT(rest.ms, RealMs(60) / 2);
}

TEST_F(SerialExchange, OperatorScanWaitsForItsListAndFinalCode)
{
    Start([scans = 0](PtyPeer& peer, const std::string&) mutable {
        if (++scans == 1) {
            peer.Write("\r\nOK\r\n");  // a stray code before the list does not end the scan
            Sleep(500);
            peer.Write(kCops);
            Sleep(2000);
            peer.Write("\r\nOK\r\n");
        } else if (scans == 2) {
            peer.Write("\r\n+CME ERROR: 30\r\n");
        } else {
            peer.Write("\r\n+COPS: ,,(0-4),(0-2)\r\n\r\nOK\r\n");
        }
    });
    const Outcome scan = Exchange(PORT_KIND_AT, "AT+COPS=?\r", 1000);
    EXPECT_EQ(0, scan.rc);
    EXPECT_EQ("\r\nOK\r\n" + kCops + "\r\nOK\r\n", scan.reply);
    EXPECT_LT(scan.ms, RealMs(1000) / 2);
    const Outcome refused = Exchange(PORT_KIND_AT, "AT+COPS=?\r", 1000);
    EXPECT_EQ("\r\n+CME ERROR: 30\r\n", refused.reply);
    EXPECT_LT(refused.ms, RealMs(1000) / 2);
    // a scan that finds no network ends at its OK
    const Outcome empty = Exchange(PORT_KIND_AT, "AT+COPS=?\r", 1000);
    EXPECT_EQ(0, empty.rc);
    EXPECT_EQ("\r\n+COPS: ,,(0-4),(0-2)\r\n\r\nOK\r\n", empty.reply);
    EXPECT_LT(empty.ms, RealMs(1000) / 2);
}

TEST_F(SerialExchange, LateTextIsNotTakenForTheNextReply)
{
    Start([](PtyPeer& peer, const std::string&) { peer.Write("\r\nOK\r\n"); });
    peer_->Write("\r\n+CREG: 1\r\n\r\nOK\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const Outcome out = Exchange(PORT_KIND_AT, "AT\r", 1000);
    EXPECT_EQ(0, out.rc);
    EXPECT_EQ("\r\nOK\r\n", out.reply);
}

TEST_F(SerialExchange, ReplyLargerThanTheRoomIsCutAndFails)
{
    const std::string big = "AT+CGMR\r\r\n" + std::string(40, 'v') + "\r\n\r\nOK\r\n";
    Start([=](PtyPeer& peer, const std::string&) { peer.Write(big); });
    std::string buffer(32, '#');
    int length = 16;
    const int rc = KestleReadMsgFromPort_sync(PORT_KIND_AT, "6", reinterpret_cast<const unsigned char*>("AT+CGMR\r"), 8,
                                              reinterpret_cast<unsigned char*>(buffer.data()), &length, 1000);
    EXPECT_NE(0, rc);
    EXPECT_EQ(15, length);
    EXPECT_EQ(big.substr(0, 15), buffer.substr(0, 15));
    EXPECT_EQ('\0', buffer[15]);
    EXPECT_EQ(std::string(16, '#'), buffer.substr(16));
}

TEST_F(SerialExchange, PortVanishingDuringTheExchangeFailsAtOnce)
{
    Start([](PtyPeer& peer, const std::string&) {
        peer.Write("AT+CSQ\r\r\n+CSQ: ");
        peer.CloseMaster();
    });
    LibraryDebug debug;
    const Outcome out = Exchange(PORT_KIND_AT, "AT+CSQ\r", 1000);
    EXPECT_EQ(kp::kPortFailed, out.rc);
    EXPECT_LT(out.ms, RealMs(1000) / 2);
    EXPECT_EQ(1u, debug.Count(folder_.Path() + "/COM6: the port went away during the exchange")) << debug.All();
    folder_.UnlinkCom(kCom);
    EXPECT_NE(0, KestleInitPort(PORT_KIND_AT, "6"));
    EXPECT_NE(0, Exchange(PORT_KIND_AT, "AT\r", 1).rc);
}

TEST_F(SerialExchange, PortComesBackAfterTheDeviceReturns)
{
    Start([](PtyPeer& peer, const std::string&) { peer.CloseMaster(); });
    EXPECT_NE(0, Exchange(PORT_KIND_AT, "AT\r", 1000).rc);
    // the device is back on a new pseudo-terminal under the same name
    PtyPeer again([](PtyPeer& peer, const std::string&) { peer.Write("\r\nOK\r\n"); });
    folder_.LinkCom(kCom, again.SlavePath());
    ASSERT_EQ(0, KestleInitPort(PORT_KIND_AT, "6"));
    const Outcome out = Exchange(PORT_KIND_AT, "AT\r", 1000);
    EXPECT_EQ(0, out.rc);
    EXPECT_EQ("\r\nOK\r\n", out.reply);
    KestleClosePort(PORT_KIND_AT, "6");
}

TEST_F(SerialExchange, InitFollowsTheLinkToAnotherTerminal)
{
    Start([](PtyPeer& peer, const std::string&) { peer.Write("\r\nOK\r\n"); });
    EXPECT_EQ("\r\nOK\r\n", Exchange(PORT_KIND_AT, "AT\r", 1000).reply);
    PtyPeer other([](PtyPeer& peer, const std::string&) { peer.Write("\r\nERROR\r\n"); });
    folder_.LinkCom(kCom, other.SlavePath());
    ASSERT_EQ(0, KestleInitPort(PORT_KIND_AT, "6"));
    EXPECT_EQ("\r\nERROR\r\n", Exchange(PORT_KIND_AT, "AT\r", 1000).reply);
    KestleClosePort(PORT_KIND_AT, "6");
}

TEST_F(SerialExchange, PortStaysOpenUntilClosed)
{
    Start([](PtyPeer& peer, const std::string&) { peer.Write("\r\nOK\r\n"); });
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(0, Exchange(PORT_KIND_AT, "AT\r", 1000).rc);
    EXPECT_EQ(0, KestleClosePort(PORT_KIND_AT, "6"));
    EXPECT_NE(0, Exchange(PORT_KIND_AT, "AT\r", 1).rc);
    EXPECT_EQ(0, KestleInitPort(PORT_KIND_AT, "6"));
    EXPECT_EQ(0, Exchange(PORT_KIND_AT, "AT\r", 1000).rc);
    // the other kinds' close of the same name, as a port change does it
    for (int kind : {PORT_KIND_AT, PORT_KIND_DIAG, PORT_KIND_HTTP, PORT_KIND_CLOSE_ONLY})
        EXPECT_EQ(0, KestleClosePort(kind, "6"));
    EXPECT_NE(0, Exchange(PORT_KIND_AT, "AT\r", 1).rc);
}

TEST_F(SerialExchange, DiagExchangesEndAtTheEndFlag)
{
    const std::string answer("\x4B\x01\x00\x7D\x5E\x02\x7E", 7);
    const std::string download("\x7E\x02\x6A\xD3\x7E", 5);
    Start([=](PtyPeer& peer, const std::string& request) {
        if (request[0] == 0x4B && request[1] == 0x02)
            peer.Write(answer + std::string("\x13\x4B\x02\x55\x66\x7E", 6));
        else if (request[0] == 0x4B)
            peer.Write(answer);
        else if (request[1] == 0x02)
            peer.Write(download);
        else
            peer.Write(std::string("\x29\x00", 2));  // never ends
    });
    ASSERT_EQ(0, KestleInitPort(PORT_KIND_DIAG, "6"));
    const Outcome typed = Exchange(PORT_KIND_DIAG, std::string("\x4B\x01\x00\x00\x11\x22\x7E", 7), 1000, 1024);
    EXPECT_EQ(0, typed.rc);
    EXPECT_EQ(answer, typed.reply);
    EXPECT_LT(typed.ms, RealMs(1000) / 2);
    const Outcome flagged = Exchange(PORT_KIND_DIAG, std::string("\x7E\x02\x6A\xD3\x7E", 5), 1000, 1024);
    EXPECT_EQ(download, flagged.reply);
    // a second frame read with the answer is not part of it
    const Outcome two = Exchange(PORT_KIND_DIAG, std::string("\x4B\x02\x7E", 3), 1000, 1024);
    EXPECT_EQ(0, two.rc);
    EXPECT_EQ(answer, two.reply);
    // ... it is what a follow-up read gets
    const Outcome behind = Exchange(PORT_KIND_DIAG, "", 1000, 1024);
    EXPECT_EQ(0, behind.rc);
    EXPECT_EQ(std::string("\x13\x4B\x02\x55\x66\x7E", 6), behind.reply);
    EXPECT_LT(behind.ms, RealMs(1000) / 2);
    // a whole real second for the part that comes
    const Outcome partial = Exchange(PORT_KIND_DIAG, std::string("\x29\x01\x02\x7E", 4), 1, 1024);
    EXPECT_EQ(0, partial.rc);
    EXPECT_EQ(std::string("\x29\x00", 2), partial.reply);
}

TEST_F(SerialExchange, DiagAnswerLongerThanTheRoomIsCut)
{
    const std::string answer = std::string(20, '\x11') + "\x7E";
    Start([=](PtyPeer& peer, const std::string&) { peer.Write(answer); });
    std::string buffer(16, '#');
    int length = 8;
    const std::string frame("\x4B\x7E", 2);
    EXPECT_NE(0, KestleReadMsgFromPort_sync(PORT_KIND_DIAG, "6", reinterpret_cast<const unsigned char*>(frame.data()),
                                            2, reinterpret_cast<unsigned char*>(buffer.data()), &length, 1000));
    EXPECT_EQ(8, length);
    EXPECT_EQ(std::string(8, '\x11') + std::string(8, '#'), buffer);
}

TEST(SerialPortErrors, BadNamesMissingTtysAndBadArguments)
{
    DeviceFolder folder;
    for (const char* name : {"", "abc", "0", "5x", "-5", " 5", "99999999"})
        EXPECT_NE(0, KestleInitPort(PORT_KIND_AT, name)) << name;
    EXPECT_NE(0, KestleInitPort(PORT_KIND_AT, nullptr));
    EXPECT_NE(0, KestleInitPort(3, "5"));
    EXPECT_NE(0, KestleInitPort(PORT_KIND_DIAG, "5"));  // no COM5 link in the folder
    EXPECT_NE(0, Exchange(PORT_KIND_AT, "AT\r", 1, kRoom, 5).rc);  // never opened
    {
        EnvGuard realDevices("KESTLE_DEVICE_DIR", nullptr);
        EXPECT_NE(0, KestleInitPort(PORT_KIND_AT, "9876"));  // no ttyACM9775 here
    }
    int length = 10;
    unsigned char reply[10];
    EXPECT_NE(0, KestleReadMsgFromPort_sync(PORT_KIND_AT, "5", nullptr, 3, reply, &length, 1));
    EXPECT_NE(0, KestleReadMsgFromPort_sync(PORT_KIND_AT, "5", reply, 1, nullptr, &length, 1));
    EXPECT_NE(0, KestleReadMsgFromPort_sync(PORT_KIND_AT, "5", reply, 1, reply, nullptr, 1));
    length = 0;
    EXPECT_NE(0, KestleReadMsgFromPort_sync(PORT_KIND_AT, "5", reply, 1, reply, &length, 1));
    EXPECT_EQ(0, KestleClosePort(PORT_KIND_AT, "5"));  // closing what is not open is harmless
    EXPECT_NE(0, KestleClosePort(7, "5"));
}

}  // namespace
