#include "transport/Instrument.h"

#include "transport/TransportFailure.h"
#include "visa/ResourceManager.h"
#include "visa/ResourceName.h"
#include "visa/VisaError.h"

#include <algorithm>

namespace transport {
namespace {

// The reply without its terminator. A reply of zero characters means nothing usable arrived.
std::string trimmed(const std::string& resource, std::string reply) {
    if (reply.empty())
        visa::throwVisaError(resource, visa::VisaError::Kind::Protocol,
                             "the power supply sent an empty reply");
    reply.pop_back();
    return reply;
}

// Where an error-queue entry that leads a joined reply ends: its first ';' outside a quoted string
// (a quote inside a string is doubled, which toggles twice).
std::size_t entryEnd(std::string_view reply) {
    bool quoted = false;
    for (std::size_t i = 0; i < reply.size(); ++i) {
        if (reply[i] == '"')
            quoted = !quoted;
        else if (reply[i] == ';' && !quoted)
            return i;
    }
    return std::string_view::npos;
}

[[noreturn]] void lose(const std::string& resource, const visa::VisaError& failure) {
    using Kind = visa::VisaError::Kind;
    const auto cause = failure.kind() == Kind::Timeout          ? InstrumentLost::Cause::StoppedAnswering
                       : failure.kind() == Kind::ConnectionLost ? InstrumentLost::Cause::ConnectionLost
                                                                : InstrumentLost::Cause::Failed;
    throw InstrumentLost(resource, failure.what(), cause);
}

} // namespace

std::string modelFromIdentity(const std::string& identity) {
    const auto first = identity.find(',');
    if (first == std::string::npos)
        throw IdentityError("the identity reply \"" + identity +
                            "\" has no model field (no comma-separated fields)");
    const auto second = identity.find(',', first + 1);
    return identity.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

Instrument::Instrument(std::string resource, const Timeouts& timeouts)
    : resource_(std::move(resource)), timeouts_(timeouts) {}

std::unique_ptr<Instrument> Instrument::open(const std::string& resource, const OpenOptions& options) {
    visa::ResourceManager manager(options.trace);
    return open(resource, options, manager);
}

void Instrument::checkResource(const std::string& resource) {
    try {
        visa::ResourceName::parse(resource);
    } catch (const visa::BadResourceName& invalid) {
        throw InvalidResource(resource, invalid.what());
    }
}

std::unique_ptr<Instrument> Instrument::open(const std::string& resource, const OpenOptions& options,
                                             visa::ResourceManager& manager) {
    std::unique_ptr<Instrument> instrument(new Instrument(resource, options.timeouts));
    auto& io = instrument->io_;
    try {
        io.setIO(manager.Open(resource, options.timeouts.open));
        io.IO().setTimeout(options.timeouts.io);
        if (options.exclusiveLock)
            instrument->heldLock_ = instrument->lockExclusive(*options.exclusiveLock);
        io.FlushRead();
        io.WriteString("*IDN?", true);
        instrument->identity_ = io.ReadString();
        modelFromIdentity(instrument->identity_);
        if (options.onIdentified)
            options.onIdentified(instrument->identity_);
        if (options.reset)
            io.WriteString("*RST;*CLS", true);
    } catch (const OpenFailure&) {
        throw;
    } catch (const visa::BadResourceName& invalid) {
        throw InvalidResource(resource, invalid.what());
    } catch (const LockNotGranted&) {
        throw;
    } catch (const std::exception& failure) {
        // Whatever stopped the open (the transport, an identity without a model, memory) is told as
        // the reason the instrument could not be opened.
        throw OpenFailure(resource, failure.what());
    }
    return instrument;
}

std::string Instrument::readTrimmed() {
    return trimmed(resource_, io_.ReadString());
}

CommandOutcome Instrument::command(std::string_view text) {
    std::string reply;
    try {
        reply = trimmed(resource_, io_.WriteStringsAndRead({text, kErrorQuery}));
    } catch (const visa::VisaError& failure) {
        lose(resource_, failure);
    }
    if (reply == kNoErrorReply)
        return {};
    return {std::move(reply), std::nullopt};
}

CommandOutcome Instrument::command(std::string_view text, std::string_view thenAsk) {
    if (thenAsk.empty())
        return command(text);
    const std::string joined = std::string(kErrorQuery) + ";:" + std::string(thenAsk);
    std::string reply;
    try {
        reply = trimmed(resource_, io_.WriteStringsAndRead({text, joined}));
    } catch (const visa::VisaError& failure) {
        lose(resource_, failure);
    }
    CommandOutcome outcome;
    const std::size_t end = entryEnd(reply);
    if (end != std::string::npos)
        outcome.answer = reply.substr(end + 1);
    reply.resize(std::min(end, reply.size()));
    if (reply != kNoErrorReply)
        outcome.error = std::move(reply);
    return outcome;
}

std::optional<std::string> Instrument::tryQuery(std::string_view text) {
    try {
        return trimmed(resource_, io_.WriteStringsAndRead({text}));
    } catch (const visa::VisaError&) {
        // Typically the instrument refused the query and never answered: its error queue says why.
        return std::nullopt;
    }
}

ErrorReadout Instrument::readErrorQueue() {
    return readQueue(false);
}

ErrorReadout Instrument::readOutErrorQueue() {
    return readQueue(true);
}

ErrorReadout Instrument::readQueue(bool answerWaiting) {
    ErrorReadout readout;
    try {
        std::string latest =
            answerWaiting ? readTrimmed() : trimmed(resource_, io_.WriteStringsAndRead({kErrorQuery}));
        if (answerWaiting || latest != kNoErrorReply)
            readout.errors.push_back(latest);
        while (latest != kNoErrorReply) {
            if (static_cast<int>(readout.errors.size()) >= kMaxErrorReadout) {
                readout.truncated = true;
                break;
            }
            latest = trimmed(resource_, io_.WriteStringsAndRead({kErrorQuery}));
            if (latest != kNoErrorReply)
                readout.errors.push_back(latest);
        }
    } catch (const visa::VisaError& failure) {
        lose(resource_, failure);
    }
    return readout;
}

QueryOutcome Instrument::query(std::string_view text) {
    QueryOutcome outcome;
    outcome.reply = tryQuery(text);
    if (outcome.reply)
        return outcome;
    outcome.readout = readErrorQueue();
    return outcome;
}

bool Instrument::canLock() const {
    return io_.hasIO() && io_.IO().canLock();
}

ExclusiveLock Instrument::lockExclusive(std::chrono::milliseconds lockTimeout) {
    if (!canLock())
        return {};
    try {
        io_.IO().lockExclusive(lockTimeout);
    } catch (const visa::VisaError& failure) {
        if (failure.kind() == visa::VisaError::Kind::LockTimeout)
            throw LockNotGranted(resource_, failure.what());
        lose(resource_, failure);
    }
    return ExclusiveLock(io_.IO(), resource_);
}

void Instrument::close() {
    try {
        heldLock_.release();
    } catch (const InstrumentError&) {
        // The instrument drops the lock with the session, which is closed next either way.
    }
    io_.IO().close();
}

} // namespace transport
