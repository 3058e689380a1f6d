#include "cli/CliInstrument.h"

namespace cli {
namespace {

SessionOptions sessionOptions(const CliArguments& arguments, bool changesPort, bool mayReset,
                              std::shared_ptr<visa::TraceLog> trace) {
    SessionOptions options;
    options.timeouts.io = std::chrono::milliseconds(arguments.timeoutMs);
    options.reset = arguments.reset && mayReset;
    // Before *IDN?: an instrument locked by another VXI-11 link refuses every write until it is free.
    if (changesPort && !arguments.noLock)
        options.exclusiveLock = std::chrono::milliseconds(arguments.lockTimeoutMs);
    options.trace = std::move(trace);
    return options;
}

ExitStatus statusOf(PortFailure::Cause cause) {
    switch (cause) {
    case PortFailure::Cause::InvalidResource:
        return kUsageError;
    case PortFailure::Cause::InstrumentError:
    case PortFailure::Cause::Refused:
        return kInstrumentError;
    case PortFailure::Cause::Unreachable:
    case PortFailure::Cause::LockNotGranted:
    case PortFailure::Cause::Lost:
        break;
    }
    return kUnreachable;
}

} // namespace

CliInstrument::CliInstrument(const std::string& resource, const CliArguments& arguments, bool changesPort,
                             bool mayReset, std::shared_ptr<visa::TraceLog> trace)
    : PortSession(resource, sessionOptions(arguments, changesPort, mayReset, std::move(trace))) {}

void CliInstrument::fail(int status, const std::string& step, const std::string& what) const {
    throw CliFailure(static_cast<ExitStatus>(status),
                     std::string("pinwright-cli: ") +
                         PortFailure(PortFailure::Cause::InstrumentError, resource(), step, what).what());
}

CliFailure cliFailureOf(const PortFailure& failure) {
    return CliFailure(statusOf(failure.cause()), std::string("pinwright-cli: ") + failure.what());
}

ChangeGuard changeGuard(const CliArguments& arguments) {
    ChangeGuard guard(arguments.force);
    guard.nothingSent = "; nothing was sent (--force sends anyway)";
    return guard;
}

} // namespace cli
