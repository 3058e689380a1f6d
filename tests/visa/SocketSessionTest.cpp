#include "tests/support/ScriptedPeer.h"
#include "tests/support/VisaFailure.h"
#include "visa/MessageSession.h"
#include "visa/ResourceManager.h"
#include "visa/VisaError.h"

#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;
using testing::HasSubstr;
using visa::MessageSession;
using visa::VisaError;
using visa_test::ScriptedPeer;
using Link = ScriptedPeer::Link;

std::unique_ptr<MessageSession> openPeer(const ScriptedPeer& peer,
                                         std::chrono::milliseconds ioTimeout = 2000ms) {
    auto session = visa::ResourceManager().Open(peer.resource(), 2000ms);
    session->setTimeout(ioTimeout);
    return session;
}

TEST(SocketSessionWrite, EndsEachMessageWithExactlyOneLineFeed) {
    std::vector<std::string> seen;
    {
        ScriptedPeer peer([&](Link& link) {
            for (int i = 0; i < 3; ++i)
                seen.push_back(link.receiveLine());
        });
        auto session = openPeer(peer);
        session->write("*IDN?");
        session->write("*RST;*CLS\n");
        session->write("");
    }
    EXPECT_THAT(seen, ElementsAre("*IDN?\n", "*RST;*CLS\n", "\n"));
}

TEST(SocketSessionWrite, MessagesSentTogetherKeepTheirOwnLineFeedsAndGetTheOneReply) {
    std::vector<std::string> seen;
    std::string reply;
    {
        ScriptedPeer peer([&](Link& link) {
            for (int i = 0; i < 3; ++i)
                seen.push_back(link.receiveLine());
            link.send("+0,\"No error\"\n");
        });
        auto session = openPeer(peer);
        reply = session->writeAndRead({"DIG:PIN5:FUNC ONC", "", "SYST:ERR?\n"});
    }
    EXPECT_THAT(seen, ElementsAre("DIG:PIN5:FUNC ONC\n", "\n", "SYST:ERR?\n"));
    EXPECT_EQ(reply, "+0,\"No error\"\n");
}

TEST(SocketSessionRead, JoinsAReplySplitAcrossSegments) {
    ScriptedPeer peer([](Link& link) {
        link.receiveLine();
        link.send("Korvane,MF");
        link.pause(50ms);
        link.send("-7,SIM0001,1.0\n");
    });
    auto session = openPeer(peer);
    session->write("*IDN?");
    EXPECT_EQ(session->read(), "Korvane,MF-7,SIM0001,1.0\n");
}

TEST(SocketSessionRead, TakesTwoRepliesInOneSegmentAsTwoReads) {
    ScriptedPeer peer([](Link& link) {
        link.receiveLine();
        link.send("+1\r\n+2\n");
    });
    auto session = openPeer(peer);
    session->write("*OPC?;*OPC?");
    EXPECT_EQ(session->read(), "+1\r\n");
    EXPECT_EQ(session->read(), "+2\n");
}

TEST(SocketSessionRead, GivesUpOnASilentPeerAfterTheTimeout) {
    ScriptedPeer peer([](Link& link) {
        link.receiveLine();
        link.receiveLine(); // stays silent until the session goes
    });
    auto session = openPeer(peer, 200ms);
    session->write("*IDN?");
    const auto start = std::chrono::steady_clock::now();
    const auto error = FailureOf([&] { session->read(); });
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(error.kind(), VisaError::Kind::Timeout);
    EXPECT_EQ(std::string(error.what()), peer.resource() + ": no reply within 200 ms");
    EXPECT_GE(waited, 200ms);
    EXPECT_LT(waited, ScriptedPeer::kBound); // bounded by the session, not by the peer going away
}

TEST(SocketSessionRead, FailsWhenThePeerCloses) {
    for (const std::string partial : {"", "+1"}) {
        ScriptedPeer peer([&](Link& link) {
            link.receiveLine();
            link.send(partial);
            link.hangUp();
        });
        auto session = openPeer(peer);
        session->write("DIG:OUTP:DATA?");
        const auto error = FailureOf([&] { session->read(); });
        EXPECT_EQ(error.kind(), VisaError::Kind::ConnectionLost) << "after \"" << partial << '"';
        EXPECT_THAT(error.what(), HasSubstr("closed the connection"));
    }
}

TEST(SocketSessionRead, AcceptsAReplyOfExactlyTheLimit) {
    ScriptedPeer peer([](Link& link) {
        link.receiveLine();
        link.send(std::string(visa::kMaxReplyBytes - 1, 'y') + "\n");
    });
    auto session = openPeer(peer);
    session->write("*IDN?");
    EXPECT_EQ(session->read().size(), visa::kMaxReplyBytes);
}

TEST(SocketSessionRead, RejectsAnOversizedReplyAndSkipsToTheNextOne) {
    ScriptedPeer peer([](Link& link) {
        link.receiveLine();
        link.send(std::string(visa::kMaxReplyBytes + 100, 'x') + "\n+0,\"No error\"\n");
        link.receiveLine();
    });
    auto session = openPeer(peer);
    session->write("*IDN?");
    const auto error = FailureOf([&] { session->read(); });
    EXPECT_EQ(error.kind(), VisaError::Kind::Protocol);
    EXPECT_THAT(error.what(), HasSubstr("longer than 1048576 bytes"));
    EXPECT_EQ(session->read(), "+0,\"No error\"\n");
}

TEST(SocketSessionFlush, DropsBufferedRepliesButNotLaterOnes) {
    ScriptedPeer peer([](Link& link) {
        link.receiveLine();
        link.send("+1\n+2\n");
        link.receiveLine();
        link.send("+3\n");
    });
    auto session = openPeer(peer);
    session->write("first");
    EXPECT_EQ(session->read(), "+1\n");
    session->flushRead();
    session->write("second");
    EXPECT_EQ(session->read(), "+3\n");
}

TEST(SocketSessionFlush, DropsWhatTheSocketAlreadyHolds) {
    ScriptedPeer peer([](Link& link) {
        link.send("stale\n");
        link.receiveLine();
        link.send("fresh\n");
    });
    auto session = openPeer(peer);
    std::this_thread::sleep_for(100ms); // loopback delivers the stale line long before this
    session->flushRead();
    session->write("*IDN?");
    EXPECT_EQ(session->read(), "fresh\n");
}

TEST(SocketSessionClose, LaterIoFailsAsClosed) {
    ScriptedPeer peer([](Link& link) { link.receiveLine(); });
    auto session = openPeer(peer);
    session->close();
    session->close();
    for (const auto& io :
         std::vector<std::function<void()>>{[&] { session->write("*IDN?"); }, [&] { session->read(); },
                                            [&] {
                                                session->flushRead();
                                            }}) {
        const auto error = FailureOf(io);
        EXPECT_EQ(error.kind(), VisaError::Kind::Closed);
        EXPECT_THAT(error.what(), testing::StartsWith(peer.resource() + ": "));
    }
}

} // namespace
