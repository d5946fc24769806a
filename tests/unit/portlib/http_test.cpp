// goform requests and uploads against a loopback web server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/portlib/KestlePortServer.h"
#include "platform/win/clock.h"
#include "tests/support/timeout_scale.h"
#include "tests/unit/portlib/portlib_test_util.h"

using namespace portlib_test;

namespace {

struct Outcome {
    int rc = -1;
    std::string reply;
    int length = 0;
    double ms = 0;
};

// a generous timeout unless the test is about it: loaded machines are slow
Outcome Send(const std::string& url, const std::string& request, int room = 256, int timeout = 100)
{
    std::string buffer(static_cast<size_t>(room), '\0');
    Outcome out;
    out.length = room;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, KestleInitPort(PORT_KIND_HTTP, ""));
    out.rc = KestleReadMsgFromPort_sync(PORT_KIND_HTTP, url.c_str(), reinterpret_cast<const unsigned char*>(request.data()),
                                        static_cast<int>(request.size()),
                                        reinterpret_cast<unsigned char*>(buffer.data()), &out.length, timeout);
    EXPECT_EQ(0, KestleClosePort(PORT_KIND_HTTP, ""));
    out.ms = ElapsedMs(start);
    out.reply = buffer.c_str();
    return out;
}

Outcome Upload(const std::string& url, const std::string& path, int room = 256)
{
    std::string buffer(static_cast<size_t>(room), '\0');
    Outcome out;
    out.length = room;
    out.rc = KestleReadMsgFromPortUploadFile(PORT_KIND_HTTP, url.c_str(), path.c_str(), 0,
                                             reinterpret_cast<unsigned char*>(buffer.data()), &out.length, 100);
    out.reply = buffer.c_str();
    return out;
}

class Http : public ::testing::Test {
protected:
    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(server_.Port()) + path;
    }
    EnvGuard realDevices_{"KESTLE_DEVICE_DIR", nullptr};
    LoopbackHttpServer server_;
};

TEST_F(Http, GetPathSendsTheRequestAsQuery)
{
    server_.Answer(200, "{\"imei\":\"123456789012345\"}");
    struct Case {
        const char* request;
        const char* target;
    };
    const Case cases[] = {
        {"cmd=imei", "/goform/goform_get_cmd_process?cmd=imei"},
        {"cmd=a b", "/goform/goform_get_cmd_process?cmd=a%20b"},  // blanks go as they stand, escaped
        {"", "/goform/goform_get_cmd_process"},
    };
    for (const Case& c : cases) {
        const Outcome out = Send(Url("/goform/goform_get_cmd_process"), c.request);
        EXPECT_EQ(0, out.rc) << c.request;
        EXPECT_EQ("{\"imei\":\"123456789012345\"}", out.reply);
        EXPECT_EQ(static_cast<int>(out.reply.size()), out.length);
        ASSERT_FALSE(server_.Seen().empty());
        EXPECT_EQ("GET", server_.Seen().back().method);
        EXPECT_EQ(c.target, server_.Seen().back().target);
    }
}

TEST_F(Http, OtherPathsPostTheRequestAsForm)
{
    server_.Answer(200, "{\"result\":\"success\"}");
    for (const char* path : {"/goform/goform_set_cmd_process", "/goform/goform_process"}) {
        const Outcome out = Send(Url(path), "goformId=REBOOT_DEVICE");
        EXPECT_EQ(0, out.rc);
        EXPECT_EQ("{\"result\":\"success\"}", out.reply);
        const HttpSeen seen = server_.Seen().back();
        EXPECT_EQ("POST", seen.method);
        EXPECT_EQ(path, seen.target);
        EXPECT_EQ("application/x-www-form-urlencoded", seen.contentType);
        EXPECT_EQ("goformId=REBOOT_DEVICE", seen.body);
    }
}

TEST_F(Http, UploadPostsTheFileAsMultipart)
{
    TempDir dir;
    const std::string content = std::string("restore\x01\x02\x00 data", 15);
    dir.WriteFile("backup.bin", content);
    server_.Answer(200, "{\"result\":\"success\"}");
    const std::string url = Url("/goform/goform_set_cmd_process?goformId=UPLOADFILE_RESTORE&isTest=false");
    const Outcome out = Upload(url, dir.Path() + "/backup.bin");
    EXPECT_EQ(0, out.rc);
    EXPECT_EQ("{\"result\":\"success\"}", out.reply);
    const HttpSeen seen = server_.Seen().back();
    EXPECT_EQ("POST", seen.method);
    EXPECT_EQ("/goform/goform_set_cmd_process?goformId=UPLOADFILE_RESTORE&isTest=false", seen.target);
    EXPECT_EQ(0u, seen.contentType.find("multipart/form-data"));
    EXPECT_NE(std::string::npos, seen.body.find("name=\"filename\""));
    EXPECT_NE(std::string::npos, seen.body.find(content));

    const size_t before = server_.Seen().size();
    EXPECT_NE(0, Upload(url, dir.Path() + "/missing.bin").rc);
    EXPECT_NE(0, Upload(url, dir.Path()).rc);  // a folder is no file
    EXPECT_EQ(before, server_.Seen().size());
}

