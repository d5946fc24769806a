#include "device/at_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const std::string kEmpty = "\xFD";
const std::string kBlank = "\xFE";
const std::string kTab = "\xFC";

std::vector<std::string> Split(const std::string& text)
{
    auto list = std::make_unique<AtFieldList>();
    const int count = SplitAtFields(text.c_str(), text.size() + 1, list.get());
    EXPECT_EQ(count, list->count);
    std::vector<std::string> fields;
    for (int i = 0; i < list->count; ++i)
        fields.emplace_back(list->fields[i]);
    return fields;
}

std::string Repeat(const std::string& part, int times, const std::string& separator = "")
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += (i ? separator : "") + part;
    return text;
}

TEST(SplitAtFields, Cases)
{
    const std::string x1023(1023, 'x');
    const std::string x1024(1024, 'x');
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> fields;
    } cases[] = {
        {"quoted semicolon", "1;\"a;b\";2", {"1", "\"a;b\"", "2"}},
        {"two semicolons give an empty middle field", "a;;b", {"a", "", "b"}},
        {"no empty last field", "a;b;", {"a", "b"}},
        {"empty text", "", {}},
        {"lone semicolon", ";", {""}},
        {"one field", "+CIMI 4401", {"+CIMI 4401"}},
        {"open quote runs to the end", "a;\"b;c", {"a", "\"b;c"}},
        {"101 fields keep 100", Repeat("f", 101, ";"), std::vector<std::string>(100, "f")},
        {"field of 1023 before a semicolon is kept", "a;" + x1023 + ";b", {"a", x1023, "b"}},
        {"field of 1024 before a semicolon stops", "a;" + x1024 + ";b", {"a"}},
        {"long last field is cut", "a;" + std::string(3000, 'y'), {"a", std::string(1023, 'y')}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Split(c.text), c.fields);
    }
}

TEST(SplitAtFields, ReadsNoFurtherThanTheGivenSize)
{
    // No terminator inside the given size: the text ends there.
    const char text[4] = {'a', ';', 'b', 'c'};
    auto list = std::make_unique<AtFieldList>();
    ASSERT_EQ(SplitAtFields(text, sizeof text, list.get()), 2);
    EXPECT_STREQ(list->fields[0], "a");
    EXPECT_STREQ(list->fields[1], "bc");
}

std::string Normalize(std::string text, bool withRoom)
{
    char buffer[AT_FIELD_SIZE + 1] = {};
    std::memcpy(buffer, text.data(), std::min(text.size(), sizeof buffer - 1));
    if (withRoom)
        NormalizeAtCsvLine(buffer, AT_FIELD_SIZE);
    else
        NormalizeAtCsvLine(buffer);
    return buffer;
}

TEST(NormalizeAtCsvLine, Cases)
{
    const std::string x1023(1023, 'x');
    const std::string x1024(1024, 'x');
    const std::string commas600(600, ',');
    const struct {
        const char* name;
        std::string text;
        std::string cut;     // NormalizeAtCsvLine(text)
        std::string grown;   // NormalizeAtCsvLine(text, 1024)
    } cases[] = {
        {"context line", "1,\"IP\",\"my apn\",\"\",0", "1 IP my" + kBlank + "apn " + kEmpty + " 0",
         "1 IP my" + kBlank + "apn " + kEmpty + " 0"},
        {"tab inside quotes", "\"a\tb\",\"c d\"", "a" + kTab + "b c" + kBlank + "d", "a" + kTab + "b c" + kBlank + "d"},
        {"blank and tab outside quotes stay", "a, b\tc", "a  b\tc", "a  b\tc"},
        {"empty field in the middle", "1,,2", "1 " + kEmpty + " ", "1 " + kEmpty + " 2"},
        {"trailing comma", "1,", "1 ", "1 " + kEmpty},
        {"empty text", "", "", ""},
        {"1023 characters are normalised", x1023 + "", x1023, x1023},
        {"1024 characters stay", x1024, x1024, x1024},
        {"growth to 1024 or more leaves it", commas600, commas600, commas600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Normalize(c.text, false), c.cut);
        EXPECT_EQ(Normalize(c.text, true), c.grown);
    }
}

