// Third-party clients from Debian against the simulator's servers: pyvisa with pyvisa-py over VXI-11
// and SOCKET, and lxi-tools over VXI-11 and the raw socket. They find the VXI-11 core channel through
// the portmapper on port 111 only, so this test serves port 111 itself, as root, in a network namespace of
// its own (tests/support/own-network).

#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/PortmapServer.h"
#include "sim/SocketServer.h"
#include "sim/Vxi11Server.h"
#include "tests/support/CommandOutput.h"
#include "visa/ResourceManager.h"

#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>

using namespace std::chrono_literals;

namespace {

// Every client run is bounded: a hung client fails the test instead of stalling the suite.
std::string run(const std::string& command) {
    return commandOutput("timeout 30 " + command + " 2>&1");
}

class LanThirdPartyClients : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        mainframe_ = std::make_unique<sim::Mainframe>();
        socket_ = std::make_unique<sim::SocketServer>(*mainframe_, "127.0.0.1", 0);
        vxi11_ = std::make_unique<sim::Vxi11Server>(*mainframe_);
        try {
            portmapper_ = std::make_unique<sim::PortmapServer>("127.0.0.1", protocol::kPortmapPort);
        } catch (const std::exception& e) {
            setUpError_ =
                std::string(e.what()) +
                ". The third-party VXI-11 clients ask the portmapper on port 111 only: run the tests as "
                "root and stop any rpcbind on this machine.";
            return;
        }
        portmapper_->registerProgram(protocol::kVxi11CoreProgram, protocol::kVxi11CoreVersion,
                                     protocol::kIpProtoTcp, vxi11_->port());
    }
    static void TearDownTestSuite() {
        // Servers first: they serve the mainframe until they stop.
        portmapper_.reset();
        vxi11_.reset();
        socket_.reset();
        mainframe_.reset();
    }
    void SetUp() override {
        ASSERT_TRUE(setUpError_.empty()) << setUpError_;
        mainframe_->reset();
    }

    // pyvisa-py: one query, one command + SYST:ERR?, one pin query, each reply on its own line.
    static std::string pyvisa(const std::string& resource) {
        const std::string script = ::testing::TempDir() + "/pinwright_pyvisa_client.py";
        std::ofstream(script) << "import sys, pyvisa\n"
                                 "rm = pyvisa.ResourceManager('@py')\n"
                                 "i = rm.open_resource(sys.argv[1], open_timeout=5000)\n"
                                 "i.timeout = 5000\n"
                                 "i.read_termination = '\\n'\n"
                                 "i.write_termination = '\\n'\n"
                                 "print(i.query('*IDN?'))\n"
                                 "i.write('DIG:PIN2:FUNC DINP')\n"
                                 "print(i.query('SYST:ERR?'))\n"
                                 "print(i.query('DIG:PIN2:FUNC?'))\n"
                                 "i.close()\n";
        return run("/usr/bin/python3 " + script + " '" + resource + "'");
    }

    static std::string lxi(const std::string& arguments) { return run("lxi scpi " + arguments); }

    static inline std::unique_ptr<sim::Mainframe> mainframe_;
    static inline std::unique_ptr<sim::SocketServer> socket_;
    static inline std::unique_ptr<sim::Vxi11Server> vxi11_;
    static inline std::unique_ptr<sim::PortmapServer> portmapper_;
    static inline std::string setUpError_;
};

const char* const kExpected = "Korvane,MF-7,SIM0001,1.0\n+0,\"No error\"\nDINP\n";

TEST_F(LanThirdPartyClients, PyvisaOverVxi11) {
    EXPECT_EQ(pyvisa("TCPIP0::127.0.0.1::INSTR"), kExpected);
    EXPECT_EQ(mainframe_->state().pinFunction[2], "DINP");
}

TEST_F(LanThirdPartyClients, PyvisaOverSocket) {
    EXPECT_EQ(pyvisa("TCPIP0::127.0.0.1::" + std::to_string(socket_->port()) + "::SOCKET"), kExpected);
    EXPECT_EQ(mainframe_->state().pinFunction[2], "DINP");
}

// lxi opens a connection per call; the instrument's state carries the command to the next call.
TEST_F(LanThirdPartyClients, LxiOverVxi11AndRawSocket) {
    const std::string raw = "-r -p " + std::to_string(socket_->port()) + " ";
    for (const std::string& mode : {std::string(), raw}) {
        mainframe_->reset();
        EXPECT_EQ(lxi(mode + "-a 127.0.0.1 '*IDN?'"), "Korvane,MF-7,SIM0001,1.0\n") << mode;
        EXPECT_EQ(lxi(mode + "-a 127.0.0.1 'DIG:PIN7:FUNC OFFC'"), "") << mode;
        EXPECT_EQ(lxi(mode + "-a 127.0.0.1 'SYST:ERR?'"), "+0,\"No error\"\n") << mode;
        EXPECT_EQ(lxi(mode + "-a 127.0.0.1 'DIG:PIN7:FUNC?'"), "OFFC\n") << mode;
        EXPECT_EQ(mainframe_->state().pinFunction[7], "OFFC") << mode;
    }
}

// Our own resource manager reaches the same instrument over all three LAN forms (HiSLIP has no
// Debian client to try, see docs/testing.md).
TEST_F(LanThirdPartyClients, OurResourceManagerOverEveryLanForm) {
    sim::HislipServer hislip(*mainframe_);
    const std::string resources[] = {
        "TCPIP0::127.0.0.1::" + std::to_string(socket_->port()) + "::SOCKET",
        "TCPIP0::127.0.0.1::INSTR",
        "TCPIP0::127.0.0.1::inst0::INSTR",
        "TCPIP0::127.0.0.1::hislip0," + std::to_string(hislip.port()) + "::INSTR",
    };
    for (const std::string& resource : resources) {
        auto session = visa::ResourceManager().Open(resource, 2000ms);
        session->setTimeout(5000ms);
        session->write("*IDN?");
        EXPECT_EQ(session->read(), "Korvane,MF-7,SIM0001,1.0\n") << resource;
        session->write("DIG:PIN3:FUNC INH");
        session->write("SYST:ERR?");
        EXPECT_EQ(session->read(), "+0,\"No error\"\n") << resource;
        session->write("DIG:PIN3:FUNC?");
        EXPECT_EQ(session->read(), "INH\n") << resource;
        session->close();
    }
}

} // namespace
