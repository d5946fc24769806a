#include "device/trace_log.h"

#include "device/ini_reader.h"
#include "platform/win/debug_output.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

const OperationResultName OperationResultNameTable[OPERATION_RESULT_NAME_COUNT] = {
    {0, "TALLY_ERROR_SUCCESS"},
    {1, "TALLY_ERROR_FALSE"},
    {30, "TALLY_ERROR_SDK_ATTAACHED"},
    {31, "TALLY_ERROR_NOT_ATTACHED"},
    {32, "TALLY_ERROR_DEVICE_OPENED"},
    {33, "TALLY_ERROR_DEVICE_NOT_EXIST"},
    {34, "TALLY_ERROR_DEVICE_NOT_CLOSED"},
    {35, "TALLY_ERROR_DEVICE_NOT_OPENED"},
    {36, "TALLY_ERROR_DEVICE_NOT_ONLINE"},
    {37, "TALLY_ERROR_SIM_NOT_READY"},
    {38, "TALLY_ERROR_NO_SERVICE"},
    {39, "TALLY_ERROR_DATA_DISCONNECTED"},
    {40, "TALLY_ERROR_DATA_CONNECTED"},
    {41, "TALLY_ERROR_INVALID_PARAMETER"},
    {42, "TALLY_ERROR_WRITE_DATA_FAILED"},
    {43, "TALLY_ERROR_PORT_NOT_OPEN"},
    {44, "TALLY_ERROR_MODEM_NOT_READY"},
    {45, "TALLY_ERROR_PTHREAD_OPERATION"},
    {46, "TALLY_ERROR_STRING_SIZE_TOO_SMALL"},
    {47, "TALLY_ERROR_BK_FAIL"},
    {48, "TALLY_ERROR_BK_INVALID_ARG"},
    {49, "TALLY_ERROR_BK_COMM_NOT_OPEN"},
    {50, "TALLY_ERROR_BK_SEND_ERROR"},
    {51, "TALLY_ERROR_BK_PARSE_FAIL"},
    {52, "TALLY_ERROR_SETTING_CPIN_INCORRECT_PASS"},
    {53, "TALLY_ERROR_SETTING_CPIN_PUKPASS_REQUIRED"},
    {54, "TALLY_ERROR_SETTING_CPIN_SIM_FAILURE"},
    {55, "TALLY_ERROR_SETTING_CPIN_SIM_BUSY"},
    {56, "TALLY_ERROR_SETTING_CPIN_SIM_NOT_INSERTED"},
    {57, "TALLY_ERROR_SETTING_UNKNOWN"},
    {58, "TALLY_ERROR_NOT_SUPPORTED"},
    {59, "TALLY_ERROR_INVALID_ERROR"},
    {60, "TALLY_ERROR_COMM_FAILURE"},
    {61, "TALLY_ERROR_NOT_INITIALIZED"},
    {62, "TALLY_ERROR_MEMORY_FULL"},
    {63, "TALLY_ERROR_NOT_STARTED"},
    {600, "TALLY_ERROR_GPS_DISABLE"},
    {601, "TALLY_ERROR_INITIALIZED"},
    {602, "TALLY_ERROR_GPS_SESSION_BUSY"},
    {603, "TALLY_ERROR_GPS_SESSION_IDLE"},
    {604, "TALLY_ERROR_XTRA_NOT_INITIALIZED"},
    {605, "TALLY_ERROR_XTRA_INITIALIZED"},
    {700, "TALLY_ERROR_ONLY_EMERGENCT_CALL"},
    {701, "TALLY_ERROR_INVALID_STATE"},
    {800, "TALLY_ERROR_OTHER_TYPE_INITIALIZED"},
    {801, "TALLY_ERROR_SMS_NOT_SUPPORTED"},
    {803, "TALLY_ERROR_PB_NOT_SUPPORTED"},
    {804, "TALLY_ERROR_CLIENT_NOT_READY"},
    {805, "TALLY_ERROR_CLIENT_INIT_FAILED"},
    {806, "TALLY_ERROR_SIM_UNKNOWN"},
    {807, "TALLY_ERROR_SIM_NOT_INSERTED"},
    {808, "TALLY_ERROR_SIM_PIN_REQUIRED"},
    {809, "TALLY_ERROR_SIM_PUK_REQUIRED"},
    {810, "TALLY_ERROR_SIM_FAILURE"},
    {811, "TALLY_ERROR_SIM_BUSY"},
    {812, "TALLY_ERROR_SIM_INVALID"},
    {813, "TALLY_ERROR_SERVER_START_FAILED"},
    {814, "TALLY_ERROR_OTHERCLIENT_ISUSING"},
};