TEST_F(Http, ReplyIsCutToTheRoomAndStaysTerminated)
{
    server_.Answer(200, std::string(600, 'r'));
    std::string buffer(300, '#');
    int length = 256;
    const std::string request = "cmd=x";
    const int rc = KestleReadMsgFromPort_sync(PORT_KIND_HTTP, Url("/goform/goform_get_cmd_process").c_str(),
                                              reinterpret_cast<const unsigned char*>(request.data()), 5,
                                              reinterpret_cast<unsigned char*>(buffer.data()), &length, 100);
    EXPECT_EQ(0, rc);
    EXPECT_EQ(255, length);
    EXPECT_EQ(std::string(255, 'r'), buffer.substr(0, 255));
    EXPECT_EQ('\0', buffer[255]);
    EXPECT_EQ(std::string(44, '#'), buffer.substr(256));
}

TEST_F(Http, FailuresGiveNonZero)
{
    struct Case {
        int status;
        const char* body;
    };
    for (const Case& c : {Case{500, ""}, Case{404, "not found"}, Case{302, ""}}) {
        server_.Answer(c.status, c.body);
        EXPECT_NE(0, Send(Url("/goform/goform_get_cmd_process"), "cmd=imei").rc) << c.status;
    }
    // URLs this library does not fetch never reach the server
    const size_t before = server_.Seen().size();
    for (const std::string& url : {std::string(""), "https://127.0.0.1:" + std::to_string(server_.Port()) + "/x",
                                   std::string("ftp://127.0.0.1/x"), std::string("127.0.0.1/goform/goform_process")})
        EXPECT_NE(0, Send(url, "cmd=imei").rc) << url;
    EXPECT_EQ(before, server_.Seen().size());
}

TEST_F(Http, SlowHostFailsWithinTheTimeout)
{
    tooltest::ScopedTimeoutScale shortTimeouts;
    // in program time, three times the timeout
    server_.Answer(200, "late", static_cast<uint32_t>(3 * TimeoutScaledMs(5000) / TimeScale()));
    const Outcome out = Send(Url("/goform/goform_get_cmd_process"), "cmd=imei", 256, 5);
    EXPECT_NE(0, out.rc);
    EXPECT_EQ("", out.reply);
    // the whole timeout ran
    EXPECT_GE(out.ms, TimeoutScaledMs(5000) * 0.9);
}

TEST(HttpUnreachable, ClosedPortFails)
{
    EnvGuard realDevices("KESTLE_DEVICE_DIR", nullptr);
    int port;
    {
        LoopbackHttpServer gone;
        port = gone.Port();
    }
    EXPECT_NE(0, Send("http://127.0.0.1:" + std::to_string(port) + "/goform/goform_process", "x=1").rc);
}

TEST(HttpDeviceFolder, HostsMapToLoopbackAndOthersAreNeverContacted)
{
    DeviceFolder folder;
    LoopbackHttpServer server;
    server.Answer(200, "wimax2_enable=on");
    folder.SetHttp("other.test 1\ndevice.test " + std::to_string(server.Port()) + "\n");
    const Outcome mapped = Send("http://device.test/goform/goform_get_cmd_process", "cmd=wimax2_enable");
    EXPECT_EQ(0, mapped.rc);
    EXPECT_EQ("wimax2_enable=on", mapped.reply);
    ASSERT_EQ(1u, server.Seen().size());
    EXPECT_EQ("/goform/goform_get_cmd_process?cmd=wimax2_enable", server.Seen()[0].target);

    const Outcome unlisted = Send("http://192.168.0.1/goform/goform_get_cmd_process", "cmd=imei");
    EXPECT_NE(0, unlisted.rc);
    EXPECT_LT(unlisted.ms, TimeoutScaledMs(100000) / 2);  // refused here, not waited out
    // the device's web server went away with the device
    folder.SetHttp("");
    EXPECT_NE(0, Send("http://device.test/goform/goform_get_cmd_process", "cmd=imei").rc);
    EXPECT_EQ(1u, server.Seen().size());
}

}  // namespace

namespace {

// An answer longer than the room is cut to it and the exchange succeeds: the
// callers read what fits (a privacy answer holding "on", a long version text).
TEST_F(Http, OverLongAnswerIsCutToTheRoomAndSucceeds)
{
    struct Case {
        size_t size;
        int room;
    };
    const Case cases[] = {{264, 256}, {1125, 1024}, {256, 256}};
    for (const Case& c : cases) {
        std::string body = "{\"privacy\":\"on\",\"pad\":\"" + std::string(c.size, 'x');
        body.resize(c.size);
        server_.Answer(200, body);
        std::string buffer(static_cast<size_t>(c.room), '#');
        int length = c.room;
        ASSERT_EQ(0, KestleInitPort(PORT_KIND_HTTP, ""));
        const std::string url = Url("/goform/goform_get_cmd_process");
        EXPECT_EQ(0, KestleReadMsgFromPort_sync(PORT_KIND_HTTP, url.c_str(),
                                                reinterpret_cast<const unsigned char*>("a=b"), 3,
                                                reinterpret_cast<unsigned char*>(buffer.data()), &length, 100))
            << c.size;
        KestleClosePort(PORT_KIND_HTTP, "");
        EXPECT_EQ(c.room - 1, length) << c.size;
        EXPECT_EQ('\0', buffer[static_cast<size_t>(c.room - 1)]) << c.size;
        EXPECT_EQ(body.substr(0, static_cast<size_t>(c.room - 1)), buffer.substr(0, static_cast<size_t>(c.room - 1)));
    }
}

}  // namespace
