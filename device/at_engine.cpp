#include "device/at_engine.h"

#include "device/port_scanner.h"
#include "device/trace_log.h"
#include "platform/portlib/KestlePortServer.h"
#include "platform/win/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>
#include <string>
#include <thread>
#include <vector>

const AtResultCodeRow AtResultCodeTable[] = {
    {"\r\nOK\r\n", AT_RESULT_OK, 1, 0, 0},
    {"\r\nERROR\r\n", AT_RESULT_ERROR, 2, 0, 0},
    {"\r\n+CMS ERROR: ", AT_RESULT_CMS_ERROR, 3, 1, 0},
    {"\r\n+CME ERROR: ", AT_RESULT_CME_ERROR, 4, 1, 0},
    {"\r\n> ", AT_RESULT_PROMPT, 5, 0, 0},
    {"\r\nnot support\r\n", AT_RESULT_NOT_SUPPORT, 6, 0, 0},
};
const size_t AtResultCodeTableRows = sizeof(AtResultCodeTable) / sizeof(AtResultCodeTable[0]);

namespace {
// Some modems end a refusal with "+CME ERROR" and no code: it ends the response
// like ERROR does.
const AtResultCodeRow kBareCmeError = {"\r\n+CME ERROR\r\n", AT_RESULT_CME_ERROR, 4, 0, 0};
} // namespace

AtCommandRecord g_tLastSendCmd;

namespace {

// Tables are installed by every port manager, possibly from several threads.
std::atomic<const AtCommandRow*> g_pCommandTable{nullptr};
std::atomic<size_t> g_nCommandRows{0};
std::atomic<const AtResultCodeRow*> g_pResultTable{nullptr};
std::atomic<size_t> g_nResultRows{0};
std::atomic<bool> g_bAtReady{false};

// Received text not yet taken out as responses; always NUL-terminated.
char g_szRecvBuffer[AT_RECV_SIZE + 1];
size_t g_nRecvLength = 0;
int g_nExchangeState = AT_STATE_IDLE;

const int kSecondReadTimeout = 60;

// Whether the modem echoes the lines it gets (learnt from its answers).
enum { kEchoOn, kEchoOff };
int g_nEchoState = kEchoOn;
// The last exchange ended without its final result code.
bool g_bResyncNeeded = false;

void RemoveFromBuffer(size_t at, size_t count)
{
    if (at >= g_nRecvLength)
        return;
    count = std::min(count, g_nRecvLength - at);
    memmove(g_szRecvBuffer + at, g_szRecvBuffer + at + count, g_nRecvLength - at - count + 1);
    g_nRecvLength -= count;
}

void ClearBuffer()
{
    g_szRecvBuffer[0] = '\0';
    g_nRecvLength = 0;
}

// Bounded copy of count bytes into a text of size bytes.
void CopyText(char* out, size_t size, const char* text, size_t count)
{
    count = std::min(count, size - 1);
    memcpy(out, text, count);
    out[count] = '\0';
}

bool Contains(const char* bytes, size_t length, const char* pattern)
{
    return memmem(bytes, length, pattern, strlen(pattern)) != nullptr;
}

void DebugLine(const char* format, int value)
{
    char text[128];
    snprintf(text, sizeof(text), format, value);
    OutputTraceLineWithThreadId(text);
}

// The receive room of the exchanges, one at a time as the engine's buffer.
std::vector<char>& ExchangeBuffer()
{
    static std::vector<char> buffer(AT_RECV_SIZE + 1);
    return buffer;
}

// Result of an exchange that got nothing within its timeout.
const int kExchangeTimeout = 3;

// One blocking exchange; *received bytes of reply are what came (the
// library ends them with a NUL). The port library's result.
int Exchange(const char* request, int requestLength, std::vector<char>& reply, int* received, int timeout)
{
    int length = AT_RECV_SIZE;
    *received = 0;
    const int result = KestleReadMsgFromPort_sync(PORT_KIND_AT, g_szPortName,
                                                  reinterpret_cast<const unsigned char*>(request), requestLength,
                                                  reinterpret_cast<unsigned char*>(reply.data()), &length, timeout);
    if (result == 0)
        *received = std::clamp(length, 0, static_cast<int>(AT_RECV_SIZE));
    return result;
}

class Appender {
public:
    Appender(char* out, size_t size) : out_(out), size_(size) { out_[0] = '\0'; }
    void Add(const char* text, size_t count)
    {
        count = std::min(count, size_ - 1 - length_);
        memcpy(out_ + length_, text, count);
        length_ += count;
        out_[length_] = '\0';
    }
    void Add(const char* text) { Add(text, strlen(text)); }

private:
    char* out_;
    size_t size_;
    size_t length_ = 0;
};

// Bytes a modem sends that are no part of a text: NUL is dropped, and a "\n"
// or a "\r" alone (S3/S4 changed) ends a line as "\r\n" does; the CR of an
// echo before the answer's "\r\n" stays as it is. before: the byte ahead of
// text. A "\r" at the very end stays until the next byte tells.
void NormalizeAtInput(std::string& text, char before)
{
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0')
            continue;
        const char previous = out.empty() ? before : out.back();
        if (c == '\n' && previous != '\r')
            out += '\r';
        else if (c != '\n' && previous == '\r') {
            // "\r\r\n": a lone CR ahead of a whole line end
            const size_t next = text.find_first_not_of('\0', i + 1);
            const bool lineEndFollows = c == '\r' && (next == std::string::npos || text[next] == '\n');
            if (!lineEndFollows)
                out += '\n';
        }
        out += c;
    }
    text.swap(out);
}