TEST(NormalizeAtCsvLine, GrowsOnlyWithinTheCallersRoom)
{
    char small[6] = "1,,,2";
    NormalizeAtCsvLine(small, sizeof small); // "1 FD FD 2" needs 7 characters
    EXPECT_STREQ(small, "1,,,2");
    char exact[8] = "1,,,2";
    NormalizeAtCsvLine(exact, sizeof exact);
    EXPECT_EQ(std::string(exact), "1 " + kEmpty + " " + kEmpty + " 2");
}

TEST(StripAtParentheses, Cases)
{
    const std::string long1024 = "(" + std::string(1022, 'x') + ")";
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"(2,\"A\",\"B\",\"1\",7),(1,\"C\",\"D\",\"2\",2)", "2,\"A\",\"B\",\"1\",7;1,\"C\",\"D\",\"2\",2"},
        {"(a),,(b)", "a;,b"},
        {"\"(q)\"", "\"q\""},
        {")x)", "x"},
        {"", ""},
        {long1024, long1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        char buffer[AT_FIELD_SIZE + 1] = {};
        std::memcpy(buffer, c.text.data(), c.text.size());
        StripAtParentheses(buffer);
        EXPECT_EQ(std::string(buffer), c.expected);
    }
}

TEST(GetFirstAtField, Cases)
{
    const struct {
        std::string text;
        std::string first;
    } cases[] = {
        {"440101234567890", "440101234567890"},
        {"a;b", "a"},
        {"\"x;y\";z", "\"x;y\""},
        {"", ""},
        {";b", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        char out[AT_FIELD_SIZE];
        std::memset(out, 'q', sizeof out);
        EXPECT_EQ(GetFirstAtField(c.text.c_str(), c.text.size() + 1, out), 0);
        EXPECT_EQ(std::string(out), c.first);
    }
}

struct PdpRow {
    int cid;
    std::string type, apn, address;
    int numbers[4];
};

TEST(ParsePdpContextList, Cases)
{
    const struct {
        const char* name;
        std::string text;
        std::vector<PdpRow> rows;
    } cases[] = {
        {"two contexts",
         "1,\"IP\",\"internet\",\"0.0.0.0\",0,0;2,\"IPV4V6\",\"ims\",\"10.1.2.3\",1,2",
         {{1, "IP", "internet", "0.0.0.0", {0, 0, 0, 0}}, {2, "IPV4V6", "ims", "10.1.2.3", {1, 2, 0, 0}}}},
        {"empty APN is empty, not the next field",
         "3,\"IP\",\"\",\"10.0.0.1\",0,0",
         {{3, "IP", "", "10.0.0.1", {0, 0, 0, 0}}}},
        {"blank and tab inside the APN come back", "1,\"IP\",\"my apn\tx\",\"\",0,0",
         {{1, "IP", "my apn\tx", "", {0, 0, 0, 0}}}},
        {"a short line keeps the values of the line before",
         "1,\"IPV6\",\"a\",\"1.1.1.1\",3,4,5,6;2",
         {{1, "IPV6", "a", "1.1.1.1", {3, 4, 5, 6}}, {2, "IPV6", "a", "1.1.1.1", {3, 4, 5, 6}}}},
        {"defaults before the first line", "\"IP\"", {{1, "", "", "", {0, 0, 0, 0}}}},
        {"texts are cut to their widths",
         "1,\"IPV4V6ABCDEF\",\"" + std::string(150, 'a') + "\",\"" + std::string(40, '9') + "\",0,0",
         {{1, "IPV4V6ABC", std::string(100, 'a'), std::string(32, '9'), {0, 0, 0, 0}}}},
        {"no field", "", {}},
        {"empty address without quotes", "1,\"IP\",\"web\",,0,0", {{1, "IP", "web", "", {0, 0, 0, 0}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PdpContextList list;
        std::memset(&list, 0x5A, sizeof list);
        EXPECT_EQ(ParsePdpContextList(c.text.c_str(), c.text.size() + 1, &list), 0);
        ASSERT_EQ(list.count, static_cast<int>(c.rows.size()));
        for (size_t i = 0; i < c.rows.size(); ++i) {
            SCOPED_TRACE(i);
            const PdpContextEntry& row = list.entries[i];
            EXPECT_EQ(row.cid, c.rows[i].cid);
            EXPECT_EQ(std::string(row.pdpType), c.rows[i].type);
            EXPECT_EQ(std::string(row.apn), c.rows[i].apn);
            EXPECT_EQ(std::string(row.address), c.rows[i].address);
            for (int n = 0; n < 4; ++n)
                EXPECT_EQ(row.numbers[n], c.rows[i].numbers[n]);
        }
        for (size_t i = c.rows.size(); i < AT_LIST_ROWS; ++i)
            EXPECT_EQ(list.entries[i].cid, 0);
    }
}

TEST(ParsePdpContextList, AtMostSixteenContexts)
{
    std::string text;
    for (int cid = 1; cid <= 20; ++cid)
        text += (cid > 1 ? ";" : "") + std::to_string(cid) + ",\"IP\",\"apn" + std::to_string(cid) + "\",\"\",0,0";
    PdpContextList list;
    ParsePdpContextList(text.c_str(), text.size() + 1, &list);
    ASSERT_EQ(list.count, 16);
    EXPECT_EQ(list.entries[15].cid, 16);
    EXPECT_STREQ(list.entries[15].apn, "apn16");
}

struct OperatorRow {
    int status;
    std::string longName, shortName, numeric;
    int act;
};

// The list read from text is rows, and the rows behind them stay empty.
void ExpectOperators(const std::string& reply, const std::vector<OperatorRow>& rows)
{
    std::vector<char> text(reply.begin(), reply.end());
    text.push_back('\0');
    OperatorList list;
    std::memset(&list, 0x5A, sizeof list);
    EXPECT_EQ(ParseOperatorList(text.data(), text.size(), &list), 0);
    ASSERT_EQ(list.count, static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        const OperatorEntry& row = list.entries[i];
        EXPECT_EQ(row.status, rows[i].status);
        EXPECT_EQ(std::string(row.longName), rows[i].longName);
        EXPECT_EQ(std::string(row.shortName), rows[i].shortName);
        EXPECT_EQ(std::string(row.numeric), rows[i].numeric);
        EXPECT_EQ(row.accessTechnology, rows[i].act);
    }
    for (size_t i = rows.size(); i < AT_LIST_ROWS; ++i) {
        EXPECT_EQ(list.entries[i].status, 0);
        EXPECT_EQ(list.entries[i].longName[0], '\0');
    }
}

TEST(ParseOperatorList, Cases)
{
    const std::string ranges = ",,(0,1,2,3,4),(0,1,2)";
    const struct {
        const char* name;
        std::string text;
        std::vector<OperatorRow> rows;
    } cases[] = {
        {"standard reply with its closing ranges",
         "+COPS: (2,\"Kestle Mobile\",\"KMobile\",\"44010\",7),(1,\"Other Net\",\"Other\",\"44020\",2)" + ranges,
         {{2, "Kestle Mobile", "KMobile", "44010", 7}, {1, "Other Net", "Other", "44020", 2}}},
        {"raw information text with its line end in front",
         "\r\n+COPS: (0,\"Old Net\",\"Old\",\"44030\",0)" + ranges,
         {{0, "Old Net", "Old", "44030", 0}}},
        {"reply without ranges keeps its last operator",
         "+COPS: (2,\"A Net\",\"A\",\"001\",7),(1,\"B Net\",\"B\",\"002\",2)",
         {{2, "A Net", "A", "001", 7}, {1, "B Net", "B", "002", 2}}},
        {"no operator at all", "+COPS: " + ranges, {}},
        {"empty text", "", {}},
        {"cut short in a name", "+COPS: (2,\"A Net\",\"A", {}},
        // the access technology is optional (GSM when left out) and may have two digits
        {"missing access technology reads as GSM", "+COPS: (2,\"A Net\",\"A\",\"001\")" + ranges,
         {{2, "A Net", "A", "001", 0}}},
        {"a group without access technology between others",
         "+COPS: (2,\"A Net\",\"A\",\"001\",7),(1,\"Old\",\"O\",\"002\"),(1,\"B Net\",\"B\",\"003\",2)" + ranges,
         {{2, "A Net", "A", "001", 7}, {1, "Old", "O", "002", 0}, {1, "B Net", "B", "003", 2}}},
        {"single group without access technology before the line end",
         "\r\n+COPS: (1,\"Old\",\"O\",\"002\")\r\n", {{1, "Old", "O", "002", 0}}},
        {"two-digit access technologies",
         "+COPS: (2,\"NR Net\",\"NR\",\"001\",12),(1,\"NR5\",\"N5\",\"002\",13)" + ranges,
         {{2, "NR Net", "NR", "001", 12}, {1, "NR5", "N5", "002", 13}}},
        {"comma without access technology", "+COPS: (2,\"A Net\",\"A\",\"001\",)" + ranges, {}},
        {"status not a digit", "+COPS: (x,\"A Net\",\"A\",\"001\",7)" + ranges, {}},
        {"names are cut to their widths",
         "+COPS: (1,\"" + std::string(80, 'L') + "\",\"" + std::string(40, 'S') + "\",\"1234567890123\",2)" + ranges,
         {{1, std::string(63, 'L'), std::string(31, 'S'), "12345678901", 2}}},
        {"a broken entry between good ones is skipped",
         "+COPS: (2,\"A Net\",\"A\",\"001\",7),(1,broken),(1,\"B Net\",\"B\",\"002\",2)" + ranges,
         {{2, "A Net", "A", "001", 7}, {1, "B Net", "B", "002", 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectOperators(c.text, c.rows);
    }
}

// Lists as modems of several makers send them: split over lines, groups
// without a short name, ranges glued on, a stray parenthesis.
TEST(ParseOperatorList, ListsAsModemsSendThem)
{
    const struct {
        const char* name;
        std::string text;
        std::vector<OperatorRow> rows;
    } cases[] = {
        {"one operator per line",
         "\r\n+COPS: (2,\"Op A\",\"A\",\"00101\",7)\r\n+COPS: (1,\"Op B\",\"B\",\"00102\",2)\r\n"
         "+COPS: ,,(0-4),(0-2)\r\n",
         {{2, "Op A", "A", "00101", 7}, {1, "Op B", "B", "00102", 2}}},
        {"empty short name", "+COPS: (2,\"T - Mobile\",,\"31026\"),(1,,\"Short\",\"31027\",2),,(0-4),(0-2)",
         {{2, "T - Mobile", "", "31026", 0}, {1, "", "Short", "31027", 2}}},
        {"ranges glued to the last group",
         "+COPS: (1,\"Op D\",\"D\",\"26201\",2),(2,\"Op E\",\"E\",\"26202\",7)(0,1,2,3,4),(0,1,2)",
         {{1, "Op D", "D", "26201", 2}, {2, "Op E", "E", "26202", 7}}},
        {"stray parenthesis after the numeric code",
         "+COPS: (2,\"T-Mobile\",\"TMO\",\"310260\"),2),(1,\"AT&T\",\"ATT\",\"310410\"),7),,(0,1,2,3,4),(0,1,2)",
         {{2, "T-Mobile", "TMO", "310260", 2}, {1, "AT&T", "ATT", "310410", 7}}},
        {"parentheses inside a name", "+COPS: (1,\"Net (UK)\",\"N)\",\"23415\",2),,(0-4),(0-2)",
         {{1, "Net (UK)", "N)", "23415", 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectOperators(c.text, c.rows);
    }
}

TEST(ParseOperatorList, StripsTheReplyTextAndKeepsSixteen)
{
    // Short names and long ones (a reply beyond 1023 characters).
    for (const std::string& padding : {std::string(), std::string(60, 'p')}) {
        std::string reply = "+COPS: ";
        for (int i = 0; i < 20; ++i)
            reply += (i ? "," : "") + std::string("(1,\"N") + std::to_string(i) + padding + "\",\"S\",\"" +
                     std::to_string(44000 + i) + "\",7)";
        reply += ",,(0,1,2,3,4),(0,1,2)";
        SCOPED_TRACE(reply.size());
        std::vector<char> text(reply.begin(), reply.end());
        text.push_back('\0');
        OperatorList list;
        ParseOperatorList(text.data(), text.size(), &list);
        EXPECT_EQ(list.count, 16);
        EXPECT_EQ(std::string(list.entries[15].longName), "N15" + padding);
        EXPECT_STREQ(list.entries[15].numeric, "44015");
        EXPECT_EQ(std::string(text.data()).find('('), std::string::npos);
    }
}

TEST(ParseOperatorList, UnterminatedTextIsReadOnlyWithinItsSize)
{
    const std::string reply = "+COPS: (2,\"A Net\",\"A\",\"001\",7)";
    std::vector<char> text(reply.begin(), reply.end()); // no terminator
    OperatorList list;
    ParseOperatorList(text.data(), text.size(), &list);
    ASSERT_EQ(list.count, 1);
    EXPECT_STREQ(list.entries[0].longName, "A Net");
    EXPECT_EQ(std::string(text.begin(), text.end()), reply); // left as it came
}

#if defined(SETWELL_USER_AUTH)
struct AuthRow {
    int cid;
    int type;
    std::string user;
};

TEST(ParseIdAuthList, Cases)
{
    const struct {
        const char* name;
        std::string text;
        std::vector<AuthRow> rows;
    } cases[] = {
        {"context 1 and context 9 with a user", "1,0;9,1,\"kestle\"", {{0, 0, ""}, {9, 1, "kestle"}}},
        {"type 0 reads no name", "9,0,\"ignored\"", {{9, 0, ""}}},
        {"type without user name", "9,2", {{9, 2, ""}}},
        {"empty quoted name", "9,1,\"\"", {{9, 1, ""}}},
        {"name without quotes", "9,2,user", {{9, 2, "user"}}},
        {"name cut to 66", "9,1,\"" + std::string(100, 'n') + "\"", {{9, 1, std::string(66, 'n')}}},
        {"context 9 without type", "9", {{9, 0, ""}}},
        {"no field", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IdAuthList list;
        std::memset(&list, 0x5A, sizeof list);
        EXPECT_EQ(ParseIdAuthList(c.text.c_str(), c.text.size() + 1, &list), 0);
        ASSERT_EQ(list.count, static_cast<int>(c.rows.size()));
        for (size_t i = 0; i < c.rows.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(list.entries[i].cid, c.rows[i].cid);
            EXPECT_EQ(list.entries[i].authType, c.rows[i].type);
            EXPECT_EQ(std::string(list.entries[i].userName), c.rows[i].user);
        }
    }
}

TEST(ParseIdAuthList, CountStopsAtTheListRoom)
{
    std::string text = Repeat("1,0", 20, ";") + ";9,1,\"late\"";
    IdAuthList list;
    ParseIdAuthList(text.c_str(), text.size() + 1, &list);
    EXPECT_EQ(list.count, AT_LIST_ROWS);
    for (const IdAuthEntry& row : list.entries)
        EXPECT_EQ(row.cid, 0);
}
#endif

TEST(FormatText, BoundedByTheCallersRecord)
{
    char param[1152];
    EXPECT_EQ(FormatText(param, sizeof param, "%d,\"%s\"", 1, "internet"), 0);
    EXPECT_STREQ(param, "1,\"internet\"");

    const std::string fits(1151, 'a');
    EXPECT_EQ(FormatText(param, sizeof param, "%s", fits.c_str()), 0);
    EXPECT_EQ(std::string(param), fits);

    const std::string tooLong(1152, 'a');
    EXPECT_EQ(FormatText(param, sizeof param, "%s", tooLong.c_str()), 1);
    EXPECT_STREQ(param, "");

    EXPECT_EQ(FormatText(param, 0, "x"), 1);
}

TEST(FormatWideText, BoundedByTheRoom)
{
    wchar_t out[8];
    EXPECT_EQ(FormatWideText(out, 8, L"%02X %ls", 0x7E, L"ab"), 5);
    EXPECT_STREQ(out, L"7E ab");
    EXPECT_EQ(FormatWideText(out, 8, L"%ls", L"0123456789"), -1);
    EXPECT_EQ(out[7], L'\0');
}

} // namespace
