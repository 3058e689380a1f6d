// Every client refused past a server's connection limit is told why in its protocol's words, however many
// refused clients are still pending: the idle connections that fill the places and queue past them must not
// silence the refusal of a real client that comes after them.

#include "base/Deadline.h"
#include "protocol/HislipMessage.h"
#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/PortmapServer.h"
#include "sim/RefusedClients.h"
#include "sim/Vxi11Server.h"
#include "tests/lan/HislipProbe.h"
#include "tests/lan/Vxi11Probe.h"
#include "visa/LanStream.h"
#include "visa/ResourceManager.h"
#include "visa/RpcClient.h"
#include "visa/VisaError.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace protocol;
using namespace std::chrono_literals;

namespace {

constexpr std::size_t kIdle = 40; // past the default limit of 32 connections
constexpr std::size_t kLimit = sim::ConnectionLimits{}.maxConnections;

std::vector<visa::LanStream> holdIdle(std::uint16_t port, std::size_t count = kIdle) {
    std::vector<visa::LanStream> idle;
    for (std::size_t i = 0; i < count; ++i) {
        idle.push_back(visa::LanStream::connect("idle", "127.0.0.1", port, base::Deadline(2000ms)));
    }
    return idle;
}

TEST(ManyRefusals, AHislipClientPastFortyIdleConnectionsIsToldMaximumClientsExceeded) {
    sim::Mainframe mainframe;
    sim::HislipServer server(mainframe);
    auto idle = holdIdle(server.port());
    // The idle clients past the limit were told at once, without a word of their own.
    for (std::size_t i = kLimit; i < kIdle; ++i) {
        HislipAssembler assembler(1 << 16);
        const auto told = lan::testing::nextHislipMessage(idle[i], assembler, 2000ms);
        ASSERT_TRUE(told.has_value()) << "idle client " << i << " was not told why";
        EXPECT_EQ(told->type(), HislipType::FatalError);
        EXPECT_EQ(told->header.control, static_cast<std::uint8_t>(HislipFatal::TooManyClients));
    }
    // A real client, opened as the program opens one.
    std::string what;
    try {
        visa::ResourceManager().Open(
            "TCPIP0::127.0.0.1::hislip0," + std::to_string(server.port()) + "::INSTR", 2000ms);
    } catch (const visa::VisaError& e) {
        what = e.what();
    }
    EXPECT_NE(what.find("maximum clients exceeded"), std::string::npos) << "refused with: " << what;
}

TEST(ManyRefusals, PastTheRefusalsKeptAtOnceTheLatestClientIsStillTold) {
    sim::Mainframe mainframe;
    sim::HislipServer server(mainframe, "127.0.0.1", 0, {}, {1, 30s, 0ms});
    auto idle = holdIdle(server.port(), sim::RefusedClients::kMaxAtOnce + 20);
    for (const std::size_t i : {std::size_t{1}, idle.size() - 1}) {
        HislipAssembler assembler(1 << 16);
        const auto told = lan::testing::nextHislipMessage(idle[i], assembler, 2000ms);
        ASSERT_TRUE(told.has_value()) << "idle client " << i << " was not told why";
        EXPECT_EQ(told->type(), HislipType::FatalError);
    }
}

TEST(ManyRefusals, AVxi11ClientPastFortyIdleConnectionsIsToldOutOfResources) {
    sim::Mainframe mainframe;
    sim::Vxi11Server server(mainframe);
    auto idle = holdIdle(server.port());
    lan::testing::Vxi11Probe late(server.port());
    EXPECT_EQ(late.createLink().error, kVxi11OutOfResources);
}

TEST(ManyRefusals, APortmapperClientPastFortyIdleConnectionsStillGetsItsAnswer) {
    sim::PortmapServer portmapper("127.0.0.1", 0);
    portmapper.registerProgram(kVxi11CoreProgram, kVxi11CoreVersion, kIpProtoTcp, 4711);
    auto idle = holdIdle(portmapper.port());
    visa::RpcClient late(
        visa::LanStream::connect("late", "127.0.0.1", portmapper.port(), base::Deadline(2000ms)),
        kPortmapProgram, kPortmapVersion, "portmapper");
    const PortmapMapping wanted{kVxi11CoreProgram, kVxi11CoreVersion, kIpProtoTcp, 0};
    EXPECT_EQ(decodePort(late.call(kPortmapProcGetPort, wanted.encode(), base::Deadline(2000ms), "GETPORT")),
              4711u);
}

} // namespace
