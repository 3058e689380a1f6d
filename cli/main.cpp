// pinwright-cli: the digital port of a Korvane mainframe from scripts and test racks, through the same
// command set and checked transport as the pinwright window.
#include "cli/CliMain.h"
#include "simbackend/SimBackend.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    simbackend::registerSimBackend();
    return cli::runCli(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
