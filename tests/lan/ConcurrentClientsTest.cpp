// Two clients at once on one simulated mainframe, over every pair of transports: each gets the replies
// to its own queries only, and neither interrupts the other's.

#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/PortmapServer.h"
#include "sim/SocketServer.h"
#include "sim/Vxi11Server.h"
#include "simbackend/SimBoards.h"
#include "simbackend/SimSession.h"
#include "visa/HislipSession.h"
#include "visa/ResourceName.h"
#include "visa/SocketSession.h"
#include "visa/Vxi11Session.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <utility>

using namespace std::chrono_literals;

namespace {

enum class Transport { Socket, Vxi11, Hislip, Sim };

const char* nameOf(Transport transport) {
    constexpr const char* kNames[] = {"Socket", "Vxi11", "Hislip", "Sim"};
    return kNames[static_cast<int>(transport)];
}

constexpr unsigned kBoard = 12;
constexpr int kRoundTrips = 300;

// One mainframe (the SIM board's, so in-process sessions reach it too) behind every server.
class EveryServer {
public:
    EveryServer()
        : mainframe_(boards_.board(kBoard)), socket_(mainframe_), vxi11_(mainframe_),
          portmapper_("127.0.0.1", 0), hislip_(mainframe_) {
        portmapper_.registerProgram(protocol::kVxi11CoreProgram, protocol::kVxi11CoreVersion,
                                    protocol::kIpProtoTcp, vxi11_.port());
    }

    std::unique_ptr<visa::MessageSession> open(Transport transport) {
        std::unique_ptr<visa::MessageSession> session;
        switch (transport) {
        case Transport::Socket:
            session = visa::SocketSession::open(
                visa::ResourceName::parse("TCPIP0::127.0.0.1::" + std::to_string(socket_.port()) +
                                          "::SOCKET"),
                2000ms);
            break;
        case Transport::Vxi11:
            session = visa::Vxi11Session::open(visa::ResourceName::parse("TCPIP0::127.0.0.1::INSTR"), 2000ms,
                                               {portmapper_.port()});
            break;
        case Transport::Hislip:
            session = visa::HislipSession::open(visa::ResourceName::parse("TCPIP0::127.0.0.1::hislip0," +
                                                                          std::to_string(hislip_.port()) +
                                                                          "::INSTR"),
                                                2000ms);
            break;
        case Transport::Sim:
            session = simbackend::SimSession::open(
                visa::ResourceName::parse("SIM" + std::to_string(kBoard) + "::INSTR"), boards_);
            break;
        }
        session->setTimeout(2000ms);
        return session;
    }

    sim::Mainframe& mainframe() { return mainframe_; }

private:
    simbackend::SimBoards boards_;
    sim::Mainframe& mainframe_;
    sim::SocketServer socket_;
    sim::Vxi11Server vxi11_;
    sim::PortmapServer portmapper_;
    sim::HislipServer hislip_;
};

// Asks the same query over and over; counts every reply that is not its own and every failure.
class QueryLoop {
public:
    QueryLoop(std::unique_ptr<visa::MessageSession> session, std::string query, std::string reply)
        : session_(std::move(session)), query_(std::move(query)), reply_(std::move(reply)) {}

    void run() {
        for (int i = 0; i < kRoundTrips; ++i) {
            try {
                session_->write(query_);
                std::this_thread::yield(); // as a client does between sending and reading
                const std::string got = session_->read();
                if (got != reply_) {
                    ++wrong_;
                    lastWrong_ = got;
                }
            } catch (const std::exception& e) {
                ++failed_;
                lastFailure_ = e.what();
            }
        }
    }

    int wrong() const { return wrong_; }
    int failed() const { return failed_; }
    std::string report() const {
        return "last wrong reply: " + lastWrong_ + "; last failure: " + lastFailure_;
    }

private:
    std::unique_ptr<visa::MessageSession> session_;
    std::string query_;
    std::string reply_;
    int wrong_ = 0;
    int failed_ = 0;
    std::string lastWrong_;
    std::string lastFailure_;
};

class ConcurrentClients : public ::testing::TestWithParam<std::pair<Transport, Transport>> {};

TEST_P(ConcurrentClients, EachGetsOnlyItsOwnRepliesAndNoneIsInterrupted) {
    EveryServer servers;
    QueryLoop first(servers.open(GetParam().first), "*IDN?", "Korvane,MF-7,SIM0013,1.0\n");
    QueryLoop second(servers.open(GetParam().second), "DIG:PIN3:FUNC?", "DIO\n");
    // Both start at once, so their exchanges overlap even on the fastest transports.
    std::atomic<bool> go = false;
    std::thread other([&] {
        go.wait(false);
        second.run();
    });
    go = true;
    go.notify_all();
    first.run();
    other.join();
    EXPECT_EQ(first.wrong() + first.failed(), 0) << first.report();
    EXPECT_EQ(second.wrong() + second.failed(), 0) << second.report();
    EXPECT_EQ(servers.mainframe().errorCount(), 0u) << "a query was interrupted (-410)";
}

constexpr Transport kAll[] = {Transport::Socket, Transport::Vxi11, Transport::Hislip, Transport::Sim};

std::vector<std::pair<Transport, Transport>> everyPair() {
    std::vector<std::pair<Transport, Transport>> pairs;
    for (std::size_t i = 0; i < std::size(kAll); ++i) {
        for (std::size_t j = i; j < std::size(kAll); ++j) {
            pairs.emplace_back(kAll[i], kAll[j]);
        }
    }
    return pairs;
}

INSTANTIATE_TEST_SUITE_P(EveryPair, ConcurrentClients, ::testing::ValuesIn(everyPair()),
                         [](const auto& info) {
                             return std::string(nameOf(info.param.first)) + "With" +
                                    nameOf(info.param.second);
                         });

} // namespace
