#include "sim/SocketServer.h"

#include "sim/ClientSession.h"
#include "sim/MessageFramer.h"

namespace sim {

SocketServer::SocketServer(Mainframe& mainframe, const std::string& bindAddress, std::uint16_t port, Log log,
                           ConnectionLimits limits, base::FiberLoop* fibers)
    : mainframe_(mainframe),
      service_(
          bindAddress, port, "", [this](ServiceConnection& c) { serve(c); }, std::move(log), limits,
          // Raw SCPI has no words for a refusal; the client is at least closed cleanly, not reset.
          RefusedClients::Refusal{}, fibers) {}

void SocketServer::serve(ServiceConnection& connection) {
    ClientSession session(mainframe_);
    MessageFramer framer(Mainframe::kMaxMessageBytes);
    while (auto bytes = connection.receiveSome(framer.midMessage())) {
        framer.append(*bytes);
        while (auto message = framer.next()) {
            if (message->tooLong) {
                session.queueError(errors::kTooMuchData);
            } else if (!session.receiveWhenUnlocked(message->text, std::nullopt,
                                                    [&connection] { return connection.peerStillThere(); })) {
                return;
            }
            if (session.hangUpRequested()) {
                return;
            }
            // Over a raw socket a reply counts as read once it is sent, so it is taken at once.
            if (auto reply = session.takeReply()) {
                if (!connection.sleepFor(reply->delay) || !connection.sendAll(reply->bytes)) {
                    return;
                }
            }
        }
    }
}

} // namespace sim
