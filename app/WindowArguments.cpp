#include "app/WindowArguments.h"

WindowArguments WindowArguments::parse(const std::vector<std::string>& arguments) {
    WindowArguments parsed;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            parsed.help = true;
        } else if (argument == "--version") {
            parsed.version = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            parsed.error = "unknown option " + argument;
        } else if (parsed.resource) {
            parsed.error =
                "only one resource string may be given (got " + *parsed.resource + " and " + argument + ")";
        } else {
            parsed.resource = argument;
        }
    }
    return parsed;
}

std::string WindowArguments::usage() {
    return "Usage: pinwright [RESOURCE]\n"
           "       pinwright --help | --version\n"
           "\n"
           "Programs the seven-pin digital control port of a Korvane modular power mainframe.\n"
           "RESOURCE fills the connection dialog's resource string (default GPIB0::5::INSTR); nothing is\n"
           "sent until Set is pressed. SIM0::INSTR is the built-in simulated mainframe.\n"
           "\n"
           "Options:\n"
           "  -h, --help     show this help and exit\n"
           "  --version      show the program's version and exit\n"
           "\n"
           "Environment:\n"
           "  PINWRIGHT_TRACE=FILE   append every message written to and read from the instrument to FILE,\n"
           "                         one line each: monotonic microseconds, resource, -> or <-, the text\n"
           "\n"
           "Exit status: 0 normally, 1 communication with the instrument was lost, 2 a wrong command line\n"
           "or no display to open.\n"
           "Scripts and test racks: see pinwright-cli --help.\n";
}
