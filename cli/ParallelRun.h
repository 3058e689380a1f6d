#pragma once

#include "cli/CliArguments.h"
#include "cli/Commands.h"

#include <ostream>

namespace cli {

// show and apply on several instruments at once: one thread and one session per instrument, all in
// this process. The transport's notice and lost-communication handlers are per thread and opening is
// one at a time (it replaces the transport's shared resource manager object); after that each thread
// only touches its own session. Results are printed in the order of the -r options, one block each
// ("== RESOURCE" and the result), or for show --json as one JSON array with an exitStatus per object;
// each thread's messages follow in the same order. Returns the highest exit status of any of them.
int runForEachResource(const CommandAction& action, const CliArguments& arguments, std::ostream& out,
                       std::ostream& err);

} // namespace cli
