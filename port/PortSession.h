#pragma once

// One open instrument as the port's front ends use it: every exchange names its step ("pin 5 function"),
// every command is checked against the error queue, and every failure is a PortFailure with its cause.
// Owned and used by one thread at a time; it shares nothing with any other session.

#include "port/PortFailure.h"
#include "transport/ExclusiveLock.h"
#include "transport/Timeouts.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace visa {
class TraceLog;
}
namespace transport {
class Instrument;
}

struct SessionOptions {
    transport::Timeouts timeouts;
    // "*RST;*CLS" after the identity.
    bool reset = false;
    // The instrument's lock, taken before any message and held for the session's whole life, where the
    // transport has one.
    std::optional<std::chrono::milliseconds> exclusiveLock;
    // Where the session records its traffic, or none.
    std::shared_ptr<visa::TraceLog> trace;
};

class PortSession {
public:
    // Opens and identifies the instrument. PortFailure: InvalidResource (nothing sent), Unreachable at
    // "connecting", LockNotGranted at "locking".
    PortSession(const std::string& resource, const SessionOptions& options);
    virtual ~PortSession();
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    const std::string& resource() const { return resource_; }
    // The identity reply of the open, without its terminator (the instrument's own text: escape it).
    std::string identity() const;

    // The checked command: the text, then the error-queue entry (InstrumentError when it is an error).
    // With `thenAsk`, those queries are asked in the same exchange and their answer returned; nothing
    // when the reply held none, which leaves whatever the instrument made of them in its error queue.
    std::optional<std::string> command(const std::string& step, const std::string& text,
                                       const std::string& thenAsk = {});
    // The checked query's reply, without its terminator; InstrumentError with the queue's entries when
    // it got none.
    std::string query(const std::string& step, const std::string& text);
    // Reads the error queue until it is empty, for errors the caller's own queries caused.
    void discardErrors();

    // Whether the lock asked for at open is held: no other client can change the port meanwhile.
    bool holdsLock() const;
    // The instrument's lock for one change, where the transport has one (an empty holder elsewhere, or
    // while the session holds it already); LockNotGranted when not granted within `lockTimeout`.
    transport::ExclusiveLock lockForChange(std::chrono::milliseconds lockTimeout);

    // Whether the instrument may be sent queries joined in one program message: until it shows that it
    // cannot take them (answers one in part, or not at all), after which it is sent one at a time.
    bool takesJoinedMessages() const { return takesJoinedMessages_; }
    void noteJoinedMessagesRefused() { takesJoinedMessages_ = false; }

    // A failure of this instrument at this step, as thrown.
    [[noreturn]] void fail(PortFailure::Cause cause, const std::string& step, const std::string& what) const;

private:
    std::string resource_;
    std::unique_ptr<transport::Instrument> instrument_;
    bool takesJoinedMessages_ = true;
};
