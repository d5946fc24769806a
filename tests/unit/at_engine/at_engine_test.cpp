#include "device/at_engine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

class AtEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallAtEngineTables();
        ResetAtEngineState();
        reply_ = std::make_unique<AtResponseRecord>();
    }
    void TearDown() override { ResetAtEngineState(); }

    // What ExecuteAtCommand does once the port returned text.
    int Answer(uint16_t id, uint8_t type, const std::string& text)
    {
        memset(reply_.get(), 0, sizeof(AtResponseRecord));
        AtCommandRecord command{};
        command.CmdID = id;
        command.Type = type;
        command.pReply = reply_.get();
        SetAtAwaitingResponse(command);
        return ReceiveAtData(text.data(), static_cast<int>(text.size()));
    }

    std::string Buffer() const { return AtReceiveBufferText(); }

    std::unique_ptr<AtResponseRecord> reply_;
};

struct ReplyCase {
    const char* name;
    uint16_t id;
    uint8_t type;
    const char* received;
    int result;
    int cmdId;
    const char* text;
    int errorLength;
    const char* left; // receive buffer afterwards
};

const ReplyCase kReplyCases[] = {
    {"EchoDroppedImsiAlone", 19, AT_TYPE_EXECUTE, "AT+CIMI\r\r\n440101234567890\r\n\r\nOK\r\n", AT_RESULT_OK, 19,
     "440101234567890", 0, ""},
    {"JoinedContextLines", 45, AT_TYPE_READ,
     "AT+CGDCONT?\r\r\n+CGDCONT: 1,\"IP\",\"internet\",\"0.0.0.0\",0,0\r\n"
     "+CGDCONT: 2,\"IPV6\",\"ims\",\"::\",0,0\r\n\r\nOK\r\n",
     AT_RESULT_OK, 45, "1,\"IP\",\"internet\",\"0.0.0.0\",0,0;2,\"IPV6\",\"ims\",\"::\",0,0", 0, ""},
    {"CmeErrorNumber", 41, AT_TYPE_SET, "\r\n+CME ERROR: 10\r\n", AT_RESULT_CME_ERROR, 4, "10", 2, ""},
    {"CmsErrorNumber", 33, AT_TYPE_SET, "\r\n+CMS ERROR: 304\r\n", AT_RESULT_CMS_ERROR, 3, "304", 3, ""},
    {"PlainError", 43, AT_TYPE_SET, "\r\nERROR\r\n", AT_RESULT_ERROR, 43, "", 0, ""},
    {"OkInsideQuotes", 45, AT_TYPE_READ, "\r\n+CGDCONT: 1,\"IP\",\"a\r\nOK\r\nb\",\"\",0,0\r\n\r\nOK\r\n",
     AT_RESULT_OK, 45, "1,\"IP\",\"a\r\nOK\r\nb\",\"\",0,0", 0, ""},
    {"OnlyQuotedOkIsIncomplete", 45, AT_TYPE_READ, "\r\n+CGDCONT: 1,\"\r\nOK\r\n\"", AT_RESULT_NONE, 0, "", 0,
     "\r\n+CGDCONT: 1,\"\r\nOK\r\n\""},
    {"NoLineEndKeepsLastCharacter", 19, AT_TYPE_EXECUTE, "440101234567890\r", AT_RESULT_NONE, 0, "", 0, "\r"},
    {"UnsolicitedLineAfterResponseStays", 41, AT_TYPE_READ,
     "\r\n+CPIN: READY\r\n\r\nOK\r\n\r\n+CREG: 1\r\n", AT_RESULT_OK, 41, "READY", 0, "\r\n+CREG: 1\r\n"},
    {"UnsolicitedErrorAfterResponseReachesNoReply", 41, AT_TYPE_READ,
     "\r\n+CPIN: READY\r\n\r\nOK\r\n\r\n+CME ERROR: 3\r\n", AT_RESULT_OK, 41, "READY", 0, ""},
    {"TextBeforeErrorStays", 41, AT_TYPE_READ, "\r\n+CPIN: SIM PIN\r\n\r\nERROR\r\n", AT_RESULT_ERROR, 41, "", 0,
     "\r\n+CPIN: SIM PIN\r\n"},
    {"OnlyOtherNamedLinesGiveNoText", 41, AT_TYPE_READ, "\r\n+CREG: 1\r\n\r\nOK\r\n", AT_RESULT_OK, 41, "", 0,
     ""},
    // Unsolicited lines before and inside an answer are not part of it.
    {"NamedLineOfOtherCommandBeforeAnswerSkipped", 4130, AT_TYPE_READ,
     "AT+ZSNT?\r\r\n+CREG: 1\r\n\r\n+ZSNT: 6,1,0\r\n\r\nOK\r\n", AT_RESULT_OK, 4130, "6,1,0", 0, ""},
    {"NamedLineBetweenContextsSkipped", 45, AT_TYPE_READ,
     "\r\n+CGDCONT: 1,\"IP\",\"a\",\"0.0.0.0\",0,0\r\n\r\n+CREG: 1,\"00C3\",\"0010\"\r\n"
     "+CGDCONT: 2,\"IP\",\"b\",\"0.0.0.0\",0,0\r\n\r\nOK\r\n",
     AT_RESULT_OK, 45, "1,\"IP\",\"a\",\"0.0.0.0\",0,0;2,\"IP\",\"b\",\"0.0.0.0\",0,0", 0, ""},
    {"RingInsideContextsSkipped", 45, AT_TYPE_READ,
     "\r\n+CGDCONT: 1,\"IP\",\"a\",\"0.0.0.0\",0,0\r\n\r\nRING\r\n\r\nOK\r\n", AT_RESULT_OK, 45,
     "1,\"IP\",\"a\",\"0.0.0.0\",0,0", 0, ""},
    {"NamedLineWithoutBlankSkipped", 123, AT_TYPE_READ, "\r\n+ZAPNLOCK: 1\r\n^RSSI:20\r\n\r\nOK\r\n",
     AT_RESULT_OK, 123, "1", 0, ""},
    {"BareAnswerTakesItsLineNotRing", 19, AT_TYPE_EXECUTE, "\r\n440209312345678\r\n\r\nRING\r\n\r\nOK\r\n",
     AT_RESULT_OK, 19, "440209312345678", 0, ""},
    {"BareAnswerAfterUnsolicitedLines", 19, AT_TYPE_EXECUTE,
     "\r\nRING\r\n\r\n+CREG: 1\r\n\r\n440209312345678\r\n\r\nOK\r\n", AT_RESULT_OK, 19, "440209312345678", 0, ""},
    {"BareDigitAnswerSkipsOtherBareLines", 19, AT_TYPE_EXECUTE, "\r\nPB DONE\r\n440209312345678\r\n\r\nOK\r\n",
     AT_RESULT_OK, 19, "440209312345678", 0, ""},
    {"OperatorScanRawTextWithoutUnsolicitedLine", 122, AT_TYPE_READ,
     "\r\n+CREG: 1\r\n\r\n+COPS: (2,\"Op A\",\"A\",\"00101\",7),,(0-4),(0-2)\r\n\r\nOK\r\n", AT_RESULT_OK, 122,
     "\r\n+COPS: (2,\"Op A\",\"A\",\"00101\",7),,(0-4),(0-2)\r\n", 0, ""},
    {"BareCmeErrorEndsResponse", 41, AT_TYPE_SET, "AT+CPIN=\"1111\"\r\r\n+CME ERROR\r\n", AT_RESULT_CME_ERROR, 41, "",
     0, ""},
    {"OperatorScanKeepsRawText", 122, AT_TYPE_READ,
     "\r\n+COPS: (2,\"Op A\",\"A\",\"00101\",7),(1,\"Op B\",\"B\",\"00102\",2),,(0-4),(0-2)\r\n\r\nOK\r\n",
     AT_RESULT_OK, 122, "\r\n+COPS: (2,\"Op A\",\"A\",\"00101\",7),(1,\"Op B\",\"B\",\"00102\",2),,(0-4),(0-2)\r\n", 0,
     ""},
    {"UnnamedLineAfterNamedIsQuoted", 4130, AT_TYPE_READ, "\r\n+ZSNT: 6,1,0\r\nextra\r\n\r\nOK\r\n", AT_RESULT_OK,
     4130, "6,1,0,\"extra\"", 0, ""},
    {"UnnamedReplyTakenWhole", 117, AT_TYPE_SET, "AT+ZCPE=o\r\r\nexit cpe mode result(0:FAIL 1:SUCCESS):1\r\n\r\nOK\r\n",
     AT_RESULT_OK, 117, "exit cpe mode result(0:FAIL 1:SUCCESS):1", 0, ""},
    {"NotSupport", 19, AT_TYPE_EXECUTE, "\r\nnot support\r\n", AT_RESULT_NOT_SUPPORT, 19, "", 0, ""},
    {"CmeErrorWithoutLineEndStillAnswers", 41, AT_TYPE_SET, "\r\n+CME ERROR: 1", AT_RESULT_CME_ERROR, 41, "", 0,
     "1"},
    {"ErrorRunsToEndWithMessageIndication", 41, AT_TYPE_SET, "\r\n+CME ERROR: 7\r\n+CMT: x", AT_RESULT_CME_ERROR, 4,
     "7\r\n+CMT: x", 10, ""},
};

