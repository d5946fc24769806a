// The frame shared by the operations: trace lines, missing arguments,
// parameter texts that do not fit, and one operation at a time.
#include "at_ops_fixture.h"

#include "device/trace_log.h"
#include "platform/win/debug_output.h"

#include <atomic>
#include <fstream>
#include <thread>

namespace {

// The traced texts from "FUN:" on, in order.
std::vector<std::string> FunctionLines(const DebugCapture& capture)
{
    std::vector<std::string> lines;
    for (const std::string& line : capture.Lines()) {
        const size_t at = line.find("FUN:");
        if (at != std::string::npos)
            lines.push_back(line.substr(at));
    }
    return lines;
}

// What a call rejected for a missing argument traces, in order.
std::vector<std::string> RejectedTrace(const std::string& publicName, const std::string& innerName)
{
    return {"FUN:" + publicName, "FUN:" + innerName, "FUN:" + innerName + " Result:41,TALLY_ERROR_INVALID_PARAMETER",
            "FUN:" + publicName + " Result:1,TALLY_ERROR_FALSE"};
}

TEST_F(AtOpsTest, NullListTracesFourLinesAndSendsNothing)
{
    DebugCapture capture;
    EXPECT_EQ(AT_CGDCONT_READ(nullptr), 1);
    EXPECT_TRUE(Lines().empty());
    const std::vector<std::string> expected = {
        "FUN:AT_CGDCONT_READ",
        "FUN:ZCGDCONT_READ",
        "FUN:ZCGDCONT_READ Result:41,TALLY_ERROR_INVALID_PARAMETER",
        "FUN:AT_CGDCONT_READ Result:1,TALLY_ERROR_FALSE",
    };
    EXPECT_EQ(FunctionLines(capture), expected);
    // nothing but those four: no parameter or exchange lines
    EXPECT_EQ(capture.Lines().size(), expected.size());
    // Entry and result lines carry the level prefix after the thread id.
    EXPECT_EQ(capture.Count("threadid="), 4u);
    EXPECT_EQ(capture.Count("### R57D ## FUN:AT_CGDCONT_READ"), 2u);
}

TEST_F(AtOpsTest, MissingArgumentsSendNothing)
{
    struct Case {
        const char* publicName;
        const char* innerName;
        std::function<int()> run;
    };
    int value = 0;
    [[maybe_unused]] char text[256] = {};
    const Case cases[] = {
        {"AT_CGDCONT_READ_ONLY_MODIFY_APN", "ZCGDCONT_READ_ONLY_MODIFY_APN",
         [] { return AT_CGDCONT_READ_ONLY_MODIFY_APN(nullptr); }},
        {"AT_CGDCONT_SET", "ZCGDCONT_SET", [] { return AT_CGDCONT_SET(nullptr); }},
        {"AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN", "ZCGDCONT_SET_ONLY_MODIFY_APN",
         [] { return AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN(nullptr); }},
        {"AT_GET_DEVICE_NETWORK_STATE", "ZGET_NETWORK_STATE", [] { return AT_GET_DEVICE_NETWORK_STATE(nullptr); }},
        {"AT_GET_DEVICE_NETWORK_STATE_SELECT", "ZGET_NETWORK_SELECT_STATE",
         [&] { return AT_GET_DEVICE_NETWORK_STATE_SELECT(&value, nullptr); }},
        {"AT_GET_DEVICE_NETWORK_STATE_SELECT", "ZGET_NETWORK_SELECT_STATE",
         [&] { return AT_GET_DEVICE_NETWORK_STATE_SELECT(nullptr, &value); }},
        {"AT_COPS_READ", "ZCOPS_READ", [] { return AT_COPS_READ(nullptr); }},
        {"AT_SET_BAND", "ZSET_BAND", [] { return AT_SET_BAND(nullptr); }},
        {"AT_GET_DEVICE_FLAG_STATE", "ZGET_ROAM_STATE", [] { return AT_GET_DEVICE_FLAG_STATE(nullptr); }},
        {"AT_SET_DEVICE_FLAG_STATE", "ZSET_ROAM_STATE", [] { return AT_SET_DEVICE_FLAG_STATE(nullptr); }},
        {"AT_GetRoaming", "ZGET_ROAMING_STATE", [] { return AT_GetRoaming(nullptr); }},
        {"AT_CPIN", "ZCPIN_Exec", [] { return AT_CPIN(nullptr); }},
        {"AT_CHECK_PIN", "ZCHECK_PIN", [] { return AT_CHECK_PIN(nullptr); }},
        {"AT_SET_PIN_PUK", "ZSET_PIN_PUK", [] { return AT_SET_PIN_PUK("12345678", nullptr); }},
        {"AT_SET_PIN_PUK", "ZSET_PIN_PUK", [] { return AT_SET_PIN_PUK(nullptr, "1234"); }},
        {"AT_GET_PIN_PUK_TIMES", "ZGET_PIN_PUK_TIMES", [&] { return AT_GET_PIN_PUK_TIMES(&value, nullptr); }},
        {"AT_GET_PIN_STATE", "ZGET_PIN_STATE", [] { return AT_GET_PIN_STATE(nullptr); }},
        {"AT_SET_PIN", "ZSET_PIN", [] { return AT_SET_PIN("1234", nullptr); }},
        {"AT_GET_APN_LOCK_STATE", "ZGET_APN_LOCK_STATE", [] { return AT_GET_APN_LOCK_STATE(nullptr); }},
        {"AT_GET_ACT_LOCK_STATE", "ZGET_ACT_LOCK_STATE", [] { return AT_GET_ACT_LOCK_STATE(nullptr); }},
        {"AT_GET_ROAM_LOCK_STATE", "ZGET_ROAM_LOCK_STATE", [] { return AT_GET_ROAM_LOCK_STATE(nullptr); }},
#if defined(SETWELL_USER_AUTH)
        {"AT_GET_IMSI", "ZGET_IMSI", [] { return AT_GET_IMSI(nullptr); }},
        {"AT_GET_CRSM", "ZGET_CRSM", [] { return AT_GET_CRSM(nullptr); }},
        {"AT_SetUserNameaPasswordAuth", "ZSET_ID_PASSWORD_AUTH",
         [] { return AT_SetUserNameaPasswordAuth(nullptr, "pass", 1); }},
        {"AT_GetUserNameaAuth", "ZGET_ID_AUTH", [&] { return AT_GetUserNameaAuth(text, nullptr); }},
        {"AT_GetUserNameaAuth", "ZGET_ID_AUTH", [&] { return AT_GetUserNameaAuth(nullptr, &value); }},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.publicName);
        DebugCapture capture;
        Emulator().ClearReceived();
        EXPECT_EQ(c.run(), 1);
        EXPECT_TRUE(Lines().empty());
        EXPECT_EQ(FunctionLines(capture), RejectedTrace(c.publicName, c.innerName));
    }
    EXPECT_EQ(value, 0);
}

