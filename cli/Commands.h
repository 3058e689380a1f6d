#pragma once

#include "cli/CliArguments.h"

#include <functional>
#include <ostream>
#include <string>

namespace cli {

class CliSession;

// What a command does on one open instrument, results to out; returns the exit status.
using CommandAction = std::function<int(CliSession& session, std::ostream& out)>;

// Checks the operands (and reads and checks a profile file) before any instrument is opened, so a
// usage error sends nothing. Throws CliFailure(kUsageError).
CommandAction prepareCommand(const CliArguments& arguments);

// Opens the instrument and runs the action on it. Results go to out, messages to err (each naming the
// resource); every failure becomes its exit status.
int runOnResource(const CommandAction& action, const CliArguments& arguments, const std::string& resource,
                  std::ostream& out, std::ostream& err);

} // namespace cli
