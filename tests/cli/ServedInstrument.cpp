#include "tests/cli/ServedInstrument.h"

#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/PortmapServer.h"
#include "sim/SocketServer.h"
#include "sim/Vxi11Server.h"
#include "tests/support/FreshBoards.h"

#include <array>
#include <stdexcept>

struct ServedInstrument::Servers {
    std::unique_ptr<sim::SocketServer> socket;
    std::unique_ptr<sim::Vxi11Server> vxi11;
    std::unique_ptr<sim::PortmapServer> portmapper;
    std::unique_ptr<sim::HislipServer> hislip;
};

ServedInstrument::ServedInstrument(Transport transport, unsigned simBoard)
    : servers_(std::make_unique<Servers>()) {
    if (transport == Transport::Sim) {
        boards_ = std::make_unique<FreshBoards>();
        mainframe_ = &boards_->board(simBoard);
        resource_ = "SIM" + std::to_string(simBoard) + "::INSTR";
        return;
    }
    owned_ = std::make_unique<sim::Mainframe>();
    mainframe_ = owned_.get();
    switch (transport) {
    case Transport::Socket:
        servers_->socket = std::make_unique<sim::SocketServer>(*mainframe_, "127.0.0.1", 0);
        resource_ = "TCPIP0::127.0.0.1::" + std::to_string(servers_->socket->port()) + "::SOCKET";
        break;
    case Transport::Vxi11:
        servers_->vxi11 = std::make_unique<sim::Vxi11Server>(*mainframe_);
        try {
            servers_->portmapper = std::make_unique<sim::PortmapServer>("127.0.0.1", protocol::kPortmapPort);
        } catch (const std::exception& error) {
            throw std::runtime_error(
                std::string(error.what()) +
                ": the VXI-11 resource needs the portmapper on port 111 (run as root, no rpcbind)");
        }
        servers_->portmapper->registerProgram(protocol::kVxi11CoreProgram, protocol::kVxi11CoreVersion,
                                              protocol::kIpProtoTcp, servers_->vxi11->port());
        resource_ = "TCPIP0::127.0.0.1::INSTR";
        break;
    case Transport::Hislip:
        servers_->hislip = std::make_unique<sim::HislipServer>(*mainframe_);
        resource_ = "TCPIP0::127.0.0.1::hislip0," + std::to_string(servers_->hislip->port()) + "::INSTR";
        break;
    case Transport::Sim:
        break;
    }
}

ServedInstrument::~ServedInstrument() {
    // Servers first: they serve the mainframe until they stop.
    servers_.reset();
}

std::string ServedInstrument::name(Transport transport) {
    // In the order of Transport's values.
    constexpr std::array<const char*, 4> kNames{"SIM", "SOCKET", "VXI11", "HiSLIP"};
    return kNames[static_cast<std::size_t>(transport)];
}
