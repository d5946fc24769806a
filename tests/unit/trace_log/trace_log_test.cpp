#include "device/trace_log.h"
#include "platform/win/debug_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string ThreadTag()
{
    char tag[32];
    std::snprintf(tag, sizeof tag, "threadid=%x\t", static_cast<unsigned>(syscall(SYS_gettid)));
    return tag;
}

const char* const kPrefix[] = {"### R57D AT: ",  "### R57D ##### ", "### R57D #### ",
                               "### R57D ### ",  "### R57D ## ",    "### R57D # "};

// Runs each test in a private current directory holding its own "config.ini".
class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        oldDir_ = cwd;
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/trace_log_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        ResetTraceLogConfigForTests();
    }
    void TearDown() override
    {
        std::remove((dir_ + "/config.ini").c_str());
        EXPECT_EQ(chdir(oldDir_.c_str()), 0);
        rmdir(dir_.c_str());
        ResetTraceLogConfigForTests();
    }
    void WriteConfig(const std::string& text)
    {
        std::ofstream(dir_ + "/config.ini", std::ios::binary) << text;
        ResetTraceLogConfigForTests();
    }
    void UseWriteLog(int level) { WriteConfig("[FEATURE]\r\nWriteLog=" + std::to_string(level) + "\r\n"); }

    std::string dir_;
    std::string oldDir_;
};

TEST_F(TraceLogTest, LevelFilterPrefixAndThreadIdOverEveryWriteLog)
{
    for (int writeLog = 0; writeLog <= 7; ++writeLog) {
        UseWriteLog(writeLog);
        for (int level = 0; level <= 5; ++level) {
            SCOPED_TRACE("WriteLog=" + std::to_string(writeLog) + " level=" + std::to_string(level));
            DebugCapture capture;
            TraceLogPrintf(level, "value %d", 42);
            const bool shown = writeLog > 0 && writeLog <= 6 - level;
            const std::vector<std::string> lines = capture.Lines();
            if (!shown) {
                EXPECT_TRUE(lines.empty());
                continue;
            }
            ASSERT_EQ(lines.size(), 1u);
            const std::string body = std::string(kPrefix[level]) + "value 42";
            EXPECT_EQ(lines[0], level == 5 ? body : ThreadTag() + body);
        }
    }
}

TEST_F(TraceLogTest, NegativeAndMissingWriteLogShowNothing)
{
    const char* const configs[] = {
        "[FEATURE]\r\nWriteLog=-1\r\n",
        "[OTHER]\r\nWriteLog=1\r\n",
        "[FEATURE]\r\nwritelog=1\r\n",
        nullptr, // no config.ini at all
    };
    for (const char* config : configs) {
        if (config) {
            WriteConfig(config);
        } else {
            std::remove((dir_ + "/config.ini").c_str());
            ResetTraceLogConfigForTests();
        }
        SCOPED_TRACE(config ? config : "(no file)");
        DebugCapture capture;
        for (int level = 0; level <= 5; ++level)
            TraceLogPrintf(level, "x");
        TraceOperationLine(TRACE_SOURCE_AT, 4, "FUN:%s", "AT_Something");
        EXPECT_TRUE(capture.Lines().empty());
        EXPECT_EQ(GetTraceLogConfig().WriteLog, config && std::string(config).find("=-1") != std::string::npos ? -1 : 0);
    }
}

TEST_F(TraceLogTest, ConfigurationIsReadOnceWithItsOtherKeys)
{
    WriteConfig("[FEATURE]\r\nWriteLog=1\r\nLogMaxSize=2048\r\nLogOutputType=3\r\n");
    TraceLogConfig config = GetTraceLogConfig();
    EXPECT_EQ(config.WriteLog, 1);
    EXPECT_EQ(config.LogMaxSize, 2048);
    EXPECT_EQ(config.LogOutputType, 3);

    // A changed file is not seen by the running process.
    std::ofstream(dir_ + "/config.ini", std::ios::binary) << "[FEATURE]\r\nWriteLog=0\r\n";
    DebugCapture capture;
    TraceLogPrintf(5, "still shown");
    EXPECT_EQ(capture.Count("still shown"), 1u);
    EXPECT_EQ(GetTraceLogConfig().WriteLog, 1);
}

TEST_F(TraceLogTest, LevelZeroTurnsLineFeedsIntoCarriageReturns)
{
    UseWriteLog(6);
    DebugCapture capture;
    TraceLogPrintf(0, "AT+CIMI\r\n\r\n440101234567890\n");
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], ThreadTag() + "### R57D AT: AT+CIMI\r\r\r\r440101234567890\r");

    // Other levels keep their line feeds.
    UseWriteLog(1);
    capture.Clear();
    TraceLogPrintf(4, "a\nb");
    EXPECT_EQ(capture.Lines()[0], ThreadTag() + "### R57D ## a\nb");
}

