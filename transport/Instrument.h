#pragma once

// One open instrument session and the checked exchanges that pass through it. An Instrument owns its
// message session, its time-outs and its resource text and shares nothing with any other: each thread
// that talks to an instrument owns one (pinwright-cli one per resource), and the window holds its one
// in globals. It shows nothing and ends nothing; what happened comes back as values or as the typed
// errors of InstrumentErrors.h, and the caller decides what the user is told.

#include "transport/ExclusiveLock.h"
#include "transport/InstrumentErrors.h"
#include "transport/Outcomes.h"
#include "transport/Timeouts.h"
#include "visa/FormattedIO488.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace visa {
class ResourceManager;
class TraceLog;
} // namespace visa

namespace transport {

// A failed query's readout stops after this many entries: an instrument that reports an empty queue in
// another form would otherwise keep the caller reading for ever.
inline constexpr int kMaxErrorReadout = 100;

struct OpenOptions {
    Timeouts timeouts;
    // Whether "*RST;*CLS" follows the identity exchange.
    bool reset = false;
    // When set, the instrument's exclusive lock is taken as soon as the session is open, before any
    // message, waiting up to this long, and held until the instrument is closed or destroyed. A
    // transport without a lock opens as without it; a lock not granted in time is LockNotGranted.
    std::optional<std::chrono::milliseconds> exclusiveLock;
    // Called with the identity reply as read (terminator included) before any clear is sent; the clear
    // waits until it returns, so a window can show the identity first.
    std::function<void(const std::string& identity)> onIdentified;
    // Where the session records its traffic: the trace of the run that opens it, or none.
    std::shared_ptr<visa::TraceLog> trace;
};

// The second comma-separated field of an identity reply; throws IdentityError when there is none.
std::string modelFromIdentity(const std::string& identity);

class Instrument {
public:
    // Opens the resource, flushes its input, asks "*IDN?" and checks that the reply has a model field,
    // then clears the unit when asked. Throws OpenFailure, whose description says what went wrong
    // (InvalidResource for text that can never be opened, before anything is sent), or LockNotGranted
    // when the lock asked for in the options is not granted in time.
    static std::unique_ptr<Instrument> open(const std::string& resource, const OpenOptions& options);
    static std::unique_ptr<Instrument> open(const std::string& resource, const OpenOptions& options,
                                            visa::ResourceManager& manager);

    // Throws InvalidResource when the text can never be opened, whatever is attached; sends nothing.
    static void checkResource(const std::string& resource);

    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    const std::string& resource() const { return resource_; }
    const std::string& identity() const { return identity_; }
    const Timeouts& timeouts() const { return timeouts_; }

    // Writes the command and "SYST:ERR?" and reads one error-queue entry.
    CommandOutcome command(std::string_view text);
    // As command(), with `thenAsk` (queries joined as one program message) behind the error query in
    // the same message, "SYST:ERR?;:<thenAsk>": what the caller needs next costs no round trip of its
    // own. The entry is the reply up to its first ';' outside a quoted string, the answer the rest.
    CommandOutcome command(std::string_view text, std::string_view thenAsk);
    // Writes the query and returns its reply; after a failed exchange, reads the error queue with one
    // "SYST:ERR?" per entry until it reports no error (readErrorQueue).
    QueryOutcome query(std::string_view text);

    // The query alone: the reply, or nothing when the exchange failed.
    std::optional<std::string> tryQuery(std::string_view text);
    // Asks "SYST:ERR?" and reads its answer, entry by entry, until the queue reports no error; the
    // final no-error reply is not listed.
    ErrorReadout readErrorQueue();
    // Reads an entry that an earlier "SYST:ERR?" left waiting, then asks for more as readErrorQueue
    // does; the first entry is listed even when it is the no-error reply. For a caller that has
    // already asked once, as the window's failed query does.
    ErrorReadout readOutErrorQueue();

    // Whether the transport offers the instrument's exclusive lock (VXI-11, HiSLIP).
    bool canLock() const;
    // Whether the lock asked for at open (OpenOptions::exclusiveLock) is held.
    bool holdsLock() const { return heldLock_.held(); }
    // Takes the exclusive lock, waiting up to lockTimeout while another client holds it; throws
    // LockNotGranted when it is not granted by then. On a transport without a lock the holder is empty
    // and nothing is sent. Keep the holder no longer than the instrument.
    ExclusiveLock lockExclusive(std::chrono::milliseconds lockTimeout);

    // Ends the session; later exchanges throw InstrumentLost. A failure to close passes on as the
    // transport's own error.
    void close();

private:
    Instrument(std::string resource, const Timeouts& timeouts);
    std::string readTrimmed();
    ErrorReadout readQueue(bool answerWaiting);

    std::string resource_;
    Timeouts timeouts_;
    std::string identity_;
    visa::FormattedIO488 io_;
    // Declared after the session so that it is released before the session goes.
    ExclusiveLock heldLock_;
};

} // namespace transport
