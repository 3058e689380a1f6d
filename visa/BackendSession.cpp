#include "visa/BackendSession.h"

namespace visa {

std::string BackendSession::readInPieces(const DriverTimeout& applyTimeout,
                                         const PieceReader& readPiece) const {
    const base::Deadline deadline(timeout());
    applyTimeout(deadline.timeout());
    std::string reply;
    for (;;) {
        const bool ended = readPiece(reply, deadline);
        if (reply.size() > kMaxReplyBytes) {
            fail(VisaError::Kind::Protocol, "the reply is longer than " + std::to_string(kMaxReplyBytes) +
                                                " bytes; it was not read to its end");
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