TEST_F(TraceLogTest, LongLinesAreCutTo1023Characters)
{
    UseWriteLog(1);
    const std::string longText(3000, 'x');
    struct Case {
        const char* name;
        void (*trace)(const std::string&);
    };
    const Case cases[] = {
        {"TraceLogPrintf 5", [](const std::string& t) { TraceLogPrintf(5, "%s", t.c_str()); }},
        {"TraceLogPrintf 4", [](const std::string& t) { TraceLogPrintf(4, "%s", t.c_str()); }},
        {"TraceOperationLine", [](const std::string& t) { TraceOperationLine(TRACE_SOURCE_DIAG, 5, "%s", t.c_str()); }},
        {"OutputTraceLineWithThreadId", [](const std::string& t) { OutputTraceLineWithThreadId(t.c_str()); }},
        {"TraceOperationResult", [](const std::string& t) { TraceOperationResult(TRACE_SOURCE_AT, t.c_str(), 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DebugCapture capture;
        c.trace(longText);
        ASSERT_EQ(capture.Lines().size(), 1u);
        const std::string line = capture.Lines()[0];
        EXPECT_EQ(line.size(), 1023u);
        EXPECT_EQ(line.back(), 'x');
    }
}

TEST_F(TraceLogTest, OperationLinesBySourceAndPercentPrintedAsIs)
{
    UseWriteLog(1);
    for (int source = -1; source <= 6; ++source) {
        SCOPED_TRACE(source);
        DebugCapture capture;
        TraceOperationLine(source, 5, " InParam:%s", "rate 100%d %s");
        const bool shown = source >= 1 && source <= 4;
        ASSERT_EQ(capture.Lines().size(), shown ? 1u : 0u);
        if (shown) {
            EXPECT_EQ(capture.Lines()[0], "### R57D #  InParam:rate 100%d %s");
        }
    }
}

TEST_F(TraceLogTest, WriteLogTwoShowsEntryAndResultButNotParameters)
{
    UseWriteLog(2);
    DebugCapture capture;
    TraceOperationLine(TRACE_SOURCE_AT, TRACE_LEVEL_FUNCTION, "FUN:%s", "AT_GetImsi");
    TraceOperationLine(TRACE_SOURCE_AT, TRACE_LEVEL_PARAM, " OutParam:%s", "440101234567890");
    EXPECT_EQ(TraceOperationResult(TRACE_SOURCE_AT, "AT_GetImsi", 0), 0);
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], ThreadTag() + "### R57D ## FUN:AT_GetImsi");
    EXPECT_EQ(lines[1], ThreadTag() + "### R57D ## AT_GetImsi Result:0,TALLY_ERROR_SUCCESS");

    UseWriteLog(3);
    capture.Clear();
    TraceOperationLine(TRACE_SOURCE_DIAG, TRACE_LEVEL_FUNCTION, "FUN:%s", "Diag_ReadImei");
    TraceOperationResult(TRACE_SOURCE_DIAG, "Diag_ReadImei", 1);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(TraceLogTest, ResultNames)
{
    UseWriteLog(1);
    const struct {
        int code;
        const char* name;
    } cases[] = {
        {0, "TALLY_ERROR_SUCCESS"},
        {1, "TALLY_ERROR_FALSE"},
        {2, "unkown error"},
        {30, "TALLY_ERROR_SDK_ATTAACHED"},
        {41, "TALLY_ERROR_INVALID_PARAMETER"},
        {47, "TALLY_ERROR_BK_FAIL"},
        {63, "TALLY_ERROR_NOT_STARTED"},
        {64, "unkown error"},
        {700, "TALLY_ERROR_ONLY_EMERGENCT_CALL"},
        {801, "TALLY_ERROR_SMS_NOT_SUPPORTED"},
        {802, "unkown error"},
        {803, "TALLY_ERROR_PB_NOT_SUPPORTED"},
        {814, "TALLY_ERROR_OTHERCLIENT_ISUSING"},
        {-1, "unkown error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_STREQ(FindOperationResultName(c.code), c.name);
        DebugCapture capture;
        EXPECT_EQ(TraceOperationResult(TRACE_SOURCE_AT, "AT_X", c.code), c.code);
        ASSERT_EQ(capture.Lines().size(), 1u);
        EXPECT_EQ(capture.Lines()[0], ThreadTag() + "### R57D ## AT_X Result:" + std::to_string(c.code) + "," + c.name);
    }

    std::set<int> codes;
    for (const OperationResultName& row : OperationResultNameTable) {
        EXPECT_TRUE(codes.insert(row.code).second) << row.code;
        EXPECT_EQ(std::string(row.name).rfind("TALLY_ERROR_", 0), 0u) << row.name;
    }
}

TEST_F(TraceLogTest, ThreadsTracingForTheFirstTimeGetWholeLines)
{
    UseWriteLog(1);
    DebugCapture capture;
    constexpr int kThreads = 8;
    constexpr int kLines = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                TraceOperationLine(TRACE_SOURCE_AT, 4, "thread %d line %d end", t, i);
        });
    for (std::thread& thread : threads)
        thread.join();
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    for (const std::string& line : lines) {
        int t = -1, i = -1;
        unsigned id = 0;
        char end[4] = "";
        ASSERT_EQ(std::sscanf(line.c_str(), "threadid=%x\t### R57D ## thread %d line %d %3s", &id, &t, &i, end), 4)
            << line;
        EXPECT_STREQ(end, "end");
    }
}

} // namespace