#if defined(SETWELL_USER_AUTH)
TEST_F(AtOpsTest, NoAuthenticationNeedsNoTexts)
{
    Answer("AT$QCPDPP=", "\r\nOK\r\n");
    EXPECT_EQ(AT_SetUserNameaPasswordAuth(nullptr, nullptr, 0), 0);
    EXPECT_EQ(Lines(), std::vector<std::string>{"AT$QCPDPP=9,0"});
}
#endif

TEST_F(AtOpsTest, SuccessTracesResultAndSimStateOutput)
{
    AnswerOk("AT+CPIN?", "+CPIN: READY");
    DebugCapture capture;
    char state[256] = {};
    EXPECT_EQ(AT_CPIN(state), 0);
    const std::vector<std::string> expected = {
        "FUN:AT_CPIN",
        "FUN:ZCPIN_Exec",
        "FUN:AT_CPIN OutParam:pResult:READY",
        "FUN:AT_CPIN Result:0,TALLY_ERROR_SUCCESS",
    };
    EXPECT_EQ(FunctionLines(capture), expected);
    // Level 5 lines stand alone, without the thread id.
    EXPECT_EQ(capture.Count("### R57D # FUN:AT_CPIN OutParam"), 1u);
    for (const std::string& line : capture.Lines()) {
        if (line.find("OutParam") != std::string::npos) {
            EXPECT_EQ(line.find("threadid="), std::string::npos);
        }
    }
}

