// Watch threads list ports while workers exchange, as the tools do; run under
// ThreadSanitizer this also checks the library's own state.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/portlib/KestlePortServer.h"
#include "tests/unit/portlib/portlib_test_util.h"

using namespace portlib_test;

namespace {

bool AtRoundTrip(const char* com, const std::string& command, const std::string& expected)
{
    if (KestleInitPort(PORT_KIND_AT, com) != 0)
        return false;
    std::string reply(1024, '\0');
    int length = 1024;
    const int rc = KestleReadMsgFromPort_sync(PORT_KIND_AT, com, reinterpret_cast<const unsigned char*>(command.data()),
                                              static_cast<int>(command.size()),
                                              reinterpret_cast<unsigned char*>(reply.data()), &length, 1000);
    return rc == 0 && reply.substr(0, static_cast<size_t>(length)) == expected;
}

TEST(Concurrency, ListingWhileExchangingOnSeveralPorts)
{
    DeviceFolder folder;
    folder.SetListing({"Kestle Diagnostics Interface (COM5) USB\\VID_ABCD&PID_0125&MI_00",
                       "Kestle USB nmea Interface (COM6) USB\\VID_ABCD&PID_0125&MI_01",
                       "Kestle USB Modem (COM7) USB\\VID_ABCD&PID_0125&MI_02"});
    auto echoOk = [](PtyPeer& peer, const std::string& request) { peer.Write(request + "\r\nOK\r\n"); };
    PtyPeer diag([](PtyPeer& peer, const std::string& request) { peer.Write(request); });
    PtyPeer at(echoOk);
    PtyPeer modem(echoOk);
    folder.LinkCom(5, diag.SlavePath());
    folder.LinkCom(6, at.SlavePath());
    folder.LinkCom(7, modem.SlavePath());
    LoopbackHttpServer server;
    server.Answer(200, "ok");
    folder.SetHttp("device.test " + std::to_string(server.Port()) + "\n");

    constexpr int kRounds = 60;
    std::atomic<int> failures{0};
    std::atomic<bool> working{true};
    std::vector<std::thread> threads;
    for (int w = 0; w < 3; ++w) {
        threads.emplace_back([&] {
            while (working) {
                char entries[16][KESTLE_ENTRY_SIZE];
                int count = 16;
                if (KestleEnumDeviceProperty(entries, &count) != 0 || count != 3)
                    ++failures;
            }
        });
    }
    std::vector<std::thread> workers;
    workers.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            const std::string command = "AT+N=" + std::to_string(i) + "\r";
            if (!AtRoundTrip("6", command, command + "\r\nOK\r\n"))
                ++failures;
        }
    });
    // a second AT user on the same port: each exchange is whole
    workers.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            const std::string command = "AT+M=" + std::to_string(i) + "\r";
            if (!AtRoundTrip("6", command, command + "\r\nOK\r\n"))
                ++failures;
        }
    });
    // the modem port is opened and closed again and again
    workers.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (!AtRoundTrip("7", "AT\r", "AT\r\r\nOK\r\n"))
                ++failures;
            KestleClosePort(PORT_KIND_AT, "7");
        }
    });
    workers.emplace_back([&] {
        const std::string frame("\x0C\x14\x7E", 3);
        for (int i = 0; i < kRounds; ++i) {
            unsigned char reply[1024];
            int length = sizeof reply;
            if (KestleInitPort(PORT_KIND_DIAG, "5") != 0 ||
                KestleReadMsgFromPort_sync(PORT_KIND_DIAG, "5", reinterpret_cast<const unsigned char*>(frame.data()), 3,
                                           reply, &length, 1000) != 0 ||
                std::string(reinterpret_cast<char*>(reply), static_cast<size_t>(length)) != frame)
                ++failures;
        }
    });
    workers.emplace_back([&] {
        for (int i = 0; i < kRounds / 4; ++i) {
            unsigned char reply[256];
            int length = sizeof reply;
            const unsigned char request[] = "cmd=imei";
            if (KestleInitPort(PORT_KIND_HTTP, "") != 0 ||
                KestleReadMsgFromPort_sync(PORT_KIND_HTTP, "http://device.test/goform/goform_get_cmd_process",
                                           request, 8, reply, &length, 100) != 0)
                ++failures;
            KestleClosePort(PORT_KIND_HTTP, "");
        }
    });
    for (auto& t : workers)
        t.join();
    working = false;
    for (auto& t : threads)
        t.join();
    for (const char* com : {"5", "6", "7"})
        KestleClosePort(PORT_KIND_AT, com);
    EXPECT_EQ(0, failures.load());
}

}  // namespace
