// pinwright-sim: one simulated mainframe, served over the network until Ctrl-C or SIGTERM.
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
#include <iostream>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

void printLine(const std::string& line) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::cout << line << std::endl;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    sim::ServerOptions options;
    try {
        options = sim::parseServerOptions(arguments);
    } catch (const std::invalid_argument& e) {
        std::cerr << "pinwright-sim: " << e.what() << "\n\n" << sim::serverUsage();
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

    sim::Mainframe mainframe;
    try {
        sim::SocketServer server(mainframe, options.address, options.socketPort, printLine,
                                 sim::socketLimits(options));
        printLine("pinwright-sim: raw SCPI on " + options.address + " port " + std::to_string(server.port()) +
                  "; Ctrl-C stops");
        std::unique_ptr<sim::Vxi11Server> vxi11;
        std::unique_ptr<sim::PortmapServer> portmapper;
        if (options.vxi11) {
            sim::Vxi11Server::Options vxi11Options;
            vxi11Options.limits = sim::lanLimits(options);
            vxi11Options.linksPerConnection = options.linksPerConnection;
            vxi11Options.maxLinks = options.maxLinks;
            vxi11 = std::make_unique<sim::Vxi11Server>(mainframe, options.address, options.vxi11Port,
                                                       vxi11Options, printLine);
            portmapper = std::make_unique<sim::PortmapServer>(options.address, options.portmapPort, printLine,
                                                              sim::lanLimits(options));
            portmapper->registerProgram(protocol::kVxi11CoreProgram, protocol::kVxi11CoreVersion,
                                        protocol::kIpProtoTcp, vxi11->port());
            printLine("pinwright-sim: VXI-11 (inst0) on " + options.address + " port " +
                      std::to_string(vxi11->port()) + ", portmapper on port " +
                      std::to_string(portmapper->port()));
            try {
                if (options.udpPortmap && portmapper->serveUdp()) {
                    printLine("pinwright-sim: portmapper also over UDP, broadcasts included");
                }
            } catch (const std::system_error& e) {
                printLine(std::string("pinwright-sim: portmapper not served over UDP: ") + e.what());
            }
        }
        std::unique_ptr<sim::HislipServer> hislip;
        if (options.hislip) {
            hislip = std::make_unique<sim::HislipServer>(mainframe, options.address, options.hislipPort,
                                                         printLine, sim::lanLimits(options));
            printLine("pinwright-sim: HiSLIP (hislip0) on " + options.address + " port " +
                      std::to_string(hislip->port()));
        }
        std::unique_ptr<sim::ServiceAnnouncer> announcer;
        if (options.announce) {
            sim::MainframeAnnouncement announcement{
                sim::askIdentity(mainframe), server.port(), {}, "inst0", {}};
            if (portmapper) {
                announcement.portmapPort = portmapper->port();
            }
            if (hislip) {
                announcement.hislipPort = hislip->port();
            }
            announcer = sim::ServiceAnnouncer::start(options.address, sim::announcedServices(announcement),
                                                     printLine);
        }
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
        server.stop();
        printLine("pinwright-sim: stopped");
    } catch (const std::exception& e) {
        std::cerr << "pinwright-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
