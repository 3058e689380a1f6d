#include "port/PortSession.h"

#include "transport/Instrument.h"

namespace {

transport::OpenOptions openOptions(const SessionOptions& options) {
    transport::OpenOptions open;
    open.timeouts = options.timeouts;
    open.reset = options.reset;
    open.exclusiveLock = options.exclusiveLock;
    open.trace = options.trace;
    return open;
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

PortSession::PortSession(const std::string& resource, const SessionOptions& options) : resource_(resource) {
    using Cause = PortFailure::Cause;
    try {
        instrument_ = transport::Instrument::open(resource, openOptions(options));
    } catch (const transport::InvalidResource& invalid) {
        fail(Cause::InvalidResource, "connecting", invalid.reason());
    } catch (const transport::LockNotGranted& refused) {
        fail(Cause::LockNotGranted, "locking", refused.reason());
    } catch (const transport::OpenFailure& failure) {
        fail(Cause::Unreachable, "connecting", failure.reason());
    }
}

PortSession::~PortSession() = default;

std::string PortSession::identity() const {
    std::string reply = instrument_->identity();
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r'))
        reply.pop_back();
    return reply;
}

bool PortSession::holdsLock() const {
    return instrument_->holdsLock();
}

transport::ExclusiveLock PortSession::lockForChange(std::chrono::milliseconds lockTimeout) {
    if (holdsLock())
        return {};
    try {
        return instrument_->lockExclusive(lockTimeout);
    } catch (const transport::LockNotGranted& refused) {
        fail(PortFailure::Cause::LockNotGranted, "locking", refused.reason());
    } catch (const transport::InstrumentLost& lost) {
        fail(PortFailure::Cause::Lost, "locking", lost.reason());
    }
}

std::optional<std::string> PortSession::command(const std::string& step, const std::string& text,
                                                const std::string& thenAsk) {
    try {
        auto outcome = instrument_->command(text, thenAsk);
        if (!outcome.ok())
            fail(PortFailure::Cause::InstrumentError, step, *outcome.error);
        return std::move(outcome.answer);
    } catch (const transport::InstrumentLost& lost) {
        fail(PortFailure::Cause::Lost, step, lost.reason());
    }
}

void PortSession::discardErrors() {
    try {
        instrument_->readErrorQueue();
    } catch (const transport::InstrumentLost& lost) {
        fail(PortFailure::Cause::Lost, "reading the error queue", lost.reason());
    }
}

std::string PortSession::query(const std::string& step, const std::string& text) {
    try {
        auto outcome = instrument_->query(text);
        if (!outcome.ok())
            fail(PortFailure::Cause::InstrumentError, step, errorsOf(outcome.readout));
        return std::move(*outcome.reply);
    } catch (const transport::InstrumentLost& lost) {
        fail(PortFailure::Cause::Lost, step, lost.reason());
    }
}

void PortSession::fail(PortFailure::Cause cause, const std::string& step, const std::string& what) const {
    throw PortFailure(cause, resource_, step, what);
}
