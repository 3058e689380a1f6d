#include "cli/CliInstrument.h"

#include "base/PrintableText.h"
#include "cli/ExitStatus.h"

namespace cli {
namespace {

constexpr std::size_t kMaxMessageChars = 1000;

transport::OpenOptions openOptions(const CliArguments& arguments, bool changesPort, bool mayReset) {
    transport::OpenOptions options;
    options.timeouts.io = std::chrono::milliseconds(arguments.timeoutMs);
    options.reset = arguments.reset && mayReset;
    // Before *IDN?: an instrument locked by another VXI-11 link refuses every write until it is free.
    if (changesPort && !arguments.noLock)
        options.exclusiveLock = std::chrono::milliseconds(arguments.lockTimeoutMs);
    return options;
}

// What the error queue said after a query that got no reply.
std::string errorsOf(const transport::ErrorReadout& readout) {
    std::string text;
    for (const auto& entry : readout.errors)
        text += (text.empty() ? "" : "; ") + entry;
    if (text.empty())
        return "no reply, and no error in the instrument's queue";
    return readout.truncated ? text + " (further errors were not read)" : text;
}

} // namespace

CliInstrument::CliInstrument(const std::string& resource, const CliArguments& arguments, bool changesPort,
                             bool mayReset, std::shared_ptr<visa::TraceLog> trace)
    : resource_(resource) {
    auto options = openOptions(arguments, changesPort, mayReset);
    options.trace = std::move(trace);
    try {
        instrument_ = transport::Instrument::open(resource, options);
    } catch (const transport::InvalidResource& invalid) {
        throw CliFailure(kUsageError, "pinwright-cli: " + invalid.reason());
    } catch (const transport::LockNotGranted& refused) {
        fail(kUnreachable, "locking", refused.reason());
    } catch (const transport::OpenFailure& failure) {
        fail(kUnreachable, "connecting", failure.reason());
    }
}

std::string CliInstrument::identity() const {
    std::string reply = instrument_->identity();
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r'))
        reply.pop_back();
    return reply;
}

bool CliInstrument::holdsLock() const {
    return instrument_->holdsLock();
}

std::optional<std::string> CliInstrument::command(const std::string& step, const std::string& text,
                                                  const std::string& thenAsk) {
    try {
        auto outcome = instrument_->command(text, thenAsk);
        if (!outcome.ok())
            fail(kInstrumentError, step, *outcome.error);
        return std::move(outcome.answer);
    } catch (const transport::InstrumentLost& lost) {
        fail(kUnreachable, step, lost.reason());
    }
}

void CliInstrument::discardErrors() {
    try {
        instrument_->readErrorQueue();
    } catch (const transport::InstrumentLost& lost) {
        fail(kUnreachable, "reading the error queue", lost.reason());
    }
}

std::string CliInstrument::query(const std::string& step, const std::string& text) {
    try {
        auto outcome = instrument_->query(text);
        if (!outcome.ok())
            fail(kInstrumentError, step, errorsOf(outcome.readout));
        return std::move(*outcome.reply);
    } catch (const transport::InstrumentLost& lost) {
        fail(kUnreachable, step, lost.reason());
    }
}

void CliInstrument::fail(int status, const std::string& step, const std::string& what) const {
    throw CliFailure(static_cast<ExitStatus>(status),
                     "pinwright-cli: " + resource_ + ": " + step + ": " +
                         base::printableText(what, kMaxMessageChars, base::Unprintable::HexEscape));
}

} // namespace cli
