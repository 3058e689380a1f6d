// A rack in one simulator: N independent mainframes behind one HiSLIP port (hislip0, hislip1...), one VXI-11
// port (inst0, inst1...) and N consecutive raw ports, each with its own serial number, settings, error queue
// and lock.

#include "base/FileDescriptor.h"
#include "protocol/HislipMessage.h"
#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/Vxi11Server.h"
#include "tests/lan/HislipProbe.h"
#include "tests/lan/SimProcess.h"
#include "tests/lan/Vxi11Probe.h"
#include "tests/sim/LoopbackClient.h"
#include "visa/LanStream.h"

#include <array>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace protocol;
using namespace std::chrono_literals;
using lan::testing::HislipProbe;
using lan::testing::Vxi11Probe;

namespace {

constexpr std::size_t kRack = 3;

struct Rack {
    Rack() {
        for (std::size_t i = 0; i < kRack; ++i) {
            mainframes.push_back(std::make_unique<sim::Mainframe>(sim::Mainframe::serialNumberFor(i)));
            pointers.push_back(mainframes.back().get());
        }
    }
    std::vector<std::unique_ptr<sim::Mainframe>> mainframes;
    std::vector<sim::Mainframe*> pointers;
};

std::string identity(std::size_t index) {
    return "Korvane,MF-7," + sim::Mainframe::serialNumberFor(index) + ",1.0\n";
}

TEST(Rack, HislipSubAddressesReachTheirOwnMainframesAndNoOthers) {
    Rack rack;
    sim::HislipServer server(rack.pointers, "127.0.0.1", 0);
    std::vector<std::unique_ptr<HislipProbe>> sessions;
    for (std::size_t i = 0; i < kRack; ++i) {
        sessions.push_back(std::make_unique<HislipProbe>(server.port(), "hislip" + std::to_string(i)));
        EXPECT_EQ(sessions[i]->query("*IDN?"), identity(i));
    }
    // Settings, error queue and lock are each mainframe's own.
    sessions[1]->send("DIG:OUTP:DATA 9");
    sessions[1]->send("BOGUS");
    EXPECT_EQ(sessions[0]->query("DIG:OUTP:DATA?"), "+0\n");
    EXPECT_EQ(sessions[0]->query("SYST:ERR?"), "+0,\"No error\"\n");
    EXPECT_EQ(sessions[1]->query("DIG:OUTP:DATA?"), "+9\n");
    EXPECT_EQ(sessions[1]->query("SYST:ERR?").substr(0, 5), "-113,") << "the error went to another queue";
    ASSERT_EQ(sessions[0]->requestLock(0), 1);
    EXPECT_EQ(sessions[2]->requestLock(0), 1) << "one mainframe's lock held another";

    for (const char* unknown : {"hislip3", "hislip01", "gpib0", "hislip-1"}) {
        auto stream = visa::LanStream::connect("probe", "127.0.0.1", server.port(), base::Deadline(2000ms));
        stream.sendAll(encodeHislip(HislipType::Initialize, 0, 0x01000000u, unknown), base::Deadline(2000ms),
                       "init");
        HislipAssembler assembler(1 << 16);
        const auto answer = lan::testing::nextHislipMessage(stream, assembler, 2000ms);
        ASSERT_TRUE(answer.has_value()) << unknown;
        EXPECT_EQ(answer->type(), HislipType::FatalError) << unknown;
        EXPECT_NE(answer->payload.find("hislip0 to hislip2"), std::string::npos) << answer->payload;
    }
}

TEST(Rack, Vxi11DeviceNamesReachTheirOwnMainframes) {
    Rack rack;
    sim::Vxi11Server server(rack.pointers, "127.0.0.1", 0, {});
    Vxi11Probe probe(server.port());
    for (std::size_t i = 0; i < kRack; ++i) {
        const CreateLinkResp link = probe.createLink("inst" + std::to_string(i));
        ASSERT_EQ(link.error, kVxi11NoError);
        ASSERT_EQ(probe.write(link.linkId, "*IDN?"), kVxi11NoError);
        EXPECT_EQ(probe.read(link.linkId).data, identity(i));
    }
    EXPECT_EQ(probe.createLink("inst3").error, kVxi11DeviceNotAccessible);
}

// The raw port of `serial` as pinwright-sim announces it: "... port N (SIM0001)".
std::uint16_t announcedPort(const std::string& output, const std::string& serial) {
    const auto end = output.find(" (" + serial + ")");
    const auto start = output.rfind("port ", end);
    if (end == std::string::npos || start == std::string::npos)
        return 0;
    return static_cast<std::uint16_t>(std::stoi(output.substr(start + 5, end - start - 5)));
}

// A script that starts the simulator and stops reading its output must not stop its service: once the
// pipe is full, every refused client's log line would otherwise hold up the loop that serves them all.
TEST(Rack, PinwrightSimServesEveryMainframeWhileNobodyReadsItsOutput) {
    SimProcess sim({"--count", "2", "--socket-clients", "1", "--port", "0"});
    const std::string output = sim.outputUntil("2 mainframes; Ctrl-C stops");
    ASSERT_FALSE(output.empty());
    const std::uint16_t first = announcedPort(output, sim::Mainframe::serialNumberFor(0));
    const std::uint16_t second = announcedPort(output, sim::Mainframe::serialNumberFor(1));
    ASSERT_NE(first, 0) << output;
    ASSERT_NE(second, 0) << output;
    // From here on nobody reads the output. The first mainframe's one client place is taken, and every
    // further client is refused with a log line: far more lines than a pipe holds.
    sim::testing::LoopbackClient holder(first);
    holder.send("*OPC?\n");
    ASSERT_EQ(holder.readLine(), "1\n");
    for (int i = 0; i < 5000; ++i) {
        sim::testing::LoopbackClient refused(first);
        ASSERT_TRUE(refused.closedByServer()) << "client " << i << " was not refused";
    }
    sim::testing::LoopbackClient other(second);
    other.send("*IDN?\n");
    EXPECT_EQ(other.readLine(), identity(1)) << "the other mainframe stopped answering";
    holder.send("*OPC?\n");
    EXPECT_EQ(holder.readLine(), "1\n") << "the first mainframe stopped answering its client";
}

TEST(Rack, PinwrightSimServesCountMainframesOnConsecutivePorts) {
    // A base port with two free ones above it; another program may take one in between, so try a few.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const auto base = static_cast<std::uint16_t>(20000 + (::getpid() * 7 + attempt * 1009) % 40000);
        SimProcess sim({"--count", "3", "--port", std::to_string(base)});
        const std::string output = sim.outputUntil("3 mainframes; Ctrl-C stops");
        if (output.empty()) {
            continue;
        }
        for (std::size_t i = 0; i < kRack; ++i) {
            const std::uint16_t port = static_cast<std::uint16_t>(base + i);
            EXPECT_NE(
                output.find("port " + std::to_string(port) + " (" + sim::Mainframe::serialNumberFor(i) + ")"),
                std::string::npos)
                << output;
            sim::testing::LoopbackClient client(port);
            client.send("*IDN?\n");
            EXPECT_EQ(client.readLine(), identity(i));
        }
        return;
    }
    FAIL() << "pinwright-sim --count 3 did not start on any of five base ports";
}

} // namespace
