#pragma once

#include <string>
#include <vector>

namespace cli {

// pinwright-cli's command line, checked for shape (known options and commands, operand counts); what
// the operands mean is checked by the command. Throws CliFailure(kUsageError) naming what is wrong.
struct CliArguments {
    std::vector<std::string> resources; // every -r in order; PINWRIGHT_RESOURCE when none
    int timeoutMs = 5000;
    bool timeoutGiven = false; // find listens for 1000 ms unless told otherwise
    bool reset = false;
    bool trace = false;
    bool help = false;
    bool version = false;
    bool json = false;       // show --json
    bool dryRun = false;     // apply --dry-run
    bool bits = false;       // output --bits
    bool noIdentify = false; // find --no-identify
    std::string command;
    std::vector<std::string> operands;

    static CliArguments parse(const std::vector<std::string>& arguments, const char* environmentResource);
};

std::string cliUsage();

} // namespace cli
