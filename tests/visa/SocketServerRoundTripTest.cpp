#include "sim/Mainframe.h"
#include "sim/SocketServer.h"
#include "tests/support/CaseTable.h"
#include "visa/ResourceManager.h"

#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>

namespace {

using namespace std::chrono_literals;
using testing::ElementsAre;

struct Served {
    std::string name;
    std::string bindAddress;
    std::string host; // as written in the resource string
};

// Test names show the case's name, not the bytes of the struct.
void PrintTo(const Served& served, std::ostream* out) {
    *out << served.name;
}

class SocketAgainstSimulator : public testing::TestWithParam<Served> {
protected:
    std::unique_ptr<visa::MessageSession> open() {
        const auto resource =
            "TCPIP0::" + GetParam().host + "::" + std::to_string(server.port()) + "::SOCKET";
        auto session = visa::ResourceManager().Open(resource, 2000ms);
        session->setTimeout(2000ms);
        return session;
    }

    sim::Mainframe mainframe;
    sim::SocketServer server{mainframe, GetParam().bindAddress, 0};
};

TEST_P(SocketAgainstSimulator, AnswersAQuery) {
    auto session = open();
    session->write("*IDN?");
    EXPECT_EQ(session->read(), "Korvane,MF-7,SIM0001,1.0\n");
}

TEST_P(SocketAgainstSimulator, ReportsACommandsErrorThroughTheErrorQueue) {
    auto session = open();
    session->write("DIG:PIN5:FUNC OFFC");
    session->write("SYST:ERR?");
    EXPECT_EQ(session->read(), "+0,\"No error\"\n");
    session->write("DIG:PIN2:FUNC FAUL");
    session->write("SYST:ERR?");
    EXPECT_EQ(session->read(), "-221,\"Settings conflict\"\n");
    EXPECT_EQ(mainframe.state().pinFunction[5], "OFFC");
    EXPECT_THAT(mainframe.traffic().received(),
                ElementsAre("DIG:PIN5:FUNC OFFC", "SYST:ERR?", "DIG:PIN2:FUNC FAUL", "SYST:ERR?"));
}

INSTANTIATE_TEST_SUITE_P(Loopback, SocketAgainstSimulator,
                         testing::Values(Served{"ipv4", "127.0.0.1", "127.0.0.1"},
                                         Served{"hostName", "127.0.0.1", "localhost"},
                                         Served{"ipv6", "::1", "[::1]"}),
                         test_cases::byName);

} // namespace