bool HasFinalResult(const std::string& text);
size_t FinalResultEnd(const std::string& text, size_t from);

using Clock = std::chrono::steady_clock;

// The real time a device timeout of seconds (or program ms) ends at.
Clock::time_point DeadlineAfterMs(uint32_t programMs)
{
    return Clock::now() + std::chrono::milliseconds(TimeoutScaledMs(programMs));
}

// Timeout of one read that ends at the deadline at the latest: whole seconds
// while they fit, else 0 (only what is there already).
int ReadTimeout(Clock::time_point deadline)
{
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return -1;
    const auto second = std::chrono::milliseconds(TimeoutScaledMs(1000));
    return left >= second ? static_cast<int>(left / second) : 0;
}

// Sends line (none for a follow-up read) and appends what came within the
// deadline; false when nothing came.
bool ReadInto(const char* line, std::string& all, std::vector<char>& buffer, Clock::time_point deadline)
{
    for (bool first = true;; first = false) {
        const int timeout = ReadTimeout(deadline);
        if (timeout < 0 && !(first && line != nullptr))
            return false;
        int received = 0;
        const int length = first && line != nullptr ? static_cast<int>(strlen(line)) : 0;
        const int result = Exchange(length ? line : "", length, buffer, &received, std::max(timeout, 0));
        if (result == 0 && received > 0) {
            std::string more(buffer.data(), received);
            NormalizeAtInput(more, all.empty() ? '\0' : all.back());
            all += more;
            return true;
        }
        if (result != 0 && result != kExchangeTimeout)
            return false; // the port is gone or failed
        if (timeout <= 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Where the echo of line (ending in its CR) starts in text at or after from:
// the last place it stands at a line start; npos when it is not there.
size_t FindEcho(const std::string& text, const char* line, size_t from = 0)
{
    for (size_t at = text.rfind(line); at != std::string::npos && at >= from;
         at = at == 0 ? std::string::npos : text.rfind(line, at - 1)) {
        if (at == 0 || text[at - 1] == '\n' || text[at - 1] == '\r')
            return at;
    }
    return std::string::npos;
}

// The sync: a read of the line end register, answered "013" (V.250's three
// digits), a line no tool command produces. Only its OK behind that line
// answers it, so a late OK never passes for it.
const char kSyncLine[] = "ATS3?\r";
const char* const kSyncAnswers[] = {"\r\n013\r\n", "\r\n13\r\n"};
// After the sync's OK the port must stay quiet this long (program ms).
const uint32_t kQuietMs = 150;

// Where the text behind the last sync answer in text starts (past its OK);
// npos for none. *start gets where that answer starts.
size_t AfterSyncAnswer(const std::string& text, size_t* start = nullptr)
{
    size_t best = std::string::npos;
    for (const char* answer : kSyncAnswers) {
        for (size_t at = text.find(answer); at != std::string::npos; at = text.find(answer, at + 1)) {
            size_t next = at + strlen(answer);
            while (text.compare(next, 2, "\r\n") == 0)
                next += 2;
            if (text.compare(next, 4, "OK\r\n") == 0 && (best == std::string::npos || next + 4 > best)) {
                best = next + 4;
                if (start != nullptr)
                    *start = at;
            }
        }
    }
    return best;
}

// Reads until the port has said nothing for kQuietMs (or the deadline).
void LetPortGoQuiet(std::vector<char>& buffer, Clock::time_point deadline)
{
    std::string ignored;
    for (;;) {
        const Clock::time_point quiet = std::min(deadline, DeadlineAfterMs(kQuietMs));
        if (!ReadInto(nullptr, ignored, buffer, quiet) || Clock::now() >= deadline)
            return;
        ignored.clear();
    }
}

// Brings the port back in step: sends the sync and waits, at most until the
// deadline, for its answer. The echo state is learnt from it. *seen gets
// what came before the sync answer (an answer still on its way).
bool SyncAtPort(Clock::time_point deadline, std::string* seen = nullptr)
{
    std::vector<char>& buffer = ExchangeBuffer();
    std::string all;
    bool more = ReadInto(kSyncLine, all, buffer, deadline);
    for (;;) {
        size_t start = 0;
        if (AfterSyncAnswer(all, &start) != std::string::npos) {
            const size_t echo = FindEcho(all, kSyncLine);
            g_nEchoState = echo != std::string::npos ? kEchoOn : kEchoOff;
            if (seen != nullptr)
                seen->assign(all, 0, std::min(echo, start));
            LetPortGoQuiet(buffer, deadline);
            DebugLine("ExecuteAtCommand: port in step, echo on %d", g_nEchoState == kEchoOn);
            return true;
        }
        if (!more && Clock::now() >= deadline)
            return false;
        more = ReadInto(nullptr, all, buffer, deadline);
    }
}

// The name the answer lines of the command before this one carry ("" when
// its answer has none, or when it is this command's too).
std::string g_sPreviousAnswerName;
std::string g_sSkippedName;

// Where the text behind the previous command's answer starts, when that
// answer (a line of its name) stands at or after from: a late answer that
// came behind our echo (a modem that echoes on arrival) or without one.
// npos when there is none; the text's end while that answer has not ended.
size_t AfterPreviousAnswer(const std::string& all, size_t from)
{
    const std::string& name = g_sSkippedName;
    if (name.empty())
        return std::string::npos;
    size_t found = std::string::npos;
    for (size_t at = all.find("\r\n", from); at != std::string::npos; at = all.find("\r\n", at + 2)) {
        const size_t line = at + 2;
        if (strncasecmp(all.c_str() + line, name.c_str(), name.size()) == 0 && all[line + name.size()] == ':')
            found = line;
    }
    if (found == std::string::npos)
        return std::string::npos;
    const size_t end = FinalResultEnd(all, found);
    return end == std::string::npos ? all.size() : end;
}

// Judges text behind the last sync answer: with echo on, only what follows the
// echo of line is its own. *from gets where the own text starts (npos: none yet).
bool OwnAnswerComplete(const std::string& all, const char* line, size_t* from)
{
    size_t base = AfterSyncAnswer(all);
    base = base == std::string::npos ? 0 : base;
    const size_t echo = strcmp(line, "\r") != 0 ? FindEcho(all, line, base) : std::string::npos;
    if (echo != std::string::npos)
        g_nEchoState = kEchoOn;
    *from = echo != std::string::npos ? echo : g_nEchoState == kEchoOff || strcmp(line, "\r") == 0 ? base : std::string::npos;
    if (*from == std::string::npos)
        return false;
    const size_t previous = AfterPreviousAnswer(all, *from);
    if (previous != std::string::npos)
        *from = previous;
    std::string own = all.substr(*from);
    if (!own.empty() && own.back() == '\r')
        own += '\n';
    return HasFinalResult(own);
}

// Sends line and gathers its own answer into own within timeout seconds (and
// kSecondReadTimeout more for an answer in two bursts). complete: a final
// result code of the line's own stands in own. false when nothing came.
bool CollectOwnAnswer(const char* line, int timeout, bool twoBursts, std::string* own, bool* complete)
{
    *complete = false;
    own->clear();
    std::vector<char>& buffer = ExchangeBuffer();
    Clock::time_point deadline = DeadlineAfterMs(static_cast<uint32_t>(timeout) * 1000);
    if (g_bResyncNeeded) {
        if (!SyncAtPort(deadline))
            return false; // the command is not sent into a port out of step
        g_bResyncNeeded = false;
    }
    std::string all;
    bool any = ReadInto(line, all, buffer, deadline);
    bool secondRead = !twoBursts;
    size_t from = std::string::npos;
    for (;;) {
        if (OwnAnswerComplete(all, line, &from)) {
            *complete = true;
            break;
        }
        const bool finalWithoutEcho = from == std::string::npos && HasFinalResult(all + (all.empty() || all.back() != '\r' ? "" : "\n"));
        if (finalWithoutEcho) {
            // a final code but no echo: an earlier answer ahead of ours (the
            // echo follows), or a modem whose echo is off (the port stays quiet)
            if (ReadInto(nullptr, all, buffer, std::min(deadline, DeadlineAfterMs(kQuietMs))))
                continue;
            std::string before;
            const bool inStep = SyncAtPort(deadline, &before);
            if (inStep && g_nEchoState == kEchoOff) {
                from = 0;
                *complete = true;
            } else if (inStep) {
                // the modem echoes: our own echo came ahead of the sync's
                all += before;
                *complete = OwnAnswerComplete(all, line, &from);
            }
            if (!*complete)
                g_bResyncNeeded = true;
            break;
        }
        if (ReadInto(nullptr, all, buffer, deadline)) {
            any = true;
            continue;
        }
        if (secondRead)
            break;
        // the operator scan and selection answer in a second burst
        secondRead = true;
        deadline = DeadlineAfterMs(kSecondReadTimeout * 1000);
    }
    if (!*complete || from == std::string::npos)
        return any;
    own->assign(all, from, std::string::npos);
    if (!own->empty() && own->back() == '\r')
        *own += '\n';
    return true;
}

// Where the first final result code at or after from ends (past its line
// end); npos when there is none yet.
size_t FinalResultEnd(const std::string& text, size_t from = 0)
{
    const AtResultCodeRow* table = g_pResultTable.load();
    const size_t rows = g_nResultRows.load();
    if (from > text.size())
        return std::string::npos;
    const char* start = text.c_str() + from;
    size_t best = std::string::npos;
    for (size_t i = 0; table != nullptr && i <= rows; ++i) {
        const AtResultCodeRow* row = i < rows ? &table[i] : &kBareCmeError;
        const char* at = FindOutsideQuotes(start, row->szText);
        if (at == nullptr)
            continue;
        size_t end = at - text.c_str() + strlen(row->szText);
        if (row->Kind == 1) {
            // an error text is whole at its line end
            const char* lineEnd = FindOutsideQuotes(text.c_str() + end, "\r\n");
            if (lineEnd == nullptr)
                continue;
            end = lineEnd - text.c_str() + 2;
        }
        best = std::min(best, end);
    }
    return best;
}

bool HasFinalResult(const std::string& text)
{
    return FinalResultEnd(text) != std::string::npos;
}

} // namespace

void InstallAtEngineTables()
{
    g_pCommandTable.store(AtCommandTable);
    g_nCommandRows.store(AtCommandTableRows);
    g_pResultTable.store(AtResultCodeTable);
    g_nResultRows.store(AtResultCodeTableRows);
    g_bAtReady.store(true);
}

const char* FindOutsideQuotes(const char* text, const char* pattern)
{
    if (text == nullptr || pattern == nullptr)
        return nullptr;
    const size_t patternLength = strlen(pattern);
    size_t quotes = 0;
    for (const char* p = text;; ++p) {
        if (quotes % 2 == 0 && strncmp(p, pattern, patternLength) == 0)
            return p;
        if (*p == '\0')
            return nullptr;
        if (*p == '"')
            ++quotes;
    }
}

int FindAtCommandById(uint16_t id, const AtCommandRow** row)
{
    const AtCommandRow* table = g_pCommandTable.load();
    const size_t rows = g_nCommandRows.load();
    for (size_t i = 0; table != nullptr && i < rows; ++i) {
        if (table[i].CmdID == id) {
            if (row != nullptr)
                *row = &table[i];
            return 0;
        }
    }
    return AT_ERR_INCOMPLETE;
}

int FindAtCommandByText(const char* text, const AtCommandRow** row)
{
    const AtCommandRow* table = g_pCommandTable.load();
    const size_t rows = g_nCommandRows.load();
    for (size_t i = 0; text != nullptr && table != nullptr && i < rows; ++i) {
        if (strcmp(table[i].szText, text) == 0) {
            if (row != nullptr)
                *row = &table[i];
            return 0;
        }
    }
    return AT_ERR_INCOMPLETE;
}

int BuildAtCommandLine(const AtCommandRecord* command, char* line)
{
    if (command == nullptr || line == nullptr)
        return AT_ERR_INCOMPLETE;
    line[0] = '\0';
    // A raw dial or operator selection is a carriage return alone: it breaks
    // off a dial or an operator search the device is still running.
    if (command->Type == AT_TYPE_RAW && (command->CmdID == AT_CMD_DIAL || command->CmdID == AT_CMD_COPS)) {
        snprintf(line, AT_LINE_SIZE, "\r");
        return 0;
    }
    const AtCommandRow* row = nullptr;
    if (FindAtCommandById(command->CmdID, &row) != 0)
        return AT_ERR_INCOMPLETE;
    const char* op = nullptr;
    switch (command->Type) {
    case AT_TYPE_EXECUTE: op = ""; break;
    case AT_TYPE_SET: op = "="; break;
    case AT_TYPE_READ: op = "?"; break;
    case AT_TYPE_TEST: op = "=?"; break;
    default: return AT_ERR_INCOMPLETE;
    }
    const int paramLength = static_cast<int>(strnlen(command->szParam, AT_PARAM_SIZE));
    const int written = snprintf(line, AT_LINE_SIZE, "AT%s%s%.*s\r", row->szText, op, paramLength, command->szParam);
    // A cut line would lose its carriage return: send nothing instead.
    if (written < 0 || written >= AT_LINE_SIZE) {
        line[0] = '\0';
        return AT_ERR_INCOMPLETE;
    }
    return 0;
}

namespace {

// The name of the lines that answer a command ("+COPS" for the scan "+COPS="); "" for none.
std::string AnswerName(uint16_t id)
{
    const AtCommandRow* row = nullptr;
    if (FindAtCommandById(id, &row) != 0 || strchr("+^%*$", row->szText[0]) == nullptr || row->szText[0] == '\0')
        return "";
    std::string name = row->szText;
    if (name.back() == '=')
        name.pop_back();
    return name;
}

} // namespace

int ExecuteAtCommand(AtResponseRecord* reply, AtCommandRecord* command, int timeoutSeconds)
{
    if (command == nullptr)
        return AT_ERR_INCOMPLETE;
    command->pReply = reply;
    if (reply != nullptr)
        reply->Result = AT_RESULT_NONE;

    char line[AT_LINE_SIZE];
    if (BuildAtCommandLine(command, line) != 0)
        return AT_ERR_INCOMPLETE;
    if (KestleInitPort(PORT_KIND_AT, g_szPortName) != 0)
        return 0;

    // The operator scan and the manual selection answer in two bursts.
    const bool scan = command->CmdID == AT_CMD_COPS_SCAN && command->Type == AT_TYPE_READ;
    const bool select = command->CmdID == AT_CMD_COPS && command->Type == AT_TYPE_SET;
    const std::string name = AnswerName(command->CmdID);
    g_sSkippedName = name == g_sPreviousAnswerName ? "" : g_sPreviousAnswerName;
    g_sPreviousAnswerName = name;
    std::string own;
    bool complete = false;
    const bool any = CollectOwnAnswer(line, timeoutSeconds, scan || select, &own, &complete);
    // An answer that did not end may still come: it must not meet the next command.
    if (!complete)
        g_bResyncNeeded = true;
    if (!any)
        return 0;
    if (scan && Contains(own.data(), own.size(), "ERROR"))
        return 1;
    if ((scan || select) && !complete)
        return 1;

    SetAtAwaitingResponse(*command);
    ReceiveAtData(own.data(), static_cast<int>(own.size()));
    // a read answered without a line of its own: its answer may be on its way.
    // A device without profiles answers their list with OK alone behind its echo.
    const bool read = command->Type == AT_TYPE_READ || command->Type == AT_TYPE_TEST;
    const bool profileList = command->CmdID == AT_CMD_CGDCONT && command->Type == AT_TYPE_READ;
    if (reply != nullptr && read && reply->Result == AT_RESULT_OK && reply->szText[0] == '\0' &&
        (!profileList || g_nEchoState == kEchoOff))
        g_bResyncNeeded = true;
    return 0;
}

void SetAtAwaitingResponse(const AtCommandRecord& command)
{
    // One command, one answer: nothing left of an earlier exchange (a line after
    // its OK, text before its ERROR, a reply cut inside quotes) reaches this one.
    ClearBuffer();
    g_tLastSendCmd = command;
    g_nExchangeState = AT_STATE_AWAITING;
}

int ReceiveAtData(const char* bytes, int length)
{
    if (bytes == nullptr || length <= 0 || !g_bAtReady.load())
        return 1;
    if (g_nRecvLength + static_cast<size_t>(length) > AT_RECV_SIZE) {
        ClearBuffer();
        return 1;
    }
    AtCommandRecord last{};
    if (g_nExchangeState != AT_STATE_IDLE)
        last = g_tLastSendCmd;

    std::string text(bytes, static_cast<size_t>(length));
    NormalizeAtInput(text, g_nRecvLength > 0 ? g_szRecvBuffer[g_nRecvLength - 1] : '\0');
    if (g_nRecvLength + text.size() > AT_RECV_SIZE) {
        ClearBuffer();
        return 1;
    }
    memcpy(g_szRecvBuffer + g_nRecvLength, text.data(), text.size());
    g_nRecvLength += text.size();
    g_szRecvBuffer[g_nRecvLength] = '\0';

    auto response = std::make_unique<AtResponseRecord>();
    for (;;) {
        memset(response.get(), 0, sizeof(AtResponseRecord));
        const size_t before = g_nRecvLength;
        const int result = ParseAtResponse(response.get(), &last);
        if (result == 0) {
            // Further responses in the same text are unsolicited: they reach no reply record.
            const AtCommandRecord answered = last;
            last.CmdID = AT_CMD_NONE;
            last.pReply = nullptr;
            if (g_nExchangeState == AT_STATE_AWAITING)
                g_nExchangeState = AT_STATE_IDLE;
            DispatchAtResponse(&answered, response.get());
        } else if (result != AT_ERR_NO_COMMAND) {
            return 0;
        }
        if (g_nRecvLength >= before)
            return 0;
    }
}

bool ParseAtFinalResult(AtResponseRecord* response, const AtCommandRecord* last, size_t codeOffset,
                        size_t* consumed, size_t* removeAt)
{
    if (response->Result != AT_RESULT_OK || codeOffset == 0)
        return false;
    *consumed += codeOffset;
    *removeAt = 0;
    if (last->CmdID == AT_CMD_NONE)
        return false;
    CopyText(response->szText, sizeof(response->szText), g_szRecvBuffer, codeOffset);
    return MatchAtResponseToCommand(response, last);
}

bool ParseAtErrorResult(AtResponseRecord* response, size_t codeOffset, size_t codeLength, size_t* consumed)
{
    const size_t start = std::min(codeOffset + codeLength, g_nRecvLength);
    size_t end = g_nRecvLength;
    bool toEnd = true;
    if (strstr(g_szRecvBuffer, "CMT:") == nullptr && strstr(g_szRecvBuffer, "CDS:") == nullptr) {
        const char* lineEnd = FindOutsideQuotes(g_szRecvBuffer + start, "\r\n");
        if (lineEnd == nullptr)
            return false;
        end = lineEnd - g_szRecvBuffer;
        toEnd = false;
    }
    const size_t length = end - start;
    CopyText(response->szText, sizeof(response->szText), g_szRecvBuffer + start, length);
    response->ErrorLength = static_cast<uint16_t>(std::min<size_t>(length, UINT16_MAX));
    *consumed += length + (toEnd ? 0 : 2);
    return true;
}

int ParseAtResponse(AtResponseRecord* response, const AtCommandRecord* last)
{
    if (response == nullptr || last == nullptr)
        return AT_ERR_INVALID_ARG;

    // Text before the first line end (the echo, a partial line) is dropped.
    const char* lineEnd = FindOutsideQuotes(g_szRecvBuffer, "\r\n");
    if (lineEnd == nullptr) {
        if (g_nRecvLength > 0) {
            g_szRecvBuffer[0] = g_szRecvBuffer[g_nRecvLength - 1];
            g_szRecvBuffer[1] = '\0';
            g_nRecvLength = 1;
        }
        return AT_ERR_INCOMPLETE;
    }
    RemoveFromBuffer(0, lineEnd - g_szRecvBuffer);

    const AtResultCodeRow* table = g_pResultTable.load();
    const size_t rows = g_nResultRows.load();
    const AtResultCodeRow* code = nullptr;
    size_t codeOffset = 0;
    for (size_t i = 0; table != nullptr && i <= rows; ++i) {
        const AtResultCodeRow* row = i < rows ? &table[i] : &kBareCmeError;
        const char* at = FindOutsideQuotes(g_szRecvBuffer, row->szText);
        if (at == nullptr)
            continue;
        const size_t offset = at - g_szRecvBuffer;
        if (code == nullptr || offset < codeOffset) {
            code = row;
            codeOffset = offset;
        }
        if (offset == 0)
            break;
    }
    if (code == nullptr)
        return AT_ERR_INCOMPLETE;

    response->CmdID = static_cast<int16_t>(code->RowNumber);
    response->Result = static_cast<uint8_t>(code->Result);
    const size_t codeLength = strlen(code->szText);
    size_t consumed = codeLength;
    size_t removeAt = codeOffset;
    const bool outstanding = last->CmdID != AT_CMD_NONE;

    const bool matched = code->Kind == 0
                             ? ParseAtFinalResult(response, last, codeOffset, &consumed, &removeAt)
                             : ParseAtErrorResult(response, codeOffset, codeLength, &consumed);
    int result = 0;
    if (!matched) {
        if (outstanding) {
            response->CmdID = static_cast<int16_t>(last->CmdID);
            response->Type = last->Type;
        } else {
            result = AT_ERR_NO_COMMAND;
        }
    }
    RemoveFromBuffer(removeAt, consumed);
    return result;
}

void CollectAtInfoLines(const char* info, char* name, size_t nameSize, char* collected, size_t collectedSize)
{
    if (name == nullptr || nameSize == 0 || collected == nullptr || collectedSize == 0)
        return;
    name[0] = '\0';
    Appender out(collected, collectedSize);
    if (info == nullptr)
        return;

    bool named = false;
    const char* rest = info;
    for (;;) {
        const char* end = FindOutsideQuotes(rest, "\r\n");
        if (end == nullptr)
            break;
        char line[AT_LINE_SIZE];
        CopyText(line, sizeof(line), rest, end - rest);
        rest = end + 2;
        if (line[0] == '\0')
            continue;

        const char* colon = FindOutsideQuotes(line, ": ");
        if (colon != nullptr) {
            const size_t nameLength = colon - line;
            if (!named) {
                named = true;
                CopyText(name, nameSize, line, nameLength);
                out.Add(colon + 2);
            } else if (strlen(name) == nameLength && strncmp(name, line, nameLength) == 0) {
                out.Add(";");
                out.Add(colon + 2);
            } else {
                break;
            }
        } else if (named) {
            out.Add(",\"");
            out.Add(line);
            out.Add("\"");
        } else if (strstr(rest, ": ") == nullptr) {
            // The echo of the command line stands before the named lines.
            out.Add(line);
        }
    }
}

namespace {

// Result codes a modem sends on its own as bare lines, at any time.
const char* const kUnsolicitedBareLines[] = {"RING", "NO CARRIER", "BUSY", "NO ANSWER", "NO DIALTONE"};

bool IsUnsolicitedBareLine(const std::string& line)
{
    for (const char* text : kUnsolicitedBareLines) {
        if (line == text)
            return true;
    }
    return false;
}

// Name of an information line: the text before ": ", or before ':' for a
// "+NAME:value" line; empty for a bare line.
std::string InfoLineName(const std::string& line)
{
    const char* colon = FindOutsideQuotes(line.c_str(), ": ");
    if (colon != nullptr)
        return line.substr(0, colon - line.c_str());
    if (!line.empty() && strchr("+^%*$", line[0]) != nullptr) {
        const size_t at = line.find(':');
        if (at != std::string::npos)
            return line.substr(0, at);
    }
    return "";
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// A bare line answers only the commands answered by one: the identity reads
// (the IMSI and the serial numbers in digits) and the CPE mode exit.
bool FitsBareForm(uint16_t id, const std::string& line)
{
    if (id == AT_CMD_GSN || id == AT_CMD_CIMI || id == AT_CMD_CGSN)
        return !line.empty() && line.find_first_not_of("0123456789") == std::string::npos;
    // "I" and the maker, model and revision reads from "+GMI" to "+CGMM"
    return id == AT_CMD_I || (id >= AT_CMD_GMI && id <= AT_CMD_CGMM) || id == AT_CMD_ZCPE;
}

// Unsolicited results of two lines: a header and the message text after it.
bool IsTwoLineUnsolicited(const std::string& name)
{
    return SameNameIgnoringCase(name, "+CMT") || SameNameIgnoringCase(name, "+CDS") ||
           SameNameIgnoringCase(name, "+CBM");
}

bool IsEcho(const std::string& line)
{
    return line.size() >= 2 && strncasecmp(line.c_str(), "AT", 2) == 0;
}

// The information lines that answer the command, in their order: lines named
// after another command (an unsolicited "+CREG: 1") and unsolicited bare
// lines ("RING") are left out; a command answered by a bare line keeps the
// one line of its form.
std::string KeepOwnInfoLines(const char* info, const AtCommandRecord* last)
{
    std::string own;
    const AtCommandRow* row = nullptr;
    if (FindAtCommandById(last->CmdID, &row) == 0) {
        own = row->szText;
        // the operator scan "+COPS=" is answered by "+COPS" lines
        if (!own.empty() && own.back() == '=')
            own.pop_back();
    }

    std::vector<std::string> lines;
    for (const char* rest = info;;) {
        const char* end = FindOutsideQuotes(rest, "\r\n");
        if (end == nullptr)
            break;
        if (end != rest)
            lines.emplace_back(rest, end - rest);
        rest = end + 2;
    }
    bool ownNamed = false;
    for (const std::string& line : lines)
        ownNamed = ownNamed || SameNameIgnoringCase(InfoLineName(line), own);

    std::string kept;
    bool bareTaken = false;
    bool textOfUnsolicited = false;
    for (const std::string& line : lines) {
        const bool skipText = textOfUnsolicited;
        textOfUnsolicited = false;
        if (IsUnsolicitedBareLine(line))
            continue;
        const std::string name = InfoLineName(line);
        if (!name.empty() && !SameNameIgnoringCase(name, own)) {
            textOfUnsolicited = IsTwoLineUnsolicited(name);
            continue;
        }
        if (skipText && name.empty())
            continue;
        if (!ownNamed && name.empty()) {
            if (bareTaken || IsEcho(line) || !FitsBareForm(last->CmdID, line))
                continue;
            bareTaken = true;
        }
        // "+NAME:value" reads as "+NAME: value"
        if (!name.empty() && line.compare(name.size(), 2, ": ") != 0)
            kept += "\r\n" + name + ": " + line.substr(name.size() + 1);
        else
            kept += "\r\n" + line;
    }
    if (!kept.empty())
        kept += "\r\n";
    return kept;
}

} // namespace

bool MatchAtResponseToCommand(AtResponseRecord* response, const AtCommandRecord* last)
{
    if (response == nullptr || last == nullptr)
        return false;
    response->Type = last->Type;
    response->szText[sizeof(response->szText) - 1] = '\0';
    const std::string own = KeepOwnInfoLines(response->szText, last);
    CopyText(response->szText, sizeof(response->szText), own.c_str(), own.size());
    char name[AT_LINE_SIZE];
    std::vector<char> collected(AT_RECV_SIZE);
    CollectAtInfoLines(response->szText, name, sizeof(name), collected.data(), collected.size());

    bool match = false;
    if (name[0] == '\0') {
        response->CmdID = static_cast<int16_t>(last->CmdID);
        match = FindAtCommandById(last->CmdID, nullptr) == 0;
    } else {
        const AtCommandRow* row = nullptr;
        match = FindAtCommandByText(name, &row) == 0 && row->CmdID == last->CmdID;
        if (match)
            response->CmdID = static_cast<int16_t>(last->CmdID);
    }
    if (match)
        CopyText(response->szText, sizeof(response->szText), collected.data(), strlen(collected.data()));
    return match;
}

void DispatchAtResponse(const AtCommandRecord* last, AtResponseRecord* response)
{
    if (last == nullptr || response == nullptr)
        return;
    if (response->Result == AT_RESULT_PROMPT) {
        DebugLine("DispatchAtResponse: prompt for handle %d", static_cast<int>(last->Handle));
        DebugLine("DispatchAtResponse: handle %d gets no response", static_cast<int>(last->Handle));
        return;
    }
    response->Handle = last->Handle;
    response->pReply = last->pReply;

    char* text = response->szText;
    text[sizeof(response->szText) - 1] = '\0';
    const char* pair = FindOutsideQuotes(text, "\r\n\r\n");
    if (pair != nullptr && strstr(text, "\r\n\r\nOK") == nullptr) {
        memmove(text, pair + 2, strlen(pair + 2) + 1);
        const char* colon = FindOutsideQuotes(text, ":");
        if (colon != nullptr)
            memmove(text, colon + 1, strlen(colon + 1) + 1);
    }
    if (response->pReply != nullptr && response->pReply != response)
        memcpy(response->pReply, response, sizeof(AtResponseRecord));

    DebugLine("DispatchAtResponse: CmdID %d", response->CmdID);
    DebugLine("DispatchAtResponse: response handle %d (none in this system)", static_cast<int>(response->Handle));
}

const char* AtReceiveBufferText()
{
    return g_szRecvBuffer;
}

int AtExchangeState()
{
    return g_nExchangeState;
}

void ResetAtEngineState()
{
    ClearBuffer();
    g_nEchoState = kEchoOn;
    g_bResyncNeeded = false;
    g_sPreviousAnswerName.clear();
    g_sSkippedName.clear();
    g_nExchangeState = AT_STATE_IDLE;
    memset(&g_tLastSendCmd, 0, sizeof(g_tLastSendCmd));
}
