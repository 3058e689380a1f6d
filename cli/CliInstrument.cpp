#include "cli/CliInstrument.h"

#include "cli/ExitStatus.h"

namespace cli {
namespace {

transport::OpenOptions openOptions(const CliArguments& arguments) {
    transport::OpenOptions options;
    options.timeouts.io = std::chrono::milliseconds(arguments.timeoutMs);
    options.reset = arguments.reset;
    return options;
}

} // namespace

CliInstrument::CliInstrument(const std::string& resource, const CliArguments& arguments, bool changesPort)
    : resource_(resource) {
    try {
        instrument_ = transport::Instrument::open(resource, openOptions(arguments));
        if (changesPort && !arguments.noLock)
            lock_ = instrument_->lockExclusive(std::chrono::milliseconds(arguments.lockTimeoutMs));
    } catch (const transport::LockNotGranted& refused) {
        fail(kUnreachable, "locking", refused.reason());
    } catch (const transport::InstrumentLost& lost) {
        fail(kUnreachable, "locking", lost.reason());
    } catch (const transport::OpenFailure& failure) {
        fail(kUnreachable, "connecting", failure.reason());
    }
}

bool CliInstrument::holdsLock() const {
    return lock_.held();
}

void CliInstrument::command(const std::string& step, const std::string& text) {
    try {
        const auto outcome = instrument_->command(text);
        if (!outcome.ok())
            fail(kInstrumentError, step, *outcome.error);
    } catch (const transport::InstrumentLost& lost) {
        fail(kUnreachable, step, lost.reason());
    }
}

std::string CliInstrument::query(const std::string& step, const std::string& text) {
    if (auto reply = instrument_->tryQuery(text))
        return std::move(*reply);
    // No reply: the instrument's error queue says why, asked one entry at a time. (The window's readout
    // starts with "SYST:ERR?" as a checked command, two queries in a row, and an instrument that drops
    // an unread reply when the next message comes answers only one of them.)
    std::string errors;
    for (int entries = 0;; ++entries) {
        if (entries == transport::kMaxErrorReadout) {
            errors += " (further errors were not read)";
            break;
        }
        const auto entry = instrument_->tryQuery("SYST:ERR?");
        if (!entry)
            fail(kUnreachable, step,
                 "the instrument stopped answering (no reply within " +
                     std::to_string(instrument_->timeouts().io.count()) + " ms)");
        if (*entry == transport::kNoErrorReply)
            break;
        errors += (errors.empty() ? "" : "; ") + *entry;
    }
    fail(kInstrumentError, step,
         errors.empty() ? "no reply, and no error in the instrument's queue" : errors);
}

void CliInstrument::fail(int status, const std::string& step, const std::string& what) const {
    throw CliFailure(static_cast<ExitStatus>(status),
                     "pinwright-cli: " + resource_ + ": " + step + ": " + what);
}

} // namespace cli