namespace {

const char* const kLevelPrefix[] = {
    "### R57D AT: ",
    "### R57D ##### ",
    "### R57D #### ",
    "### R57D ### ",
    "### R57D ## ",
    "### R57D # ",
};
constexpr int kLevelCount = sizeof(kLevelPrefix) / sizeof(kLevelPrefix[0]);

// The values are published by g_loaded (release) after they are read, so a
// thread that sees the flag also sees the level it stands for.
std::mutex g_configLock;
std::atomic<bool> g_loaded{false};
std::atomic<int32_t> g_writeLog{0};
std::atomic<int32_t> g_logMaxSize{0};
std::atomic<int32_t> g_logOutputType{0};

int32_t WriteLogLevel()
{
    LoadTraceLogConfig();
    return g_writeLog.load(std::memory_order_relaxed);
}

void FormatLine(char (&line)[TRACE_LINE_MAX + 1], const char* format, va_list args)
{
    if (std::vsnprintf(line, sizeof line, format, args) < 0)
        line[0] = '\0';
}

} // namespace

const char* FindOperationResultName(int code)
{
    for (const OperationResultName& row : OperationResultNameTable)
        if (row.code == code)
            return row.name;
    return "unkown error";
}

void LoadTraceLogConfig()
{
    if (g_loaded.load(std::memory_order_acquire))
        return;
    std::lock_guard<std::mutex> hold(g_configLock);
    if (g_loaded.load(std::memory_order_relaxed))
        return;
    const wchar_t* file = L"config.ini";
    g_writeLog.store(ReadIniInt("FEATURE", "WriteLog", 0, file), std::memory_order_relaxed);
    g_logMaxSize.store(ReadIniInt("FEATURE", "LogMaxSize", 0, file), std::memory_order_relaxed);
    g_logOutputType.store(ReadIniInt("FEATURE", "LogOutputType", 0, file), std::memory_order_relaxed);
    g_loaded.store(true, std::memory_order_release);
}

TraceLogConfig GetTraceLogConfig()
{
    LoadTraceLogConfig();
    return {g_writeLog.load(std::memory_order_relaxed), g_logMaxSize.load(std::memory_order_relaxed),
            g_logOutputType.load(std::memory_order_relaxed)};
}

void ResetTraceLogConfigForTests()
{
    std::lock_guard<std::mutex> hold(g_configLock);
    g_loaded.store(false, std::memory_order_release);
}

void OutputTraceLineWithThreadId(const char* text)
{
    char line[TRACE_LINE_MAX + 1];
    const unsigned threadId = static_cast<unsigned>(syscall(SYS_gettid));
    std::snprintf(line, sizeof line, "threadid=%x\t%s", threadId, text ? text : "");
    OutputDebugStringA(line);
}

namespace {

bool LevelShown(int level)
{
    if (level < 0 || level >= kLevelCount)
        return false;
    const int32_t writeLog = WriteLogLevel();
    return writeLog > 0 && writeLog <= 6 - level;
}

// Prefix and output form of a line whose level is shown.
void SendAtLevel(int level, const char* text)
{
    char line[TRACE_LINE_MAX + 1];
    std::snprintf(line, sizeof line, "%s%s", kLevelPrefix[level], text);
    if (level == 0) {
        for (char* c = line; *c; ++c)
            if (*c == '\n')
                *c = '\r';
    }
    if (level == kLevelCount - 1)
        OutputDebugStringA(line);
    else
        OutputTraceLineWithThreadId(line);
}

} // namespace

void TraceLogPrintf(int level, const char* format, ...)
{
    if (!LevelShown(level))
        return;
    char text[TRACE_LINE_MAX + 1];
    va_list args;
    va_start(args, format);
    FormatLine(text, format, args);
    va_end(args);
    SendAtLevel(level, text);
}

void TraceOperationLine(int source, int level, const char* format, ...)
{
    if (WriteLogLevel() < 1)
        return;
    char text[TRACE_LINE_MAX + 1];
    va_list args;
    va_start(args, format);
    FormatLine(text, format, args);
    va_end(args);
    // The finished text goes on as it stands: a "%" in it is not a format.
    if (source >= 1 && source <= 4 && LevelShown(level))
        SendAtLevel(level, text);
}

int TraceOperationResult(int source, const char* functionName, int code)
{
    TraceOperationLine(source, TRACE_LEVEL_FUNCTION, "%s Result:%d,%s", functionName ? functionName : "", code,
                       FindOperationResultName(code));
    return code;
}
