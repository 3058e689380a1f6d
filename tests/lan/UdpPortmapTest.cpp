// The simulator's portmapper over UDP, as the VXI-11 broadcast finder asks it (broadcasts themselves are
// covered in network namespaces by find-in-namespaces).

#include "base/NetworkInterfaces.h"
#include "base/UdpSocket.h"
#include "protocol/RpcMessage.h"
#include "protocol/Vxi11Messages.h"
#include "sim/PortmapServer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <string>

using namespace protocol;
using namespace std::chrono_literals;

namespace {

class UdpPortmap : public testing::Test {
protected:
    void SetUp() override {
        server_.registerProgram(kVxi11CoreProgram, kVxi11CoreVersion, kIpProtoTcp, 4321);
        ASSERT_TRUE(server_.serveUdp());
    }

    // The reply to one datagram, or nullopt when none comes within a short wait.
    std::optional<std::string> ask(const std::string& datagram) {
        const sockaddr_in to = base::socketAddress(*base::parseIpv4("127.0.0.1"), server_.port());
        EXPECT_TRUE(client_.sendTo(datagram, to));
        const base::Deadline deadline(300ms);
        while (!base::waitReadable(std::array{client_.fd()}, deadline).empty()) {
            if (auto reply = client_.receive(1024)) {
                return reply->bytes;
            }
        }
        return std::nullopt;
    }

    static std::string getPort(std::uint32_t xid, std::uint32_t program,
                               std::uint32_t rpcProgram = kPortmapProgram) {
        const PortmapMapping mapping{program, kVxi11CoreVersion, kIpProtoTcp, 0};
        return encodeCall({xid, rpcProgram, kPortmapVersion, kPortmapProcGetPort, mapping.encode()});
    }

    sim::PortmapServer server_{"127.0.0.1", 0};
    base::UdpSocket client_ = base::UdpSocket::bind(*base::parseIpv4("127.0.0.1"), 0);
};

TEST_F(UdpPortmap, AnswersGetPortOnTheSamePortAsOverTcp) {
    const auto reply = ask(getPort(41, kVxi11CoreProgram));
    ASSERT_TRUE(reply);
    const RpcReply decoded = decodeReply(*reply);
    EXPECT_EQ(decoded.xid, 41u);
    EXPECT_EQ(decodePort(decoded.results), 4321u);

    const auto unknown = ask(getPort(42, 0x123456));
    ASSERT_TRUE(unknown) << "a unicast question gets its answer, 0 included";
    EXPECT_EQ(decodePort(decodeReply(*unknown).results), 0u);
}

TEST_F(UdpPortmap, StaysSilentForOtherProgramsAndJunkAndKeepsServing) {
    EXPECT_FALSE(ask(getPort(43, kVxi11CoreProgram, kVxi11CoreProgram))) << "a call for another program";
    EXPECT_FALSE(ask("not an RPC call"));
    EXPECT_FALSE(ask(std::string(2000, '\xff'))) << "longer than any portmapper call";
    EXPECT_TRUE(ask(getPort(44, kVxi11CoreProgram)));
}

TEST(UdpPortmapAddress, TakesNoUdpForIpv6) {
    sim::PortmapServer server("::1", 0);
    EXPECT_FALSE(server.serveUdp());
}

} // namespace
