#include "sim/Mainframe.h"

#include "base/WaitCondition.h"
#include "sim/ClientSession.h"
#include "sim/CommandSet.h"
#include "sim/MessageParser.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often a waiting client asks whether it is still wanted: a client that goes away or a server that
// stops cannot wake the condition variable itself.
constexpr milliseconds kStillWantedInterval{50};

std::string_view withoutTerminator(std::string_view message) {
    if (message.ends_with('\n')) {
        message.remove_suffix(1);
        if (message.ends_with('\r')) {
            message.remove_suffix(1);
        }
    }
    return message;
}

template <typename Enum>
Enum enumFromWord(std::string_view word, std::span<const std::string_view> keywords) {
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        if (word == wordFor(static_cast<Enum>(i))) {
            return static_cast<Enum>(i);
        }
    }
    throw std::invalid_argument("Mainframe::setState: unknown word \"" + std::string(word) + "\"");
}

} // namespace

struct Mainframe::Impl {
    explicit Impl(const std::string& serialNumber)
        : commands(state, "Korvane,MF-7," + serialNumber + ",1.0") {}

    void report(const ScpiError& error) {
        state.errors.push(error);
        state.eventStatus.record(error);
    }

    // The units of the message that the instrument takes, with the error for what it does not, as its
    // habits (lesser instruments) say.
    struct TakenUnits {
        std::vector<std::string_view> units;
        std::optional<ScpiError> rest;
    };
    TakenUnits takenUnits(std::string_view message) const {
        if (faults.armed(Fault::SmallInputBuffer) && message.size() > FaultInjector::kSmallInputBuffer) {
            // The buffer filled in the middle of a unit: that unit and everything after it are lost,
            // unless the unit ended exactly where the buffer did.
            auto units = MessageParser::splitUnits(message.substr(0, FaultInjector::kSmallInputBuffer));
            if (message[FaultInjector::kSmallInputBuffer] != ';') {
                units.pop_back();
            }
            return {std::move(units), errors::kInputBufferOverrun};
        }
        auto units = MessageParser::splitUnits(message);
        if (faults.armed(Fault::OneUnitPerMessage) && units.size() > 1) {
            units.resize(1);
            return {std::move(units), errors::kSyntax};
        }
        return {std::move(units), std::nullopt};
    }

    // Runs every unit of the message and returns the replies of its queries, in order.
    std::vector<std::string> execute(std::string_view message) {
        std::vector<std::string> replies;
        std::vector<HeaderNode> path;
        const TakenUnits taken = takenUnits(message);
        const bool refusesRoot = faults.armed(Fault::RefuseRootSpecifier);
        for (const auto text : taken.units) {
            const ParsedUnit parsed = MessageParser::parseUnit(text);
            if (parsed.blank) {
                continue;
            }
            if (parsed.error || (refusesRoot && parsed.unit.rooted)) {
                report(parsed.error.value_or(errors::kUndefinedHeader));
                continue;
            }
            Outcome outcome = commands.table().dispatch(parsed.unit, path);
            if (outcome.error) {
                report(*outcome.error);
            } else if (parsed.unit.query) {
                replies.push_back(std::move(outcome.reply));
            }
        }
        if (taken.rest) {
            report(*taken.rest);
        }
        return replies;
    }

    void queueReply(std::optional<Reply>& pending, const std::vector<std::string>& replies) {
        if (replies.empty() || faults.consume(Fault::DropReply)) {
            return;
        }
        std::string bytes;
        if (faults.consume(Fault::Garbage)) {
            bytes = FaultInjector::kGarbage;
        } else {
            for (const auto& reply : replies) {
                bytes += bytes.empty() ? reply : ";" + reply;
            }
        }
        bytes += faults.consume(Fault::CrLfTerminator) ? "\r\n" : "\n";
        const auto delay = faults.consume(Fault::DelayReply) ? faults.delay() : std::chrono::milliseconds{0};
        pending = Reply{std::move(bytes), delay};
    }