void PrintTo(const ReplyCase& c, std::ostream* os)
{
    *os << c.name;
}

class AtReplyTest : public AtEngineTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(AtReplyTest, ReplyRecordAndLeftText)
{
    const ReplyCase& c = GetParam();
    EXPECT_EQ(Answer(c.id, c.type, c.received), 0);
    EXPECT_EQ(reply_->Result, c.result);
    EXPECT_EQ(reply_->CmdID, c.cmdId);
    EXPECT_STREQ(reply_->szText, c.text);
    EXPECT_EQ(reply_->ErrorLength, c.errorLength);
    EXPECT_EQ(Buffer(), c.left);
}

INSTANTIATE_TEST_SUITE_P(Replies, AtReplyTest, ::testing::ValuesIn(kReplyCases),
                         [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

// Bytes real modems send around an answer: NUL bytes, "\n" line ends, a
// two-line unsolicited result, and a bare line that answers another command.
TEST_F(AtEngineTest, OddBytesAroundAnAnswer)
{
    using namespace std::string_literals;
    const struct {
        const char* name;
        uint16_t id;
        std::vector<std::string> pieces;
        const char* text;
    } cases[] = {
        {"NUL before the answer", 41, {"\0AT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n"s}, "READY"},
        {"NUL between the line and OK", 41, {"\r\n+CPIN: READY\r\n\0\r\nOK\r\n"s}, "READY"},
        {"LF line ends", 41, {"AT+CPIN?\r\n+CPIN: READY\n\nOK\n"}, "READY"},
        {"LF line ends in two pieces", 4130, {"AT+ZSNT?\r", "\n+ZSNT: 7,1,0\n\nOK\n"}, "7,1,0"},
        {"two-line unsolicited result inside the answer", 41,
         {"\r\n+CPIN: READY\r\n\r\n+CDS: 6,1\r\n0791448720003023\r\n\r\nOK\r\n"}, "READY"},
        {"bare line of another command", 41, {"\r\n440209312345678\r\n\r\nOK\r\n"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        memset(reply_.get(), 0, sizeof(AtResponseRecord));
        AtCommandRecord command{};
        command.CmdID = c.id;
        command.Type = AT_TYPE_READ;
        command.pReply = reply_.get();
        SetAtAwaitingResponse(command);
        for (const std::string& piece : c.pieces)
            EXPECT_EQ(ReceiveAtData(piece.data(), static_cast<int>(piece.size())), 0);
        EXPECT_EQ(reply_->Result, AT_RESULT_OK);
        EXPECT_STREQ(reply_->szText, c.text);
    }
}

TEST_F(AtEngineTest, ReplyInTwoPiecesCompletesOnSecond)
{
    EXPECT_EQ(Answer(41, AT_TYPE_READ, "\r\n+CPIN: READY\r\n\r\nO"), 0);
    EXPECT_EQ(reply_->Result, AT_RESULT_NONE);
    EXPECT_EQ(AtExchangeState(), AT_STATE_AWAITING);
    const std::string rest = "K\r\n";
    EXPECT_EQ(ReceiveAtData(rest.data(), static_cast<int>(rest.size())), 0);
    EXPECT_EQ(reply_->Result, AT_RESULT_OK);
    EXPECT_STREQ(reply_->szText, "READY");
    EXPECT_EQ(AtExchangeState(), AT_STATE_IDLE);
}

// Whatever an exchange leaves unparsed ends with it: the next command reads its own answer.
TEST_F(AtEngineTest, NothingOfAnEarlierExchangeReachesTheNextOne)
{
    const struct {
        const char* name;
        const char* first; // answer to AT+CPIN?
    } cases[] = {
        {"TextBeforeError", "\r\n+CPIN: SIM PIN\r\n\r\nERROR\r\n"},
        {"LineAfterOk", "\r\n+CPIN: READY\r\n\r\nOK\r\n\r\n+CREG: 1\r\n"},
        {"ReplyCutAtTimeout", "AT+CPIN?\r\r\n+CPIN: REA"},
        {"ReplyCutInsideQuotes", "\r\n+CPIN: \"REA"},
        {"BareCmeErrorText", "\r\n+CME ERROR:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Answer(41, AT_TYPE_READ, c.first);
        Answer(19, AT_TYPE_EXECUTE, "AT+CIMI\r\r\n440209312345678\r\n\r\nOK\r\n");
        EXPECT_EQ(reply_->Result, AT_RESULT_OK);
        EXPECT_EQ(reply_->CmdID, 19);
        EXPECT_STREQ(reply_->szText, "440209312345678");
        EXPECT_EQ(Buffer(), "");

        Answer(41, AT_TYPE_READ, c.first);
        Answer(4130, AT_TYPE_READ, "\r\n+ZSNT: 6,1,0\r\n\r\nOK\r\n");
        EXPECT_EQ(reply_->Result, AT_RESULT_OK);
        EXPECT_STREQ(reply_->szText, "6,1,0");
    }
}

TEST_F(AtEngineTest, UnsolicitedResponsesWhileIdleReachNoReply)
{
    const std::string text = "\r\n+CREG: 1\r\n\r\nOK\r\n\r\nERROR\r\n";
    EXPECT_EQ(ReceiveAtData(text.data(), static_cast<int>(text.size())), 0);
    EXPECT_EQ(Buffer(), "");
    EXPECT_EQ(AtExchangeState(), AT_STATE_IDLE);
}

TEST_F(AtEngineTest, PromptIsNotHandedOver)
{
    EXPECT_EQ(Answer(33, AT_TYPE_SET, "\r\n> "), 0);
    EXPECT_EQ(reply_->Result, AT_RESULT_NONE);
    EXPECT_EQ(Buffer(), "");
}

TEST_F(AtEngineTest, OverflowClearsBufferAndDropsNewBytes)
{
    Answer(19, AT_TYPE_EXECUTE, "\r\npartial line");
    ASSERT_EQ(Buffer(), "\r\npartial line");
    const std::string big(AT_RECV_SIZE, 'x');
    EXPECT_EQ(ReceiveAtData(big.data(), static_cast<int>(big.size())), 1);
    EXPECT_EQ(Buffer(), "");
    // Exactly the capacity still fits.
    EXPECT_EQ(ReceiveAtData(big.data(), static_cast<int>(big.size())), 0);
    EXPECT_EQ(Buffer(), "x");
}

TEST_F(AtEngineTest, ReceiveRefusesMissingOrEmptyData)
{
    EXPECT_EQ(ReceiveAtData(nullptr, 4), 1);
    EXPECT_EQ(ReceiveAtData("abc", 0), 1);
    EXPECT_EQ(ReceiveAtData("abc", -1), 1);
}

TEST_F(AtEngineTest, ParseResultsWithoutCompleteResponse)
{
    AtResponseRecord* response = reply_.get();
    AtCommandRecord last{};
    EXPECT_EQ(ParseAtResponse(nullptr, &last), AT_ERR_INVALID_ARG);
    EXPECT_EQ(ParseAtResponse(response, nullptr), AT_ERR_INVALID_ARG);
    EXPECT_EQ(ParseAtResponse(response, &last), AT_ERR_INCOMPLETE); // empty buffer
    Answer(41, AT_TYPE_READ, "\r\n+CPIN: READY\r\n");
    last.CmdID = 41;
    EXPECT_EQ(ParseAtResponse(response, &last), AT_ERR_INCOMPLETE);
    EXPECT_EQ(Buffer(), "\r\n+CPIN: READY\r\n");
}

TEST_F(AtEngineTest, DispatchCutsTextAtBlankLinePair)
{
    AtResponseRecord response{};
    response.Result = AT_RESULT_OK;
    snprintf(response.szText, sizeof(response.szText), "head\r\n\r\n+X: value");
    AtCommandRecord last{};
    last.pReply = reply_.get();
    last.Handle = 7;
    DispatchAtResponse(&last, &response);
    EXPECT_STREQ(reply_->szText, " value");
    EXPECT_EQ(reply_->Handle, 7u);

    snprintf(response.szText, sizeof(response.szText), "head\r\n\r\nOK tail");
    DispatchAtResponse(&last, &response);
    EXPECT_STREQ(reply_->szText, "head\r\n\r\nOK tail");
}

// --- quotes, look-ups and line building -----------------------------------

TEST(FindOutsideQuotes, EvenQuoteCountOnly)
{
    struct Case {
        const char* text;
        const char* pattern;
        int at; // -1: none
    } cases[] = {
        {"abc\r\ndef", "\r\n", 3},
        {"\"a\r\nb\"\r\n", "\r\n", 6},
        {"\"open \r\n", "\r\n", -1},
        {"x: \"y: z\"", ": ", 1},
        {"\"x: y\" z", ": ", -1},
        {"", "\r\n", -1},
        {"abc", "", 0},
    };
    for (const Case& c : cases) {
        const char* found = FindOutsideQuotes(c.text, c.pattern);
        EXPECT_EQ(found == nullptr ? -1 : static_cast<int>(found - c.text), c.at) << c.text;
    }
    EXPECT_EQ(FindOutsideQuotes(nullptr, "a"), nullptr);
    EXPECT_EQ(FindOutsideQuotes("a", nullptr), nullptr);
}

TEST(AtCommandTableTest, RowsAndFirstRowWins)
{
    InstallAtEngineTables();
#if defined(SETWELL_USER_AUTH)
    EXPECT_EQ(AtCommandTableRows, 245u);
#else
    EXPECT_EQ(AtCommandTableRows, 244u);  // no user authentication, no "$QCPDPP"
#endif
    const AtCommandRow* row = nullptr;
    struct ById {
        uint16_t id;
        const char* text;
    } ids[] = {{7, ""}, {45, "+CGDCONT"}, {59, "+COPS"}, {122, "+COPS="}, {4150, "+znlockband"},
               {8202, "^SYSINFO"}, {4124, "*TSTMS"},
#if defined(SETWELL_USER_AUTH)
               {126, "$QCPDPP"},
#endif
               {22, "+CMEE"}};
    for (const ById& c : ids) {
        ASSERT_EQ(FindAtCommandById(c.id, &row), 0) << c.id;
        EXPECT_STREQ(row->szText, c.text);
    }
    struct ByText {
        const char* text;
        uint16_t id;
    } texts[] = {{"+CGMR", 17}, {"+ZMCON", 48}, {"+CREG", 61}, {"+COPS", 59}, {"+CUSD", 94}, {"+ZFLAG", 112}};
    for (const ByText& c : texts) {
        ASSERT_EQ(FindAtCommandByText(c.text, &row), 0) << c.text;
        EXPECT_EQ(row->CmdID, c.id) << c.text;
    }
    EXPECT_EQ(FindAtCommandById(1, &row), AT_ERR_INCOMPLETE);
#if !defined(SETWELL_USER_AUTH)
    EXPECT_EQ(FindAtCommandById(126, &row), AT_ERR_INCOMPLETE);
    EXPECT_EQ(FindAtCommandByText("$QCPDPP", &row), AT_ERR_INCOMPLETE);
#endif
    EXPECT_EQ(FindAtCommandByText("+cgdcont", &row), AT_ERR_INCOMPLETE);
    EXPECT_EQ(FindAtCommandByText(nullptr, &row), AT_ERR_INCOMPLETE);
}

TEST(AtResultCodeTableTest, SixRows)
{
    ASSERT_EQ(AtResultCodeTableRows, 6u);
    EXPECT_STREQ(AtResultCodeTable[3].szText, "\r\n+CME ERROR: ");
    EXPECT_EQ(AtResultCodeTable[3].Kind, 1);
    EXPECT_EQ(AtResultCodeTable[4].Result, 11);
    EXPECT_EQ(AtResultCodeTable[5].RowNumber, 6);
}

TEST(BuildAtCommandLineTest, Lines)
{
    InstallAtEngineTables();
    struct Case {
        uint16_t id;
        uint8_t type;
        const char* param;
        int result;
        const char* line;
    } cases[] = {
        {7, AT_TYPE_EXECUTE, "", 0, "AT\r"},
        {19, AT_TYPE_EXECUTE, "", 0, "AT+CIMI\r"},
        {45, AT_TYPE_SET, "1,\"IP\",\"apn\"", 0, "AT+CGDCONT=1,\"IP\",\"apn\"\r"},
        {45, AT_TYPE_READ, "", 0, "AT+CGDCONT?\r"},
        {4143, AT_TYPE_TEST, "", 0, "AT+ZPINPUK=?\r"},
        {122, AT_TYPE_READ, "", 0, "AT+COPS=?\r"},
        {65, AT_TYPE_RAW, "x", 0, "\r"},
        {59, AT_TYPE_RAW, "", 0, "\r"},
        {19, AT_TYPE_RAW, "", AT_ERR_INCOMPLETE, ""},
        {19, 0, "", AT_ERR_INCOMPLETE, ""},
        {1, AT_TYPE_EXECUTE, "", AT_ERR_INCOMPLETE, ""},
    };
    for (const Case& c : cases) {
        AtCommandRecord command{};
        command.CmdID = c.id;
        command.Type = c.type;
        snprintf(command.szParam, sizeof(command.szParam), "%s", c.param);
        char line[AT_LINE_SIZE];
        EXPECT_EQ(BuildAtCommandLine(&command, line), c.result) << c.id;
        EXPECT_STREQ(line, c.line) << c.id;
    }
}

TEST(BuildAtCommandLineTest, LineLongerThanRoomIsRefused)
{
    InstallAtEngineTables();
    AtCommandRecord command{};
    command.CmdID = 45;
    command.Type = AT_TYPE_SET;
    memset(command.szParam, 'a', sizeof(command.szParam)); // unterminated, full width
    char line[AT_LINE_SIZE];
    EXPECT_EQ(BuildAtCommandLine(&command, line), AT_ERR_INCOMPLETE);
    EXPECT_STREQ(line, "");

    memset(command.szParam, 0, sizeof(command.szParam));
    memset(command.szParam, 'a', AT_LINE_SIZE - 1 - strlen("AT+CGDCONT=\r"));
    EXPECT_EQ(BuildAtCommandLine(&command, line), 0);
    EXPECT_EQ(strlen(line), static_cast<size_t>(AT_LINE_SIZE - 1));
}

TEST(CollectAtInfoLinesTest, Cases)
{
    struct Case {
        const char* info;
        const char* name;
        const char* collected;
    } cases[] = {
        {"\r\n+CPIN: READY\r\n", "+CPIN", "READY"},
        {"AT+CLCK\r\n+CLCK: 1\r\n", "+CLCK", "1"},
        {"\r\n+A: 1\r\n+A: 2\r\n+B: 3\r\n+A: 4\r\n", "+A", "1;2"},
        {"\r\n+A: 1\r\nplain\r\n", "+A", "1,\"plain\""},
        {"\r\n123\r\n456\r\n", "", "123456"},
        {"\r\nfirst\r\nsecond: x\r\n", "second", "x"},
        {"\r\n+A: 1\r\ntail without end", "+A", "1"},
        {"\r\n+A: \"q: r\"\r\n", "+A", "\"q: r\""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        char name[AT_LINE_SIZE];
        char collected[256];
        CollectAtInfoLines(c.info, name, sizeof(name), collected, sizeof(collected));
        EXPECT_STREQ(name, c.name) << c.info;
        EXPECT_STREQ(collected, c.collected) << c.info;
    }
}

TEST(CollectAtInfoLinesTest, BoundedByOutputAndLineLength)
{
    std::string info = "\r\n+A: " + std::string(3000, 'v') + "\r\n+A: w\r\n";
    char name[AT_LINE_SIZE];
    char small[16];
    CollectAtInfoLines(info.c_str(), name, sizeof(name), small, sizeof(small));
    EXPECT_EQ(strlen(small), sizeof(small) - 1);

    std::string big(4096, '\0');
    CollectAtInfoLines(info.c_str(), name, sizeof(name), big.data(), big.size());
    // A line is cut to 1023 characters, its name and ": " included.
    EXPECT_EQ(strlen(big.c_str()), static_cast<size_t>(AT_LINE_SIZE - 1 - 4 + 2));
}

} // namespace
