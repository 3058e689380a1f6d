// pinwright-sim: simulated mainframes (one, or a rack of --count N), served over the network until Ctrl-C or
// SIGTERM.
#include "base/FiberThread.h"
#include "base/LineWriter.h"
#include "base/ProgramVersion.h"
#include "protocol/Vxi11Messages.h"
#include "sim/HislipServer.h"
#include "sim/Mainframe.h"
#include "sim/MainframeAnnouncement.h"
#include "sim/PortmapServer.h"
#include "sim/ServerOptions.h"
#include "sim/ServiceAnnouncer.h"
#include "sim/SocketServer.h"
#include "sim/Vxi11Server.h"

#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <pthread.h>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

// "inst0", or "inst0 to inst3" for a rack.
std::string namesOf(const std::string& prefix, std::size_t count) {
    return prefix + "0" + (count > 1 ? " to " + prefix + std::to_string(count - 1) : "");
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    sim::ServerOptions options;
    try {
        options = sim::parseServerOptions(arguments);
    } catch (const std::invalid_argument& e) {
        std::cerr << "pinwright-sim: " << e.what() << sim::usageHint() << "\n";
        return 2;
    }
    if (options.help) {
        std::cout << sim::serverUsage();
        return 0;
    }
    if (options.version) {
        std::cout << "pinwright-sim " << kProgramVersion << "\n";
        return 0;
    }

    // Blocked before any thread starts, so only sigwait below ever sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // Every log line goes through a queue to a thread of its own: a reader that stops reading the output
    // costs lines (counted and said to be dropped), never service.
    base::LineWriter output{base::FileDescriptor(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0))};
    const auto printLine = [&output](const std::string& line) {
        output.write(line);
    };

    std::vector<std::unique_ptr<sim::Mainframe>> mainframes;
    std::vector<sim::Mainframe*> rack;
    for (std::size_t i = 0; i < options.count; ++i) {
        mainframes.push_back(
            std::make_unique<sim::Mainframe>(sim::Mainframe::serialNumberFor(options.firstSerial - 1 + i)));
        rack.push_back(mainframes.back().get());
        sim::applyBehaviour(options, *rack.back());
    }
    try {
        // Every raw SCPI connection of the rack is a fiber of this one thread (declared first: it must
        // outlive the servers).
        base::FiberThread socketFibers;
        std::vector<std::unique_ptr<sim::SocketServer>> sockets;
        for (std::size_t i = 0; i < rack.size(); ++i) {
            const auto port =
                static_cast<std::uint16_t>(options.socketPort == 0 ? 0 : options.socketPort + i);
            sockets.push_back(std::make_unique<sim::SocketServer>(*rack[i], options.address, port, printLine,
                                                                  sim::socketLimits(options),
                                                                  &socketFibers.loop()));
            const std::string where = "pinwright-sim: raw SCPI on " + options.address + " port " +
                                      std::to_string(sockets.back()->port());
            printLine(rack.size() == 1
                          ? where
                          : where + " (" + sim::Mainframe::serialNumberFor(options.firstSerial - 1 + i) +
                                ")");
        }
        std::unique_ptr<sim::Vxi11Server> vxi11;
        std::unique_ptr<sim::PortmapServer> portmapper;
        if (options.vxi11) {
            sim::Vxi11Server::Options vxi11Options;
            vxi11Options.limits = sim::lanLimits(options);
            vxi11Options.linksPerConnection = options.linksPerConnection;
            vxi11Options.maxLinks = options.maxLinks;
            vxi11 = std::make_unique<sim::Vxi11Server>(rack, options.address, options.vxi11Port, vxi11Options,
                                                       printLine);
            portmapper = std::make_unique<sim::PortmapServer>(options.address, options.portmapPort, printLine,
                                                              sim::lanLimits(options));
            portmapper->registerProgram(protocol::kVxi11CoreProgram, protocol::kVxi11CoreVersion,
                                        protocol::kIpProtoTcp, vxi11->port());
            printLine("pinwright-sim: VXI-11 (" + namesOf("inst", rack.size()) + ") on " + options.address +
                      " port " + std::to_string(vxi11->port()) + ", portmapper on port " +
                      std::to_string(portmapper->port()));
            try {
                if (options.udpPortmap && portmapper->serveUdp()) {
                    printLine(std::string("pinwright-sim: portmapper also over UDP") +
                              (portmapper->hearsBroadcasts() ? ", broadcasts included" : ""));
                }
            } catch (const std::system_error& e) {
                printLine(std::string("pinwright-sim: portmapper not served over UDP: ") + e.what());
            }
        }
        std::unique_ptr<sim::HislipServer> hislip;
        if (options.hislip) {
            hislip = std::make_unique<sim::HislipServer>(rack, options.address, options.hislipPort, printLine,
                                                         sim::lanLimits(options));
            printLine("pinwright-sim: HiSLIP (" + namesOf("hislip", rack.size()) + ") on " + options.address +
                      " port " + std::to_string(hislip->port()));
        }
        std::unique_ptr<sim::ServiceAnnouncer> announcer;
        if (options.announce) {
            std::vector<sim::AnnouncedService> services;
            for (std::size_t i = 0; i < rack.size(); ++i) {
                sim::MainframeAnnouncement announcement{
                    sim::askIdentity(*rack[i]), sockets[i]->port(), {}, "inst" + std::to_string(i), {}};
                if (portmapper) {
                    announcement.portmapPort = portmapper->port();
                }
                if (hislip) {
                    announcement.hislipPort = hislip->port();
                    announcement.hislipSubAddress = "hislip" + std::to_string(i);
                }
                const auto mainframe = sim::announcedServices(announcement);
                services.insert(services.end(), mainframe.begin(), mainframe.end());
            }
            announcer = sim::ServiceAnnouncer::start(options.address, std::move(services), printLine);
        }
        // Said once everything serves: a server that cannot start ends the program before this.
        printLine("pinwright-sim: " +
                  (rack.size() > 1 ? std::to_string(rack.size()) + " mainframes" : std::string("serving")) +
                  "; Ctrl-C stops");
        int received = 0;
        sigwait(&stopSignals, &received);
        announcer.reset();
        if (hislip) {
            hislip->stop();
        }
        if (portmapper) {
            portmapper->stop();
            vxi11->stop();
        }
        for (const auto& socket : sockets) {
            socket->stop();
        }
        printLine("pinwright-sim: stopped");
    } catch (const std::exception& e) {
        std::cerr << "pinwright-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
