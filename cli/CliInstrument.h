#pragma once

#include "cli/CliArguments.h"
#include "cli/ExitStatus.h"
#include "port/PortSession.h"
#include "port/PortWrites.h"

#include <memory>
#include <string>

namespace cli {

// One instrument of one pinwright-cli run, owned by the thread that works on it: the port's session,
// opened as the command line says. Every failure reaches the user once, as
// "pinwright-cli: <resource>: <step>: <the instrument's error or the transport's reason>", with status 1
// for an error the instrument reported or a setting the port's rules refuse, and 3 for an instrument
// that could not be reached or stopped answering (cliFailureOf).
class CliInstrument : public PortSession {
public:
    // With `changesPort` (and without --no-lock) the instrument's exclusive lock is taken first, where
    // the transport has one, waiting up to --lock-timeout. `mayReset`: --reset is sent when given; a dry
    // run opens without it. Sessions record their traffic in `trace` when there is one. Throws
    // PortFailure.
    CliInstrument(const std::string& resource, const CliArguments& arguments, bool changesPort, bool mayReset,
                  std::shared_ptr<visa::TraceLog> trace = nullptr);

    // A failure of this instrument at this step, as thrown, with the tool's exit status.
    [[noreturn]] void fail(int status, const std::string& step, const std::string& what) const;
};

// pinwright-cli's failure for a failure of the port's session: the exit status of its cause.
CliFailure cliFailureOf(const PortFailure& failure);

// How the CLI guards a change: --force, and the refusal says how to force it.
ChangeGuard changeGuard(const CliArguments& arguments);

} // namespace cli
