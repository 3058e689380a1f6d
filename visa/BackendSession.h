#pragma once

#include "base/Deadline.h"
#include "visa/MessageSession.h"
#include "visa/VisaError.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace visa {

// Time-outs travel as 32-bit milliseconds in VXI-11 and HiSLIP.
inline std::uint32_t wireMilliseconds(std::chrono::milliseconds value) {
    return static_cast<std::uint32_t>(
        std::clamp<std::chrono::milliseconds::rep>(value.count(), 0, 0x7FFFFFFF));
}

// What every backend of MessageSession shares: the resource text it serves, the check that it is still
// open and the wording of its failures, each of which begins with that resource text. A backend is
// opened by its static open() and closed by close() or its destructor.
class BackendSession : public MessageSession {
public:
    const std::string& resource() const { return resource_; }

    // Only the open check, for a transport with nothing to discard between reads: its driver keeps no
    // input, or it drops a stale reply as that arrives.
    void flushRead() override { requireOpen(); }

    // No lock unless the transport overrides these.
    bool canLock() const override { return false; }
    void lockExclusive(std::chrono::milliseconds lockTimeout) override;
    void unlock() override;

protected:
    explicit BackendSession(std::string resource) : resource_(std::move(resource)) {}

    virtual bool isOpen() const = 0;
    // Throws Closed unless the session is open.
    void requireOpen() const {
        if (!isOpen())
            throwClosed(resource_);
    }
    [[noreturn]] void fail(VisaError::Kind kind, std::string_view what) const {
        throwVisaError(resource_, kind, what);
    }
    // "<what> within N ms", what naming what did not happen in time.
    [[noreturn]] void failTimeout(std::string_view what, std::chrono::milliseconds limit,
                                  std::string_view why = {}) const {
        throwTimeout(resource_, what, limit, why);
    }

    // "the instrument is locked by another client; gave up after N ms", as LockTimeout.
    [[noreturn]] void failLockTimeout(std::chrono::milliseconds lockTimeout) const;
    // A reply that grew beyond kMaxReplyBytes; what was read of it is dropped.
    [[noreturn]] void failReplyTooLong() const;

    // One reply from a driver that hands it over in pieces, each call waiting up to the driver's own
    // time-out: applyTimeout gives the driver what is left of the session's time-out before each call,
    // readPiece appends one piece to the reply and says whether it ended the reply. A reply over
    // kMaxReplyBytes and one not complete in time are failures.
    using DriverTimeout = std::function<void(std::chrono::milliseconds)>;
    using PieceReader = std::function<bool(std::string& reply, const base::Deadline& deadline)>;
    std::string readInPieces(const DriverTimeout& applyTimeout, const PieceReader& readPiece) const;

private:
    std::string resource_;
};

} // namespace visa
