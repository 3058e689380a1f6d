#pragma once

#include "transport/Timeouts.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct CommandDefinition;

// pinwright-cli's command line, checked for shape against the command table (known options and
// commands, operand counts, options that belong to the command); what the operands mean is checked by
// the command. Throws CliFailure(kUsageError) naming what is wrong.
struct CliArguments {
    std::vector<std::string> resources; // every -r in order; PINWRIGHT_RESOURCE when none
    int timeoutMs = static_cast<int>(transport::Timeouts{}.io.count());
    bool timeoutGiven = false; // for a command whose own default differs (find's listening window)
    int jobs = 32;
    int lockTimeoutMs = 10000;
    bool noLock = false;
    bool force = false; // change an instrument that is not known, or whose port did not read back whole
    bool reset = false;
    bool trace = false;
    bool help = false;
    bool version = false;
    bool json = false;                      // show, apply, diff, find
    bool dryRun = false;                    // apply
    bool bits = false;                      // output
    bool watch = false;                     // input
    bool noIdentify = false;                // find
    bool includeBuiltIn = false;            // find
    int intervalMs = 100;                   // input --watch and --wait
    std::optional<std::string> waitPattern; // input --wait
    const CommandDefinition* command = nullptr;
    std::vector<std::string> operands;

    static CliArguments parse(const std::vector<std::string>& arguments, const char* environmentResource);
};

// --help, built from the option and command tables.
std::string cliUsage();

} // namespace cli
