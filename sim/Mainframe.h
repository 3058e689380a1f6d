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

    // The members below that take messages and replies serve the mainframe's own session (tests, and
    // whoever drives the instrument directly), which no client's lock holds back; every other client
    // opens a ClientSession.

    // One complete program message as received (a trailing LF or CR LF is not part of the message;
    // it is removed if present). Queries in it produce one reply, joined by ";" and ended by one LF.
    // A message that arrives while a reply is unread discards that reply and queues -410.
    void receive(std::string_view message);

    // The reply waiting to be read, taken off the output queue; nullopt when there is none (or the
    // fault injector dropped it or made the instrument stop answering).
    std::optional<Reply> takeReply();
    bool replyPending() const;

    // True once a CloseConnection fault fired: the transport must drop its connection now. Reading
    // it clears it, so the next connection is not dropped too.
    bool hangUpRequested();

    TrafficRecord& traffic();
    FaultInjector& faults();

    PortState state() const;
    void setState(const PortState& state);   // tests arrange the instrument's state directly
    void setExternalInputLevels(int levels); // bit n-1 = level on pin n for pins that are not DIO
    std::size_t errorCount() const;

    // For transports: an error the transport detected on the instrument's behalf (e.g. -223 for an
    // oversized message it refused to buffer), and the device clear that drops an unread reply
    // without an error when the connection goes away.
    void queueError(const ScpiError& error);
    void discardReply();

    // Power-on state: factory pin setup, empty error queue, no pending reply in any session; the
    // record and the fault injector are cleared too. A lock stays with its holder.
    void reset();

    LockInfo lockInfo() const;

    // "SIM0001" for the first mainframe of a rack, "SIM0002" for the second...
    static std::string serialNumberFor(unsigned index);

private:
    friend class ClientSession;
    void attach(ClientSession& session);
    void detach(ClientSession& session);
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
