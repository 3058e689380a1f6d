#pragma once

#include "sim/Mainframe.h"

#include <chrono>
#include <optional>
#include <string_view>

namespace sim {

// One client's message exchange with the mainframe (a socket connection, a VXI-11 link, a HiSLIP
// session, an in-process SIM session): its own output queue and its own query-interrupted rule, while
// the instrument's settings and error queue are shared by all, as on a LAN instrument with several
// sessions. A message runs and its reply is queued in one step, so another client's message can
// neither land in between nor take or discard this client's reply. Thread-safe; must not outlive its
// mainframe.
class ClientSession {
public:
    explicit ClientSession(Mainframe& mainframe);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // As Mainframe::receive, for this client: an unread reply of this client is interrupted (-410).
    void receive(std::string_view message);
    // This client's reply, taken off its output queue; nullopt when there is none (or the fault
    // injector dropped it or made the instrument stop answering).
    std::optional<Reply> takeReply();
    bool replyPending() const;
    // True once a CloseConnection fault fired on one of this client's messages: the transport must
    // drop its connection now. Reading it clears it, so the next connection is not dropped too.
    bool hangUpRequested();
    // The device clear: this client's unread reply goes, without an error.
    void discardReply();
    // An error the transport detected on the instrument's behalf, into the shared error queue.
    void queueError(const ScpiError& error);

    // The instrument's exclusive lock: one holder among every client of the mainframe, whatever its
    // transport. A request waits up to `timeout` while another client holds it (0: not at all); the
    // lock goes on unlock() or when this session ends. Waiting holds up no other client.
    LockOutcome lock(std::chrono::milliseconds timeout, const StillWanted& stillWanted = {});
    // False when this client holds no lock.
    bool unlock();
    bool holdsLock() const;
    // True once no other client holds the lock (at once when none does); false when the time-out
    // (nullopt: none) or stillWanted ends the wait first.
    bool awaitAccess(std::optional<std::chrono::milliseconds> timeout, const StillWanted& stillWanted = {});
    // receive(), once no other client holds the lock, in one step with that check so that no lock can
    // be granted in between; false when the message was not taken because the wait ended first.
    bool receiveWhenUnlocked(std::string_view message, std::optional<std::chrono::milliseconds> timeout,
                             const StillWanted& stillWanted = {});

    Mainframe& mainframe() { return mainframe_; }

private:
    friend class Mainframe;

    Mainframe& mainframe_;
    // Guarded by the mainframe's lock.
    std::optional<Reply> pending_;
    bool hangUp_ = false;
};

} // namespace sim