    // Waits, with `lock` held, until no client other than `session` holds the instrument's lock.
    // False when the time-out (nullopt: none) or stillWanted ends the wait first. A client on a fiber
    // waits through its loop and is resumed by the release like a thread (base::WaitCondition).
    bool waitForAccess(std::unique_lock<std::mutex>& lock, const ClientSession& session,
                       std::optional<milliseconds> timeout, const StillWanted& stillWanted) {
        const std::optional<Clock::time_point> deadline =
            timeout ? std::optional(Clock::now() + *timeout) : std::nullopt;
        while (holder != nullptr && holder != &session) {
            const auto now = Clock::now();
            if (deadline && now >= *deadline) {
                return false;
            }
            if (stillWanted) {
                lock.unlock();
                const bool wanted = stillWanted();
                lock.lock();
                if (!wanted) {
                    return false;
                }
            }
            const auto wake = now + kStillWantedInterval;
            lockChanged.waitUntil(lock, deadline ? std::min(*deadline, wake) : wake);
        }
        return true;
    }

    void release(const ClientSession& session) {
        if (holder == &session) {
            holder = nullptr;
            lockChanged.notifyAll();
        }
    }

    mutable std::mutex mutex;
    base::WaitCondition lockChanged;
    const ClientSession* holder = nullptr; // the client holding the exclusive lock
    InstrumentState state;
    CommandSet commands;
    std::set<ClientSession*> sessions;
    TrafficRecord traffic;
    FaultInjector faults;
};

Mainframe::Mainframe(std::string serialNumber)
    : impl_(std::make_unique<Impl>(serialNumber)), own_(std::make_unique<ClientSession>(*this)) {}

Mainframe::~Mainframe() {
    own_.reset();
}

void Mainframe::join(ClientSession& session) {
    std::lock_guard lock(impl_->mutex);
    impl_->sessions.insert(&session);
}

void Mainframe::leave(ClientSession& session) {
    std::lock_guard lock(impl_->mutex);
    impl_->sessions.erase(&session);
    impl_->release(session);
}

void Mainframe::receive(std::string_view message) {
    own_->receive(message);
}

void Mainframe::receive(ClientSession& session, std::string_view message) {
    std::lock_guard lock(impl_->mutex);
    receiveLocked(session, message);
}

bool Mainframe::receiveWhenUnlocked(ClientSession& session, std::string_view message,
                                    std::optional<milliseconds> timeout, const StillWanted& stillWanted) {
    std::unique_lock lock(impl_->mutex);
    if (!impl_->waitForAccess(lock, session, timeout, stillWanted)) {
        return false;
    }
    receiveLocked(session, message);
    return true;
}

LockOutcome Mainframe::lock(ClientSession& session, milliseconds timeout, const StillWanted& stillWanted) {
    std::unique_lock lock(impl_->mutex);
    if (impl_->holder == &session) {
        return LockOutcome::AlreadyHeld;
    }
    if (!impl_->waitForAccess(lock, session, timeout, stillWanted)) {
        return LockOutcome::TimedOut;
    }
    impl_->holder = &session;
    return LockOutcome::Granted;
}

bool Mainframe::unlock(ClientSession& session) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->holder != &session) {
        return false;
    }
    impl_->release(session);
    return true;
}

bool Mainframe::holdsLock(const ClientSession& session) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->holder == &session;
}

bool Mainframe::awaitAccess(const ClientSession& session, std::optional<milliseconds> timeout,
                            const StillWanted& stillWanted) {
    std::unique_lock lock(impl_->mutex);
    return impl_->waitForAccess(lock, session, timeout, stillWanted);
}

std::size_t Mainframe::lockWaiters() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lockChanged.waiting();
}

LockInfo Mainframe::lockInfo() const {
    std::lock_guard lock(impl_->mutex);
    const bool held = impl_->holder != nullptr;
    return LockInfo{held, held ? 1u : 0u};
}

std::string Mainframe::serialNumberFor(unsigned index) {
    char text[24];
    std::snprintf(text, sizeof text, "SIM%04lu", static_cast<unsigned long>(index) + 1);
    return text;
}

