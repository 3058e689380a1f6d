#pragma once

// One simulated mainframe reachable by a resource string: the built-in SIM board, or pinwright-sim's
// servers on loopback (SOCKET, VXI-11 through the portmapper on port 111, HiSLIP). Servers stop when
// this goes.

#include "sim/Mainframe.h"

#include <memory>
#include <string>

class FreshBoards;

enum class Transport { Sim, Socket, Vxi11, Hislip };

class ServedInstrument {
public:
    ServedInstrument(Transport transport, unsigned simBoard);
    ~ServedInstrument();

    sim::Mainframe& mainframe() { return *mainframe_; }
    const std::string& resource() const { return resource_; }

    static std::string name(Transport transport);

private:
    struct Servers;
    std::unique_ptr<FreshBoards> boards_; // the SIM board's, registered while this lives
    std::unique_ptr<sim::Mainframe> owned_;
    sim::Mainframe* mainframe_ = nullptr;
    std::unique_ptr<Servers> servers_;
    std::string resource_;
};
