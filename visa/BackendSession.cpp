#include "visa/BackendSession.h"

#include "base/Milliseconds.h"

namespace visa {

void BackendSession::lockExclusive(std::chrono::milliseconds) {
    fail(VisaError::Kind::Unsupported, "this transport has no lock");
}

void BackendSession::unlock() {
    fail(VisaError::Kind::Unsupported, "this transport has no lock");
}

void BackendSession::failLockTimeout(std::chrono::milliseconds lockTimeout) const {
    fail(VisaError::Kind::LockTimeout,
         "the instrument is locked by another client; gave up after " + base::milliseconds(lockTimeout));
}

void BackendSession::failReplyTooLong() const {
    fail(VisaError::Kind::Protocol,
         "the reply is longer than " + std::to_string(kMaxReplyBytes) + " bytes; it was discarded");
}

std::string BackendSession::readInPieces(const DriverTimeout& applyTimeout,
                                         const PieceReader& readPiece) const {
    const base::Deadline deadline(timeout());
    applyTimeout(deadline.timeout());
    std::string reply;
    for (;;) {
        const bool ended = readPiece(reply, deadline);
        if (reply.size() > kMaxReplyBytes) {
            failReplyTooLong();
        }
        if (ended) {
            return reply;
        }
        if (deadline.expired()) {
            failTimeout("no complete reply", deadline.timeout());
        }
        applyTimeout(deadline.remaining());
    }
}

} // namespace visa
