// The simulator's servers hold their clients to their limits: slow and idle clients are dropped,
// clients past the connection or link limit are refused (with the protocol's reason where it has
// one), and calls of another RPC version get their own answer.

#include "base/Deadline.h"
#include "base/FileDescriptor.h"
#include "protocol/HislipMessage.h"
#include "protocol/RecordMarking.h"
#include "protocol/RpcMessage.h"
#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/PortmapServer.h"
#include "sim/SocketServer.h"
#include "sim/Vxi11Server.h"
#include "tests/sim/LoopbackClient.h"
#include "tests/support/CaseTable.h"
#include "visa/HislipSession.h"
#include "visa/LanStream.h"
#include "visa/ResourceName.h"
#include "visa/RpcClient.h"
#include "visa/VisaError.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

using namespace protocol;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using sim::testing::LoopbackClient;

namespace {

constexpr sim::ConnectionLimits kStallQuickly{8, 300ms, 0ms};

// The server's log lines, safe to add to from its threads.
class LogLines {
public:
    sim::TcpService::Log sink() {
        return [this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        };
    }
    bool any(const std::string& part) const {
        std::lock_guard lock(mutex_);
        for (const auto& line : lines_) {
            if (line.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Sends `trickle` every 50 ms until the server drops the connection; the time that took, or
// nullopt when it still held on after two seconds.
std::optional<Clock::duration> timeUntilDropped(LoopbackClient& client, const std::string& trickle) {
    const auto start = Clock::now();
    for (int i = 0; i < 40; ++i) {
        std::this_thread::sleep_for(50ms);
        try {
            client.send(trickle);
        } catch (const std::runtime_error&) {
            return Clock::now() - start;
        }
    }
    return std::nullopt;
}

// A record mark announcing `length` bytes in its last fragment.
std::string recordMark(std::uint32_t length) {
    const std::uint32_t mark = kLastFragmentBit | length;
    return {static_cast<char>(mark >> 24), static_cast<char>(mark >> 16), static_cast<char>(mark >> 8),
            static_cast<char>(mark)};
}

enum class Server { Socket, Vxi11, Portmapper, Hislip };

// One mainframe and the log of every server a test starts; the servers stop with the test.
class ServerLimits : public ::testing::Test {
protected:
    std::uint16_t serve(Server kind, sim::ConnectionLimits limits = {}) {
        sim::Vxi11Server::Options options;
        options.limits = limits;
        switch (kind) {
        case Server::Socket:
            return keep<sim::SocketServer>(mainframe, "127.0.0.1", 0, log.sink(), limits);
        case Server::Vxi11:
            return keep<sim::Vxi11Server>(mainframe, "127.0.0.1", 0, options, log.sink());
        case Server::Portmapper:
            return keep<sim::PortmapServer>("127.0.0.1", 0, log.sink(), limits);
        case Server::Hislip:
            return keep<sim::HislipServer>(mainframe, "127.0.0.1", 0, log.sink(), limits);
        }
        throw std::logic_error("no such server");
    }

    sim::Mainframe mainframe;
    LogLines log;

private:
    template <typename Kind, typename... Args> std::uint16_t keep(Args&&... args) {
        auto server = std::make_shared<Kind>(std::forward<Args>(args)...);
        servers_.push_back(server);
        return server->port();
    }

    std::vector<std::shared_ptr<void>> servers_;
};

struct SlowClientCase {
    const char* name;
    Server server;
    std::string start;   // the beginning of a message
    std::string trickle; // more of it, never its end
};

class SlowClient : public ServerLimits, public ::testing::WithParamInterface<SlowClientCase> {};

TEST_P(SlowClient, IsDroppedWhenItsMessageStaysUnfinishedForTheStallTime) {
    LoopbackClient client(serve(GetParam().server, kStallQuickly));
    client.send(GetParam().start);
    const auto took = timeUntilDropped(client, GetParam().trickle);
    ASSERT_TRUE(took.has_value()) << "a client that never finishes its message kept its connection";
    EXPECT_GE(*took, 300ms);
    EXPECT_TRUE(log.any("message unfinished for 0.3 s"));
}

INSTANTIATE_TEST_SUITE_P(
    EveryServer, SlowClient,
    ::testing::Values(SlowClientCase{"Socket", Server::Socket, "DIG:OUTP:DATA 1", "0"},
                      SlowClientCase{"Vxi11", Server::Vxi11, recordMark(1000) + "abcd", std::string(1, '\0')},
                      SlowClientCase{"Portmapper", Server::Portmapper, recordMark(500), std::string(1, '\0')},
                      SlowClientCase{
                          "Hislip", Server::Hislip,
                          encodeHislip(HislipType::Initialize, 0, 0, std::string(1000, 'h')).substr(0, 20),
                          "h"}),
    test_cases::byName);

TEST_F(ServerLimits, AClientBetweenMessagesIsNotStalledAndAnIdleOneOnlyWhenAskedFor) {
    LoopbackClient client(serve(Server::Socket, kStallQuickly));
    client.send("*OPC?\n");
    EXPECT_EQ(client.readLine(), "1\n");
    std::this_thread::sleep_for(500ms);
    client.send("*OPC?\n");
    EXPECT_EQ(client.readLine(), "1\n");

    LoopbackClient idle(serve(Server::Socket, {8, 300ms, 200ms}));
    const auto start = Clock::now();
    EXPECT_TRUE(idle.closedByServer());
    EXPECT_GE(Clock::now() - start, 200ms);
    EXPECT_TRUE(log.any("no traffic for 0.2 s"));
}

TEST_F(ServerLimits, AClientThatNeverReadsItsRepliesIsDroppedAfterTheStallTime) {
    const std::uint16_t port = serve(Server::Socket, kStallQuickly);
    base::FileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int small = 4096; // so that unread replies fill the way back soon
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::string queries;
    for (int i = 0; i < 10000; ++i) {
        queries += "*IDN?\n";
    }
    bool dropped = false;
    // Generous: a sanitizer build takes long to answer the queries that fill both buffers.
    for (const auto end = Clock::now() + 60s; !dropped && Clock::now() < end;) {
        const auto n = ::send(fd.get(), queries.data(), queries.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            dropped = true;
        } else if (n < 0) {
            std::this_thread::sleep_for(20ms);
        }
    }
    EXPECT_TRUE(dropped) << "a client that never reads kept its connection";
    EXPECT_TRUE(log.any("reply not taken for 0.3 s"));
}

TEST_F(ServerLimits, ASocketClientPastTheLimitIsClosedAndLogged) {
    const std::uint16_t port = serve(Server::Socket, {1, 30s, 0ms});
    LoopbackClient first(port);
    first.send("*OPC?\n");
    EXPECT_EQ(first.readLine(), "1\n");
    LoopbackClient second(port);
    EXPECT_TRUE(second.closedByServer());
    EXPECT_TRUE(log.any("already 1 connections"));
}

// Workers stay for the next connection: the places of clients that left are given again, round after
// round, and never more than the limit at once.
TEST_F(ServerLimits, PlacesOfClientsThatLeftAreGivenAgainButNeverPastTheLimit) {
    const std::uint16_t port = serve(Server::Socket, {2, 30s, 0ms});
    // Served once the server has seen the previous round's clients leave.
    const auto servedClient = [port] {
        for (int attempt = 0; attempt < 200; ++attempt) {
            auto client = std::make_unique<LoopbackClient>(port);
            client->send("*OPC?\n");
            if (client->readLine() == "1\n")
                return client;
            std::this_thread::sleep_for(10ms);
        }
        return std::unique_ptr<LoopbackClient>();
    };
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const auto first = servedClient();
        const auto second = servedClient();
        ASSERT_TRUE(first && second);
        LoopbackClient third(port);
        EXPECT_TRUE(third.closedByServer());
        first->send("*OPC?\n");
        second->send("*OPC?\n");
        EXPECT_EQ(first->readLine(), "1\n");
        EXPECT_EQ(second->readLine(), "1\n");
    }
}

TEST_F(ServerLimits, AHislipClientPastTheLimitIsToldMaximumClientsExceeded) {
    const std::uint16_t port = serve(Server::Hislip, {2, 30s, 0ms}); // one session
    const auto name =
        visa::ResourceName::parse("TCPIP0::127.0.0.1::hislip0," + std::to_string(port) + "::INSTR");
    auto first = visa::HislipSession::open(name, 2000ms);
    try {
        visa::HislipSession::open(name, 2000ms);
        FAIL() << "a session past the limit was opened";
    } catch (const visa::VisaError& e) {
        EXPECT_EQ(e.kind(), visa::VisaError::Kind::Refused) << e.what();
        EXPECT_NE(std::string(e.what()).find("maximum clients exceeded"), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find("sub-address"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(log.any("HiSLIP: refused 127.0.0.1:"));
    first->close();
    first.reset();
    // The place is free again once the server has seen the first session go.
    std::unique_ptr<visa::HislipSession> next;
    for (int attempt = 0; attempt < 40 && !next; ++attempt) {
        try {
            next = visa::HislipSession::open(name, 2000ms);
        } catch (const visa::VisaError&) {
            std::this_thread::sleep_for(50ms);
        }
    }
    EXPECT_TRUE(next);
}

// create_link over a bare RPC channel, so that one connection can ask for several links.
class CoreChannel {
public:
    explicit CoreChannel(std::uint16_t port)
        : rpc_(visa::LanStream::connect("core", "127.0.0.1", port, base::Deadline(2000ms)), kVxi11CoreProgram,
               kVxi11CoreVersion, "VXI-11 core channel") {}
    std::int32_t createLink() {
        CreateLinkParms parms;
        parms.device = "inst0";
        return CreateLinkResp::decode(
                   rpc_.call(kCreateLink, parms.encode(), base::Deadline(2000ms), "create_link"))
            .error;
    }

private:
    visa::RpcClient rpc_;
};

TEST_F(ServerLimits, Vxi11LinksAreLimitedPerConnectionAndInAllAndEndWithTheirConnection) {
    sim::Vxi11Server::Options options;
    options.linksPerConnection = 2;
    options.maxLinks = 3;
    sim::Vxi11Server server(mainframe, "127.0.0.1", 0, options, log.sink());
    auto first = std::make_unique<CoreChannel>(server.port());
    CoreChannel second(server.port());
    EXPECT_EQ(first->createLink(), kVxi11NoError);
    EXPECT_EQ(first->createLink(), kVxi11NoError);
    EXPECT_EQ(first->createLink(), kVxi11OutOfResources) << "a third link on one connection";
    EXPECT_EQ(second.createLink(), kVxi11NoError);
    EXPECT_EQ(second.createLink(), kVxi11OutOfResources) << "a fourth link in all";
    EXPECT_TRUE(log.any("already 2 links on this connection"));
    EXPECT_TRUE(log.any("already 3 links in all"));
    EXPECT_EQ(server.linkedDevices().size(), 3u);
    first.reset();
    for (int attempt = 0; attempt < 40 && server.linkedDevices().size() != 1; ++attempt) {
        std::this_thread::sleep_for(25ms);
    }
    EXPECT_EQ(server.linkedDevices().size(), 1u) << "the closed connection's links were kept";
    EXPECT_EQ(second.createLink(), kVxi11NoError);
}

TEST_F(ServerLimits, AVxi11ClientPastTheConnectionLimitIsToldOutOfResources) {
    const std::uint16_t port = serve(Server::Vxi11, {1, 30s, 0ms});
    CoreChannel first(port);
    EXPECT_EQ(first.createLink(), kVxi11NoError);
    CoreChannel second(port);
    EXPECT_EQ(second.createLink(), kVxi11OutOfResources);
    EXPECT_TRUE(log.any("VXI-11: refused 127.0.0.1:"));
}

struct RpcCheckCase {
    const char* name;
    std::uint32_t rpcVersion;
    std::uint32_t program;
    std::uint32_t version;
    RpcReplyStatus expected;
};

// A call sent by hand, so that its RPC version can be one our client never sends.
RpcReply callWith(std::uint16_t port, const RpcCheckCase& c) {
    RpcCall call;
    call.xid = 77;
    call.program = c.program;
    call.version = c.version;
    std::string message = encodeCall(call);
    message[11] = static_cast<char>(c.rpcVersion);
    auto stream = visa::LanStream::connect("probe", "127.0.0.1", port, base::Deadline(2000ms));
    const base::Deadline deadline(2000ms);
    stream.sendAll(encodeRecord(message), deadline, "call");
    RecordAssembler assembler(4096);
    while (true) {
        if (auto record = assembler.nextRecord()) {
            return decodeReply(*record);
        }
        auto bytes = stream.receiveSome(deadline);
        if (!bytes) {
            throw std::runtime_error("no reply");
        }
        assembler.feed(*bytes);
    }
}

TEST_F(ServerLimits, BothRpcServersCheckTheRpcVersionTheProgramAndItsVersion) {
    const RpcCheckCase cases[] = {
        {"another RPC version", 3, 0, 0, RpcReplyStatus::RpcVersionMismatch},
        {"another program", 2, 4711, 1, RpcReplyStatus::ProgramUnavailable},
        {"another program version", 2, 0, 9, RpcReplyStatus::ProgramMismatch},
    };
    struct Offered {
        std::uint32_t program;
        std::uint32_t version;
    };
    const std::pair<std::uint16_t, Offered> servers[] = {
        {serve(Server::Vxi11), {kVxi11CoreProgram, kVxi11CoreVersion}},
        {serve(Server::Portmapper), {kPortmapProgram, kPortmapVersion}},
    };
    for (const auto& [port, offered] : servers) {
        for (RpcCheckCase c : cases) {
            c.program = c.program == 0 ? offered.program : c.program;
            const RpcReply reply = callWith(port, c);
            EXPECT_EQ(reply.xid, 77u) << c.name;
            EXPECT_EQ(reply.status, c.expected) << c.name << " on port " << port;
            if (c.expected == RpcReplyStatus::RpcVersionMismatch) {
                EXPECT_EQ(reply.low, kRpcVersion);
                EXPECT_EQ(reply.high, kRpcVersion);
            } else if (c.expected == RpcReplyStatus::ProgramMismatch) {
                EXPECT_EQ(reply.low, offered.version);
                EXPECT_EQ(reply.high, offered.version);
            }
        }
    }
}

} // namespace
