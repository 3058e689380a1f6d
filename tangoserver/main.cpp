// pinwright-tango: the Tango device server of Korvane mainframes' digital ports, one PinwrightPort device
// per mainframe. Started as Tango servers are: pinwright-tango INSTANCE [-file=DEVICES.db | -nodb -dlist ...]
// [-ORBendPoint giop:tcp:HOST:PORT].

#include "base/ProgramVersion.h"
#include "simbackend/SimBackend.h"
#include "simbackend/SimBoards.h"
#include "tangoserver/PinwrightPortClass.h"

#include <cstring>
#include <iostream>
#include <memory>
#include <tango.h>

namespace {

constexpr const char* kUsage =
    "Usage: pinwright-tango INSTANCE [-file=DEVICES.db | -nodb -dlist DEVICE,...] [-ORBendPoint "
    "giop:tcp:HOST:PORT]\n"
    "       pinwright-tango --help | --version\n"
    "\n"
    "Serves the digital control port of Korvane modular power mainframes to Tango clients: one device of\n"
    "class PinwrightPort per mainframe, with the attributes Identity, Pin1Function to Pin7Function,\n"
    "Pin1Polarity to Pin7Polarity, OutputWord, InputWord (polled, with change events) and InhibitMode, and\n"
    "the commands Apply, Diff and Plan (a profile as JSON in, the report as JSON out).\n"
    "\n"
    "The devices and their properties come from the Tango database named by TANGO_HOST, or from a file\n"
    "database (-file=). Device properties: Resource (the mainframe's VISA resource string, SIM0::INSTR for\n"
    "the built-in simulated one), Timeout (ms, default 2000), LockTimeout (ms, default 2000),\n"
    "InputPollPeriod (ms, default 200; 0 polls nothing). Every other option is Tango's own.\n"
    "\n"
    "Example:\n"
    "  tango_admin --add-server pinwright-tango/rack1 PinwrightPort lab/port/mf1\n"
    "  tango_admin --add-property lab/port/mf1 Resource TCPIP0::10.1.2.3::INSTR\n"
    "  pinwright-tango rack1                      # or: systemctl enable --now pinwright-tango@rack1\n"
    "\n"
    "Exit status: 0 stopped (by the Tango administration device's Kill command or a signal), 1 the server\n"
    "could not start (for example its name is not in the database)\n";

} // namespace

void Tango::DServer::class_factory() {
    add_class(new tangoserver::PinwrightPortClass("PinwrightPort"));
}

int main(int argc, char* argv[]) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "pinwright-tango " << kProgramVersion << "\n";
        return 0;
    }
    // SIM0::INSTR and its siblings: simulated mainframes inside this server, for trying a set-up.
    simbackend::registerSimBackend(std::make_shared<simbackend::SimBoards>());
    Tango::Util* util = nullptr;
    try {
        util = Tango::Util::init(argc, argv);
        util->server_init(false);
        std::cout << "pinwright-tango: ready to accept requests" << std::endl;
        util->server_run();
    } catch (const std::bad_alloc&) {
        std::cerr << "pinwright-tango: out of memory" << std::endl;
        return 1;
    } catch (const CORBA::Exception& e) {
        Tango::Except::print_exception(e);
        std::cerr << "pinwright-tango: exiting" << std::endl;
        if (util != nullptr)
            util->server_cleanup();
        return 1;
    }
    util->server_cleanup();
    return 0;
}
