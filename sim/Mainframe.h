#pragma once

// The simulated mainframe: an IEEE 488.2 message parser in front of a model of the digital port,
// with an error queue, a traffic record and fault injection. Transports (the in-process SIM session,
// the socket, VXI-11 and HiSLIP servers) only move messages in and replies out, each client through a
// ClientSession of its own; everything the instrument does lives here. All public members are
// thread-safe.

#include "sim/FaultInjector.h"
#include "sim/ScpiError.h"
#include "sim/TrafficRecord.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

class ClientSession;

// A reply as it leaves the instrument: the bytes on the wire (terminator included) and how long the
// instrument takes before they are available.
struct Reply {
    std::string bytes;
    std::chrono::milliseconds delay{0};
};

// A copy of the port's state, for tests and for the server's log.
struct PortState {
    std::string pinFunction[8];  // index 1..7: "DIO", "DINP", "TOUT", "TINP", "FAUL", "INH", "ONC", "OFFC"
    std::string pinPolarity[8];  // index 1..7: "POS" or "NEG"
    int outputWord = 0;          // 0..127
    int externalInputLevels = 0; // levels seen on the non-DIO pins, bit n-1 for pin n
    std::string inhibitMode;     // "LIVE", "LATC" or "OFF"

    bool operator==(const PortState&) const = default;
};

// What the instrument's lock looks like to a client asking about it (HiSLIP's lock information).
struct LockInfo {
    bool exclusive = false;  // a client holds the exclusive lock
    std::size_t holders = 0; // clients holding a lock
};

enum class LockOutcome { Granted, AlreadyHeld, TimedOut };

// Asked now and then while a client waits for the lock; false ends the wait (the client has gone, the
// server stops).
using StillWanted = std::function<bool()>;

class Mainframe {
public:
    // The input buffer's size: a longer message is refused with "Too much data".
    static constexpr std::size_t kMaxMessageBytes = 64 * 1024;

    explicit Mainframe(std::string serialNumber = "SIM0001");
    ~Mainframe();
    Mainframe(const Mainframe&) = delete;
    Mainframe& operator=(const Mainframe&) = delete;

    // The mainframe's own session, for tests and whoever drives the instrument directly: no client's
    // lock holds it back. Every other client opens a ClientSession of its own.
    ClientSession& session() { return *own_; }

    // One complete program message from the own session (a trailing LF or CR LF is not part of the
    // message; it is removed if present), the way tests arrange the instrument. Queries in it produce
    // one reply, joined by ";" and ended by one LF, which waits in session(). A message that arrives
    // while a reply is unread discards that reply and queues -410.
    void receive(std::string_view message);

    TrafficRecord& traffic();
    FaultInjector& faults();

    PortState state() const;
    void setState(const PortState& state);   // tests arrange the instrument's state directly
    void setExternalInputLevels(int levels); // bit n-1 = level on pin n for pins that are not DIO
    std::size_t errorCount() const;

    // For transports: an error the transport detected on the instrument's behalf (e.g. -223 for an
    // oversized message it refused to buffer).
    void queueError(const ScpiError& error);

    // Power-on state: factory pin setup, empty error queue, no pending reply in any session; the
    // record and the fault injector are cleared too. A lock stays with its holder.
    void reset();

    LockInfo lockInfo() const;
    // Clients waiting for another's lock to be released, on threads and fibers alike: what a test
    // waits for before it acts on a waiter.
    std::size_t lockWaiters() const;

    // "SIM0001" for the first mainframe of a rack, "SIM0002" for the second...
    static std::string serialNumberFor(unsigned index);

private:
    friend class ClientSession;
    void join(ClientSession& session);
    void leave(ClientSession& session);
    void receive(ClientSession& session, std::string_view message);
    void receiveLocked(ClientSession& session, std::string_view message); // the mutex held
    std::optional<Reply> takeReply(ClientSession& session);
    bool replyPending(const ClientSession& session) const;
    bool hangUpRequested(ClientSession& session);
    void discardReply(ClientSession& session);
    bool receiveWhenUnlocked(ClientSession& session, std::string_view message,
                             std::optional<std::chrono::milliseconds> timeout,
                             const StillWanted& stillWanted);
    LockOutcome lock(ClientSession& session, std::chrono::milliseconds timeout,
                     const StillWanted& stillWanted);
    bool unlock(ClientSession& session);
    bool holdsLock(const ClientSession& session) const;
    bool awaitAccess(const ClientSession& session, std::optional<std::chrono::milliseconds> timeout,
                     const StillWanted& stillWanted);

    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<ClientSession> own_; // after impl_: it detaches from it
};

} // namespace sim
