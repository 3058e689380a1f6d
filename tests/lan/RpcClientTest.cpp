// Replies matched by xid: pipelined calls answered out of order each get their own reply, and a reply to
// a call that gave up never stands in for another's.

#include "visa/RpcClient.h"

#include "tests/lan/ScriptedRpcServer.h"
#include "tests/support/CaseTable.h"
#include "tests/support/VisaFailure.h"
#include "visa/VisaError.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using lan_test::Answer;
using lan_test::ScriptedRpcServer;

constexpr std::uint32_t kProgram = 0x20000099;

struct ReplyOrder {
    const char* label;
    std::vector<int>
        answerOrder; // which calls (by position) are answered, in this order, after the last call
};

class RpcReplies : public test_cases::Table<ReplyOrder, &ReplyOrder::label> {};

// Each call's result is its procedure number as text, so that a reply in the wrong place shows.
TEST_P(RpcReplies, EachPipelinedCallGetsItsOwnReplyWhateverTheOrder) {
    const auto& order = GetParam().answerOrder;
    std::vector<std::uint32_t> xids;
    ScriptedRpcServer server([&](const protocol::RpcCall& call) {
        xids.push_back(call.xid);
        Answer answer;
        if (xids.size() < 3)
            return answer; // held until the last call has arrived
        for (const int which : order)
            answer.chunks.push_back(lan_test::success(xids[which], std::to_string(which)).chunks.front());
        return answer;
    });
    visa::RpcClient client(
        visa::LanStream::connect("rpc", "127.0.0.1", server.port(), base::Deadline(2000ms)), kProgram, 1,
        "test service");
    std::vector<std::uint32_t> sent;
    for (std::uint32_t procedure = 0; procedure < 3; ++procedure)
        sent.push_back(client.send(procedure, "", base::Deadline(2000ms)));
    for (std::size_t which = 0; which < sent.size(); ++which)
        EXPECT_EQ(client.awaitReply(sent[which], base::Deadline(2000ms), "reply"), std::to_string(which));
}

INSTANTIATE_TEST_SUITE_P(Orders, RpcReplies,
                         testing::Values(ReplyOrder{"InOrder", {0, 1, 2}}, ReplyOrder{"Reversed", {2, 1, 0}},
                                         ReplyOrder{"LastFirst", {2, 0, 1}},
                                         ReplyOrder{"MiddleFirst", {1, 0, 2}}));

TEST(RpcRepliesOfCallsThatGaveUp, AreDroppedAndNeverAnswerALaterCall) {
    int calls = 0;
    std::uint32_t firstXid = 0;
    ScriptedRpcServer server([&](const protocol::RpcCall& call) {
        if (++calls == 1) {
            firstXid = call.xid;
            return Answer{}; // answered only after the caller has given up
        }
        Answer answer;
        answer.chunks.push_back(lan_test::success(firstXid, "stale").chunks.front());
        answer.chunks.push_back(lan_test::success(call.xid, "fresh").chunks.front());
        return answer;
    });
    visa::RpcClient client(
        visa::LanStream::connect("rpc", "127.0.0.1", server.port(), base::Deadline(2000ms)), kProgram, 1,
        "test service");
    EXPECT_THROW(client.call(1, "", base::Deadline(50ms), "first reply"), visa::VisaError);
    EXPECT_EQ(client.call(2, "", base::Deadline(2000ms), "second reply"), "fresh");
}

} // namespace