void Mainframe::receiveLocked(ClientSession& session, std::string_view message) {
    message = withoutTerminator(message);
    impl_->traffic.add(TrafficRecord::Direction::Received, std::string(message));
    if (!impl_->faults.consume(Fault::StopAnswering)) {
        if (session.pending_) {
            session.pending_.reset();
            impl_->report(errors::kQueryInterrupted);
        }
        if (message.size() > kMaxMessageBytes) {
            impl_->report(errors::kTooMuchData);
        } else {
            impl_->queueReply(session.pending_, impl_->execute(message));
        }
    }
    if (impl_->faults.consume(Fault::CloseConnection)) {
        session.hangUp_ = true;
    }
}

std::optional<Reply> Mainframe::takeReply(ClientSession& session) {
    std::lock_guard lock(impl_->mutex);
    if (!session.pending_ || impl_->faults.armed(Fault::StopAnswering)) {
        return std::nullopt;
    }
    Reply reply = std::move(*session.pending_);
    session.pending_.reset();
    impl_->traffic.add(TrafficRecord::Direction::Sent, reply.bytes);
    return reply;
}

bool Mainframe::replyPending(const ClientSession& session) const {
    std::lock_guard lock(impl_->mutex);
    return session.pending_.has_value() && !impl_->faults.armed(Fault::StopAnswering);
}

bool Mainframe::hangUpRequested(ClientSession& session) {
    std::lock_guard lock(impl_->mutex);
    return std::exchange(session.hangUp_, false);
}

void Mainframe::discardReply(ClientSession& session) {
    std::lock_guard lock(impl_->mutex);
    session.pending_.reset();
}

TrafficRecord& Mainframe::traffic() {
    return impl_->traffic;
}

FaultInjector& Mainframe::faults() {
    return impl_->faults;
}

PortState Mainframe::state() const {
    std::lock_guard lock(impl_->mutex);
    const PortModel& port = impl_->state.port;
    PortState state;
    for (int pin = 1; pin <= PortModel::kPinCount; ++pin) {
        state.pinFunction[pin] = wordFor(port.function(pin));
        state.pinPolarity[pin] = wordFor(port.polarity(pin));
    }
    state.outputWord = port.outputWord();
    state.externalInputLevels = port.externalLevels();
    state.inhibitMode = wordFor(port.inhibitMode());
    return state;
}

void Mainframe::setState(const PortState& state) {
    // Build the whole state before touching the model, so a bad one leaves the instrument as it was.
    // A state the hardware cannot be in (FAUL on pin 2) is a mistake in the test that arranges it.
    PortModel port;
    for (int pin = 1; pin <= PortModel::kPinCount; ++pin) {
        const auto function = enumFromWord<PinFunction>(state.pinFunction[pin], pinFunctionKeywords());
        if (port.setFunction(pin, function)) {
            throw std::invalid_argument("Mainframe::setState: pin " + std::to_string(pin) + " cannot be " +
                                        state.pinFunction[pin]);
        }
        port.setPolarity(pin, enumFromWord<Polarity>(state.pinPolarity[pin], polarityKeywords()));
    }
    if (port.setOutputWord(state.outputWord)) {
        throw std::invalid_argument("Mainframe::setState: output word " + std::to_string(state.outputWord) +
                                    " is not within 0..127");
    }
    port.setExternalLevels(state.externalInputLevels);
    port.setInhibitMode(enumFromWord<InhibitMode>(state.inhibitMode, inhibitModeKeywords()));
    std::lock_guard lock(impl_->mutex);
    impl_->state.port = port;
}

void Mainframe::setExternalInputLevels(int levels) {
    std::lock_guard lock(impl_->mutex);
    impl_->state.port.setExternalLevels(levels);
}

std::size_t Mainframe::errorCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state.errors.size();
}

void Mainframe::queueError(const ScpiError& error) {
    std::lock_guard lock(impl_->mutex);
    impl_->report(error);
}

void Mainframe::reset() {
    std::lock_guard lock(impl_->mutex);
    impl_->state.port.restoreFactorySetup();
    impl_->state.errors.clear();
    impl_->state.eventStatus.clear();
    for (ClientSession* session : impl_->sessions) {
        session->pending_.reset();
        session->hangUp_ = false;
    }
    impl_->traffic.clear();
    impl_->faults.clear();
}

} // namespace sim
