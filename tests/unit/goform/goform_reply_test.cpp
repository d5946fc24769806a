#include "device/goform.h"
#include "device/goform_reply.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ReplyCase {
    const char* name;
    GoformReplyKind kind;
    std::string reply;
    int result;
    int flag; // 7: untouched
};

class GoformReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(GoformReply, ResultFlagAndCopy)
{
    const ReplyCase& c = GetParam();
    std::vector<char> reply(GOFORM_REPLY_ROOM, '\0');
    std::memcpy(reply.data(), c.reply.data(), c.reply.size());
    char out[GOFORM_REPLY_ROOM];
    std::memset(out, 'x', sizeof out);
    int flag = 7;
    EXPECT_EQ(EvaluateGoformReply(c.kind, 0, reply.data(), GOFORM_REPLY_ROOM, out, &flag), c.result);
    EXPECT_EQ(flag, c.flag);
    EXPECT_EQ(std::string(out), c.reply);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, GoformReply,
    ::testing::Values(ReplyCase{"ExchangeAlone", GoformReplyKind::Exchange, "", 0, 7},
                      ReplyCase{"Success", GoformReplyKind::Success, "{\"result\":\"success\"}", 0, 7},
                      ReplyCase{"Failure", GoformReplyKind::Success, "{\"result\":\"failure\"}", 1, 7},
                      ReplyCase{"On", GoformReplyKind::OnOff, "{\"wimax2_enable\":\"on\"}", 0, 1},
                      ReplyCase{"Off", GoformReplyKind::OnOff, "{\"wimax2_enable\":\"off\"}", 0, 0},
                      // "on" is looked for first, anywhere in the reply
                      ReplyCase{"OnBeatsOff", GoformReplyKind::OnOff, "{\"a\":\"off\",\"b\":\"on\"}", 0, 1},
                      ReplyCase{"Neither", GoformReplyKind::OnOff, "{\"a\":\"1\"}", 1, 7},
                      ReplyCase{"Version", GoformReplyKind::Version, "{\"v\":\"1\"}", 0, 7},
                      ReplyCase{"NoVersion", GoformReplyKind::Version, "", 1, 7},
                      ReplyCase{"AnswerNotFailure", GoformReplyKind::NotFailure, "{\"result\":\"success\"}", 0, 7},
                      ReplyCase{"EmptyAnswerNotFailure", GoformReplyKind::NotFailure, "", 0, 7},
                      ReplyCase{"AnswerSaysFailure", GoformReplyKind::NotFailure, "{\"result\":\"failure\"}", 1, 7}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

// A reply filling its whole room unterminated: the text is the first room - 1
// bytes, and neither the tests nor the copy read past the room.
TEST(GoformReplyRoom, UnterminatedReplyIsCutToTheRoom)
{
    const int room = 8;
    std::vector<char> reply = {'x', 'x', 'x', 'x', 'x', 'x', 'o', 'n'};
    std::vector<char> out(room, '#');
    int flag = 7;
    EXPECT_EQ(EvaluateGoformReply(GoformReplyKind::OnOff, 0, reply.data(), room, out.data(), &flag), 1);
    EXPECT_EQ(flag, 7);
    EXPECT_EQ(std::string(out.data()), "xxxxxxo");

    std::vector<char> success = {'s', 'u', 'c', 'c', 'e', 's', 's', 's'};
    EXPECT_EQ(EvaluateGoformReply(GoformReplyKind::Success, 0, success.data(), 8, nullptr, nullptr), 0);
    EXPECT_EQ(EvaluateGoformReply(GoformReplyKind::Success, 0, success.data(), 7, nullptr, nullptr), 1);
}

// Over-long answers as the port library hands them over: cut to the room, unterminated.
TEST(GoformReplyRoom, OverlongAnswersCutToTheRoomAreRead)
{
    std::string privacy = "{\"privacy_setting\":\"on\",\"pad\":\"";
    privacy += std::string(264 - 2 - privacy.size(), 'p') + "\"}";
    ASSERT_EQ(privacy.size(), 264u);
    std::vector<char> cut(privacy.begin(), privacy.begin() + GOFORM_REPLY_ROOM);
    int flag = 7;
    EXPECT_EQ(EvaluateGoformReply(GoformReplyKind::OnOff, 0, cut.data(), GOFORM_REPLY_ROOM, nullptr, &flag), 0);
    EXPECT_EQ(flag, 1);

    std::string version = "{\"current_version\":\"BD_K415NQV1.0\",\"notes\":\"" + std::string(1125, 'n') + "\"}";
    std::vector<char> versionCut(version.begin(), version.begin() + GOFORM_VERSION_REPLY_ROOM);
    std::vector<char> out(GOFORM_VERSION_REPLY_ROOM, '#');
    EXPECT_EQ(EvaluateGoformReply(GoformReplyKind::Version, 0, versionCut.data(), GOFORM_VERSION_REPLY_ROOM, out.data(),
                                  nullptr),
              0);
    EXPECT_EQ(std::string(out.data()), version.substr(0, GOFORM_VERSION_REPLY_ROOM - 1));
}

TEST(GoformReplyRoom, FailedExchangeGivesNothing)
{
    char reply[] = "success on";
    char out[16] = "untouched";
    int flag = 7;
    EXPECT_EQ(EvaluateGoformReply(GoformReplyKind::OnOff, 1, reply, sizeof reply, out, &flag), 1);
    EXPECT_EQ(EvaluateGoformReply(GoformReplyKind::Exchange, 1, reply, sizeof reply, out, &flag), 1);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(flag, 7);
}

} // namespace
