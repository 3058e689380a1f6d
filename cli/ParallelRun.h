#pragma once

#include "cli/CliArguments.h"

#include <ostream>
#include <string>

namespace cli {

// show and apply on several instruments at once. The transport holds one session and ends a lost one
// through process-wide handlers, so each instrument gets a process of its own: this program again,
// with one -r and otherwise the same arguments. They run in parallel; their messages go straight to
// standard error (each names its resource), and their results are printed in the order of the -r
// options, one block each ("== RESOURCE" and the result), or for show --json as one JSON array.
// Returns the highest exit status of any of them.
int RunForEachResource(const CliArguments& arguments, const std::string& programPath, std::ostream& out,
                       std::ostream& err);

} // namespace cli
