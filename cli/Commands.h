#pragma once

#include "cli/CliArguments.h"

#include <ostream>
#include <string>

namespace cli {

// Runs the command on one instrument: operands and profile files are checked before the session is
// opened, so a usage error sends nothing. Results go to out, messages to err. Returns the exit status,
// or throws CliFailure.
int RunCommand(const CliArguments& arguments, const std::string& resource, std::ostream& out,
               std::ostream& err);

} // namespace cli
