#pragma once
// Trace of the device operations to the debugger output, filtered by the
// WriteLog level of section "FEATURE" in "config.ini" (current directory).
#include <cstdint>

// Who traces (lines of other sources are dropped).
enum TraceSource {
    TRACE_SOURCE_AT = 1,
    TRACE_SOURCE_DIAG = 2,
};

// Line levels used by the operation layers.
enum TraceLineLevel {
    TRACE_LEVEL_AT = 0,
    TRACE_LEVEL_FUNCTION = 4, // "FUN:" entry lines and result lines
    TRACE_LEVEL_PARAM = 5,    // " InParam:" / " OutParam:" lines
};

// Longest line sent (a 1024-byte buffer with its terminator).
enum { TRACE_LINE_MAX = 1023 };

struct TraceLogConfig {
    int32_t WriteLog;
    int32_t LogMaxSize;    // kept, no effect
    int32_t LogOutputType; // kept, no effect
};

struct OperationResultName {
    int32_t code;
    const char* name;
};
enum { OPERATION_RESULT_NAME_COUNT = 58 };
extern const OperationResultName OperationResultNameTable[OPERATION_RESULT_NAME_COUNT];

// The row's name, "unkown error" for a code not in the table.
const char* FindOperationResultName(int code);

// Reads the configuration the first time it is called (thread-safe).
void LoadTraceLogConfig();
TraceLogConfig GetTraceLogConfig();

// level 0..5: shown when 0 < WriteLog <= 6 - level.
void TraceLogPrintf(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "threadid=%x\t" + text, unfiltered.
void OutputTraceLineWithThreadId(const char* text);

// Front door of the operation layers; source 1..4.
void TraceOperationLine(int source, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Traces "<function> Result:<code>,<name>" at level 4 and returns code.
int TraceOperationResult(int source, const char* functionName, int code);

// For tests only: forget the loaded configuration so that the next trace
// reads "config.ini" again.
void ResetTraceLogConfigForTests();