TEST_F(AtOpsTest, ParameterThatDoesNotFitSendsNothing)
{
    const std::string overParam(AT_PARAM_SIZE + 10, '1');      // beyond the parameter text
    const std::string overLine(AT_LINE_SIZE + 50, '2');        // fits the parameter, not the line
    PdpContextEntry entry{};
    entry.cid = 1;
    memset(entry.pdpType, 'T', sizeof(entry.pdpType));         // unterminated fields stay in their width
    memset(entry.apn, 'A', sizeof(entry.apn));
    const struct {
        const char* name;
        std::function<int()> run;
        size_t lines;
    } cases[] = {
        {"ApnParamTooLong", [&] { return AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN(overParam.c_str()); }, 0},
        {"ApnLineTooLong", [&] { return AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN(overLine.c_str()); }, 0},
        {"BandTooLong", [&] { return AT_SET_BAND(overParam.c_str()); }, 0},
        {"PinTooLong", [&] { return AT_CHECK_PIN(overParam.c_str()); }, 0},
        {"PukTooLong", [&] { return AT_SET_PIN_PUK(overLine.c_str(), "1234"); }, 0},
#if defined(SETWELL_USER_AUTH)
        {"AuthTooLong", [&] { return AT_SetUserNameaPasswordAuth(overParam.c_str(), "p", 1); }, 0},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Emulator().ClearReceived();
        EXPECT_EQ(c.run(), 1);
        EXPECT_EQ(Lines().size(), c.lines);
    }

    Answer("AT+CGDCONT=", "\r\nOK\r\n");
    EXPECT_EQ(AT_CGDCONT_SET(&entry), 0);
    EXPECT_EQ(Lines(), std::vector<std::string>{"AT+CGDCONT=1,\"" + std::string(sizeof(entry.pdpType), 'T') +
                                                "\",\"" + std::string(sizeof(entry.apn), 'A') + "\""});
}

#if defined(SETWELL_USER_AUTH)
TEST_F(AtOpsTest, OperationsOfTwoThreadsDoNotInterleave)
{
    Emulator().SetSim(modemsim::SimState::Ready);
    Emulator().SetImsi("440109876543210");
    std::atomic<int> wrong{0};
    auto imsi = [&] {
        for (int i = 0; i < 15; ++i) {
            char text[256] = {};
            if (AT_GET_IMSI(text) != 0 || std::string(text) != "440109876543210")
                ++wrong;
        }
    };
    auto sim = [&] {
        for (int i = 0; i < 15; ++i) {
            char text[256] = {};
            if (AT_CPIN(text) != 0 || std::string(text) != "READY")
                ++wrong;
        }
    };
    std::thread a(imsi);
    std::thread b(sim);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(Lines().size(), 30u);
}
#endif

} // namespace

namespace {

// At WriteLog=2 the function and result lines show, the parameter lines do not.
TEST_F(AtOpsTest, WriteLogTwoShowsFunctionAndResultLinesOnly)
{
    std::ofstream("config.ini") << "[FEATURE]\r\nWriteLog=2\r\n";
    ResetTraceLogConfigForTests();
    AnswerOk("AT+CPIN?", "+CPIN: READY");
    {
        DebugCapture capture;
        char state[256] = {};
        EXPECT_EQ(AT_CPIN(state), 0);
        EXPECT_EQ(capture.Count("FUN:AT_CPIN Result:0,TALLY_ERROR_SUCCESS"), 1u);
        EXPECT_EQ(capture.Count("FUN:ZCPIN_Exec"), 1u);
        EXPECT_EQ(capture.Count("OutParam"), 0u);
    }
    std::ofstream("config.ini") << "[FEATURE]\r\nWriteLog=1\r\n";
    ResetTraceLogConfigForTests();
}

} // namespace
