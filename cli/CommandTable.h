#pragma once

// Every pinwright-cli command, once: its name, operands, the options that belong to it, how many
// instruments it works on, its help and what runs it. The parser, --help and the dispatch all read this
// table; a new command is one row (and its prepare function).

#include "cli/CliArguments.h"

#include <cstddef>
#include <functional>
#include <ostream>
#include <span>
#include <string_view>
#include <vector>

namespace cli {

class CliInstrument;

// What a command does on one open instrument; results to out, messages through the instrument. Returns
// the exit status.
using InstrumentAction = std::function<int(CliInstrument& instrument, std::ostream& out)>;
// A command that opens no instrument of a given resource.
using StandaloneAction = std::function<int(std::ostream& out, std::ostream& err)>;

// A command whose operands are checked (and whose profile is read) before anything is opened: exactly
// one of the two actions is set. A command that changes the port holds the instrument's exclusive lock
// from the moment it is connected until it is done, so that its read, check and write are one step for
// every other client.
struct PreparedCommand {
    InstrumentAction onEachInstrument;
    StandaloneAction standalone;
    bool changesPort = false;
    // A plan that sends nothing that changes the instrument: --reset is not sent either.
    bool planOnly = false;
};

enum class ResourceUse { None, One, Several };

struct CommandDefinition {
    const char* name;
    const char* synopsis; // operands and own options, as --help shows them after the name
    const char* help;     // lines of the description, without indentation
    std::size_t minOperands;
    std::size_t maxOperands;
    ResourceUse resources;
    std::vector<std::string_view> options; // long names of the options that belong to this command
    // Checks the operands; throws CliFailure(kUsageError), having sent nothing.
    PreparedCommand (*prepare)(const CliArguments& arguments);
};

std::span<const CommandDefinition> commandTable();
const CommandDefinition* findCommand(std::string_view name);

} // namespace cli
