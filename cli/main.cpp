// pinwright-cli: the digital port of a Korvane mainframe from scripts and test racks, through the same
// command set and checked transport as the pinwright window.
#include "cli/CliMain.h"
#include "simbackend/BoardStateFile.h"
#include "simbackend/SimBackend.h"
#include "simbackend/SimBoards.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    // Each call is a program of its own, so the built-in board keeps its settings in the user's state
    // directory, as a mainframe left switched on keeps them between scripts.
    const auto stateDirectory = simbackend::userStateDirectory();
    simbackend::registerSimBackend(stateDirectory ? std::make_shared<simbackend::SimBoards>(*stateDirectory)
                                                  : std::make_shared<simbackend::SimBoards>());
    return cli::runCli(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
