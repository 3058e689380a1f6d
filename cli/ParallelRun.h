#pragma once

#include "cli/CliArguments.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"

#include <memory>
#include <ostream>

namespace visa {
class TraceLog;
}

namespace cli {

// A command on every -r: each instrument opened and worked on by a thread and a transport object of its
// own, at most --jobs at once, so a dead or silent instrument costs its own time-outs and delays no
// other. Results are printed in the order of the -r options: for several, one block each ("== RESOURCE"
// and the result); with --json one object (an array of them for several) with the resource, its
// exitStatus, its errors and always a result ("failed" with the reason when it did not get as far as
// its own) added. Messages follow on err in the same order. One instrument's result
// goes straight to out (input --watch prints as it goes). Returns the highest exit status of any.
// Every resource is checked first: one that can never be opened is kUsageError, and nothing is sent to
// any. Sessions record their traffic in `trace` when there is one.
int runOnResources(const PreparedCommand& command, const CliArguments& arguments,
                   const std::shared_ptr<visa::TraceLog>& trace, std::ostream& out, std::ostream& err);

// With --json, the reports of a command refused before any instrument was opened (a profile that is
// refused, say): one per -r, result "refused" and the reason.
void printRefusedReports(const CliArguments& arguments, const CliFailure& refusal, std::ostream& out);

} // namespace cli
