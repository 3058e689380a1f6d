#include "cli/CliInstrument.h"

#include "cli/ExitStatus.h"

namespace cli {
namespace {

std::string joined(const std::vector<std::string>& entries, bool truncated) {
    std::string text;
    for (const auto& entry : entries)
        text += (text.empty() ? "" : "; ") + entry;
    if (truncated)
        text += " (further errors were not read)";
    return text;
}

transport::OpenOptions openOptions(const CliArguments& arguments, bool changesPort) {
    transport::OpenOptions options;
    options.timeouts.io = std::chrono::milliseconds(arguments.timeoutMs);
    options.reset = arguments.reset;
    // The transport takes no lock yet (OpenOptions has no exclusiveLock): a change runs unlocked.
    static_cast<void>(changesPort);
    return options;
}

} // namespace

CliInstrument::CliInstrument(const std::string& resource, const CliArguments& arguments, bool changesPort)
    : resource_(resource) {
    try {
        instrument_ = transport::Instrument::open(resource, openOptions(arguments, changesPort));
    } catch (const transport::LockNotGranted& refused) {
        fail(kUnreachable, "locking", refused.reason());
    } catch (const transport::OpenFailure& failure) {
        fail(kUnreachable, "connecting", failure.reason());
    }
}

bool CliInstrument::holdsLock() const {
    return false;
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
    try {
        auto outcome = instrument_->query(text);
        if (outcome.ok())
            return std::move(*outcome.reply);
        auto errors = outcome.readout.errors;
        if (outcome.checkError)
            errors.insert(errors.begin(), *outcome.checkError);
        fail(kInstrumentError, step, joined(errors, outcome.readout.truncated));
    } catch (const transport::InstrumentLost& lost) {
        fail(kUnreachable, step, lost.reason());
    }
}

void CliInstrument::fail(int status, const std::string& step, const std::string& what) const {
    throw CliFailure(static_cast<ExitStatus>(status),
                     "pinwright-cli: " + resource_ + ": " + step + ": " + what);
}

} // namespace cli
