// The raw SCPI socket server over real loopback TCP, its connections served on threads of their own
// and as fibers of a shared loop.
#include "sim/SocketServer.h"

#include "base/FiberThread.h"
#include "sim/ClientSession.h"
#include "tests/sim/LoopbackClient.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <ostream>
#include <system_error>
#include <thread>

namespace sim {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackClient;

enum class Serving { Threads, Fibers };

void PrintTo(Serving serving, std::ostream* out) {
    *out << (serving == Serving::Fibers ? "fibers" : "threads");
}

class SocketServerTest : public ::testing::TestWithParam<Serving> {
protected:
    // Made before the server and gone after it, as its fibers end only when the server stops.
    std::unique_ptr<base::FiberThread> fibers =
        GetParam() == Serving::Fibers ? std::make_unique<base::FiberThread>() : nullptr;
    Mainframe mainframe;
    SocketServer server{
        mainframe, "127.0.0.1", 0, {}, SocketServer::kDefaultLimits, fibers ? &fibers->loop() : nullptr};
};

INSTANTIATE_TEST_SUITE_P(Serving, SocketServerTest, ::testing::Values(Serving::Threads, Serving::Fibers),
                         [](const auto& info) {
                             return info.param == Serving::Fibers ? "Fibers" : "Threads";
                         });

TEST_P(SocketServerTest, AnswersAQueryOnAnEphemeralPort) {
    EXPECT_NE(server.port(), 0);
    LoopbackClient client(server.port());
    client.send("*IDN?\n");
    EXPECT_EQ(client.readLine(), "Korvane,MF-7,SIM0001,1.0\n");
}

TEST_P(SocketServerTest, JoinsAMessageSplitAcrossSegmentsAndSplitsMessagesSharingOne) {
    LoopbackClient client(server.port());
    client.send("DIG:OUTP:DA");
    client.send("TA 5;DA");
    client.send("TA?\r");
    client.send("\n");
    EXPECT_EQ(client.readLine(), "+5\n");
    client.send("*OPC?\n*IDN?\r\nDIG:PIN1:FUNC?\n");
    EXPECT_EQ(client.readLine(), "1\n");
    EXPECT_EQ(client.readLine(), "Korvane,MF-7,SIM0001,1.0\n");
    EXPECT_EQ(client.readLine(), "DIO\n");
    EXPECT_EQ(mainframe.traffic().received().at(0), "DIG:OUTP:DATA 5;DATA?");
    EXPECT_EQ(mainframe.errorCount(), 0u) << "a sent reply counts as read, so no -410";
}

TEST_P(SocketServerTest, RefusesAnOversizedMessageAndGoesOnAfterIt) {
    LoopbackClient client(server.port());
    const std::string flood(Mainframe::kMaxMessageBytes * 3, 'x');
    client.send(flood);
    client.send(flood + "*IDN?\nSYST:ERR?\n");
    EXPECT_EQ(client.readLine(), "-223,\"Too much data\"\n");
    client.send("SYST:ERR?\n");
    EXPECT_EQ(client.readLine(), "+0,\"No error\"\n");
    EXPECT_EQ(mainframe.traffic().received(), (std::vector<std::string>{"SYST:ERR?", "SYST:ERR?"}));
}

TEST_P(SocketServerTest, AcceptsAMessageOfExactlyTheLimit) {
    LoopbackClient client(server.port());
    std::string message = "*OPC?";
    message.resize(Mainframe::kMaxMessageBytes, ' ');
    client.send(message + "\r\n");
    EXPECT_EQ(client.readLine(), "1\n");
}

TEST_P(SocketServerTest, ServesTheNextClientAfterOneLeavesAndClientsSideBySide) {
    {
        LoopbackClient first(server.port());
        first.send("DIG:OUTP:DATA 9\n");
        first.send("*OPC?\n");
        EXPECT_EQ(first.readLine(), "1\n");
    }
    LoopbackClient second(server.port());
    LoopbackClient third(server.port());
    third.send("DIG:OUTP:DATA?\n");
    second.send("*OPC?\n");
    EXPECT_EQ(third.readLine(), "+9\n");
    EXPECT_EQ(second.readLine(), "1\n");
}

TEST_P(SocketServerTest, CloseConnectionFaultDropsTheClientWithoutAReply) {
    mainframe.faults().inject(Fault::CloseConnection, 1);
    LoopbackClient doomed(server.port());
    doomed.send("*IDN?\n");
    EXPECT_TRUE(doomed.closedByServer());
    LoopbackClient next(server.port());
    next.send("SYST:ERR?\n");
    EXPECT_EQ(next.readLine(), "+0,\"No error\"\n");
}

TEST_P(SocketServerTest, DelayedReplyComesLateAndInOrder) {
    mainframe.faults().inject(Fault::DelayReply, 1, 100ms);
    LoopbackClient client(server.port());
    const auto start = std::chrono::steady_clock::now();
    client.send("*IDN?\n*OPC?\n");
    EXPECT_EQ(client.readLine(), "Korvane,MF-7,SIM0001,1.0\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
    EXPECT_EQ(client.readLine(), "1\n");
}

TEST_P(SocketServerTest, StopClosesConnectionsAndCanBeRepeated) {
    LoopbackClient client(server.port());
    client.send("*OPC?\n");
    EXPECT_EQ(client.readLine(), "1\n");
    mainframe.faults().inject(Fault::DelayReply, 1, 60s); // a reply still waiting must not hold stop up
    client.send("*IDN?\n");
    server.stop();
    EXPECT_TRUE(client.closedByServer());
    server.stop();
    EXPECT_THROW(LoopbackClient late(server.port()), std::runtime_error);
}

// The raw socket has no lock of its own: its messages wait while another client holds the instrument's
// lock. That wait must hold up nobody else, the other mainframes served by the same loop included.
TEST_P(SocketServerTest, AMessageHeldBackByAnotherClientsLockHoldsUpNoOtherMainframe) {
    Mainframe neighbour("SIM0002");
    SocketServer neighbourServer(neighbour, "127.0.0.1", 0, {}, SocketServer::kDefaultLimits,
                                 fibers ? &fibers->loop() : nullptr);
    ClientSession holder(mainframe);
    ASSERT_EQ(holder.lock(0ms), LockOutcome::Granted);
    LoopbackClient waiting(server.port());
    waiting.send("DIG:OUTP:DATA 3\n*OPC?\n");
    ASSERT_TRUE(test_support::eventually([&] { return mainframe.lockWaiters() == 1; }));
    LoopbackClient other(neighbourServer.port());
    other.send("*IDN?\n");
    EXPECT_EQ(other.readLine(), "Korvane,MF-7,SIM0002,1.0\n");
    EXPECT_EQ(mainframe.state().outputWord, 0);
    holder.unlock();
    EXPECT_EQ(waiting.readLine(), "1\n");
    EXPECT_EQ(mainframe.state().outputWord, 3);
}

TEST(SocketServer, ServesIpv6LoopbackAndLogsOneLinePerConnection) {
    Mainframe mainframe;
    std::mutex mutex;
    std::vector<std::string> lines;
    SocketServer server(mainframe, "[::1]", 0, [&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    });
    for (int i = 0; i < 2; ++i) {
        LoopbackClient client(server.port(), "::1");
        client.send("*OPC?\n");
        EXPECT_EQ(client.readLine(), "1\n");
    }
    server.stop();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].starts_with("connection from [::1]:")) << lines[0];
}

TEST(SocketServer, RefusesABadAddressAndABusyPort) {
    Mainframe mainframe;
    EXPECT_THROW(SocketServer(mainframe, "localhost"), std::invalid_argument);
    EXPECT_THROW(SocketServer(mainframe, "127.0.0.1.5"), std::invalid_argument);
    SocketServer first(mainframe);
    try {
        SocketServer second(mainframe, "127.0.0.1", first.port());
        FAIL() << "a second server bound the same port";
    } catch (const std::system_error& e) {
        EXPECT_NE(std::string(e.what()).find("port " + std::to_string(first.port())), std::string::npos)
            << e.what();
    }
}

} // namespace
} // namespace sim
