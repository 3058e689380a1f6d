#pragma once

// Runs pinwright-cli in this process (so SIM[board]::INSTR keeps its state between runs) or as a
// process of its own (for several -r, which start one process per resource).

#include <string>
#include <vector>

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

CliResult runCliHere(const std::vector<std::string>& arguments);
// The built pinwright-cli, with a bound on its run time; stderr is kept apart from stdout.
CliResult runCliProcess(const std::vector<std::string>& arguments);
// The same in a network namespace of its own with only loopback up, for commands that send broadcasts or
// multicasts (find): nothing leaves the machine. False when no namespace can be made (not root).
bool canRunInOwnNetwork();
CliResult runCliProcessInOwnNetwork(const std::vector<std::string>& arguments);
