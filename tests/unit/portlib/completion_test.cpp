// When an AT or DIAG reply counts as complete.
#include <gtest/gtest.h>

#include <string>

#include "platform/portlib/portlib_internal.h"

namespace {

using kestle_portlib::AtReplyComplete;
using kestle_portlib::DiagReplyComplete;

TEST(AtReplyComplete, FinalResultCodes)
{
    struct Case {
        const char* request;
        std::string reply;
        bool complete;
    };
    const Case cases[] = {
        {"AT+CIMI\r", "AT+CIMI\r\r\n001010123456789\r\n\r\nOK\r\n", true},
        {"AT\r", "\r\nOK\r\n", true},
        {"AT\r", "OK\r\n", true},
        {"AT\r", "\r\nOK", false},
        {"AT\r", "\r\nOK\r", true},  // a "\r" alone ends a line (S4 empty)
        {"AT+X\r", "\r\nERROR\r\n", true},
        // only what follows the echo of the line just sent is judged
        {"AT+CPIN?\r", "\r\nOK\r\nAT+CPIN?\r", false},
        {"AT+CPIN?\r", "\r\nERROR\r\nAT+CPIN?\r\r\n+CPIN: READY\r\n", false},
        {"AT+CPIN?\r", "\r\nOK\r\nAT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n", true},
        {"AT+CPIN?\r", "AT+CPIN?\r\r+CPIN: READY\r\rOK\r", true},
        {"AT+CPIN?\r", "\r\n+CME ERROR: 10\r\n", true},
        {"AT+CPIN?\r", "\r\n+CME ERROR: 10", false},  // the error text is not whole yet
        {"AT+CMGS=1\r", "\r\n+CMS ERROR: 500\r\n", true},
        {"AT+CMGS=1\r", "AT+CMGS=1\r\r\n> ", true},
        {"AT+ZX\r", "\r\nnot support\r\n", true},
        // a bare error line without a code is final as well
        {"AT+CPIN?\r", "\r\n+CME ERROR\r\n", true},
        {"AT+CMGS=1\r", "\r\n+CMS ERROR\r\n", true},
        {"AT+CPIN?\r", "\r\n+CME ERROR", false},
        {"AT+CPIN?\r", "\r\n+CME ERRORS\r\n", false},
        {"AT+CGDCONT?\r", "\r\n+CGDCONT: 1,\"IP\",\"apn\"\r\n", false},
        {"AT\r", "\r\nRING\r\n", false},
        {"AT\r", "", false},
        // codes inside quotes belong to the text
        {"AT+CMGR=1\r", "\r\n+CMGR: \"x\r\nOK\r\n", false},
        {"AT+CMGR=1\r", "\r\n+CMGR: \"x\r\nOK\r\n\"\r\n\r\nOK\r\n", true},
        // not at a line start
        {"AT\r", "\r\nBOOK\r\n", false},
        // the operator scan needs its list and the final code
        {"AT+COPS=?\r", "AT+COPS=?\r\r\n", false},
        {"AT+COPS=?\r", "AT+COPS=?\r\r\n+COPS: (2,\"Op\",\"Op\",\"00101\",7),,(0-4),(0-2)\r\n", false},
        {"AT+COPS=?\r", "AT+COPS=?\r\r\n+COPS: (2,\"Op\",\"Op\",\"00101\",7),,(0-4),(0-2)\r\n\r\nOK\r\n", true},
        {"AT+COPS=?\r", "\r\nOK\r\n", false},
        {"at+cops=?\r", "\r\nOK\r\n", false},
        {"AT+COPS=?\r", "\r\nOK\r\n+COPS: (2,\"Op\",\"Op\",\"00101\",7)\r\n", false},
        {"AT+COPS=?\r", "\r\n+CME ERROR: 30\r\n", true},
        // a scan that found no network answers ranges only, then OK
        {"AT+COPS=?\r", "AT+COPS=?\r\r\n+COPS: ,,(0-4),(0-2)\r\n\r\nOK\r\n", true},
        {"AT+COPS=?\r", "\r\n+COPS: ,,(0-4),(0-2)\r\n", false},
        {"AT+COPS=?\r", "\r\nERROR\r\n", true},
        // the selection is an ordinary command
        {"AT+COPS=1,2,\"00101\"\r", "\r\nOK\r\n", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.complete, AtReplyComplete(c.request, c.reply)) << c.request << " / " << c.reply;
    // the follow-up read of a scan whose list came in an earlier read ends at the OK alone
    EXPECT_TRUE(AtReplyComplete("AT+COPS=?\r", "\r\nOK\r\n", true));
    EXPECT_FALSE(AtReplyComplete("AT+COPS=?\r", "\r\n", true));
}

TEST(AtReplyComplete, LineEndsOfLfAloneAndNulBytes)
{
    struct Case {
        const char* request;
        std::string reply;
        bool complete;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        {"AT+CPIN?\r", "AT+CPIN?\r\n+CPIN: READY\n\nOK\n", true},
        {"AT+X\r", "\nERROR\n", true},
        {"AT+CPIN?\r", "\n+CME ERROR: 10\n", true},
        {"AT+CPIN?\r", "\n+CME ERROR\n", true},
        {"AT+COPS=?\r", "AT+COPS=?\r\n+COPS: (2,\"Op\",\"Op\",\"00101\",7),,(0-4),(0-2)\n\nOK\n", true},
        {"AT+CPIN?\r", "\r\n+CPIN: READY\r\n\0OK\r\n"s, true},
        {"AT+CPIN?\r", "\r\n+CPIN: READY\r\nOK\0\r\n"s, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.complete, AtReplyComplete(c.request, c.reply)) << c.request << " / " << c.reply;
}

TEST(DiagReplyComplete, EndFlagAfterData)
{
    struct Case {
        std::string reply;
        bool complete;
    };
    const Case cases[] = {
        {std::string("\x4B\x01\x02\x7E", 4), true},
        {std::string("\x00\x01\x7E", 3), true},
        {std::string("\x7E\x02\x6A\xD3\x7E", 5), true},  // download answers open with a flag
        {std::string("\x7E", 1), false},
        {std::string("\x7E\x7E", 2), false},
        {std::string("\x4B\x01\x02", 3), false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.complete, DiagReplyComplete(c.reply)) << c.reply.size();
}

TEST(DiagReplyLength, FirstFrameOnly)
{
    struct Case {
        std::string reply;
        size_t length;
    };
    const Case cases[] = {
        {std::string("\x4B\x01\x02\x7E", 4), 4},
        {std::string("\x4B\x01\x02\x7E\x13\x4B\x99\x7E", 8), 4},  // an error frame behind the answer
        {std::string("\x7E\x02\x6A\xD3\x7E\x7E\x05\x7E", 8), 5},
        {std::string("\x4B\x01", 2), 2},  // not complete: all of it
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.length, kestle_portlib::DiagReplyLength(c.reply)) << c.reply.size();
}

}  // namespace
