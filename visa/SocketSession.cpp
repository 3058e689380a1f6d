#include "visa/SocketSession.h"

namespace visa {

std::unique_ptr<SocketSession> SocketSession::open(const ResourceName& name,
                                                   std::chrono::milliseconds openTimeout) {
    const base::Deadline deadline(openTimeout);
    return std::unique_ptr<SocketSession>(
        new SocketSession(LanStream::connect(name.text, name.host, name.port, deadline)));
}

SocketSession::SocketSession(LanStream stream)
    : BackendSession(stream.resource()), stream_(std::move(stream)) {}

namespace {

// A message as it goes on the wire: the line feed is its end, added unless it is there.
void appendTerminated(std::string& out, std::string_view message) {
    out.append(message);
    if (message.empty() || message.back() != '\n')
        out.push_back('\n');
}

} // namespace

void SocketSession::write(std::string_view message) {
    requireOpen();
    std::string out;
    appendTerminated(out, message);
    stream_.sendAll(out, base::Deadline(timeout()), "message not sent");
}

std::string SocketSession::writeAndRead(std::initializer_list<std::string_view> messages) {
    requireOpen();
    std::string out;
    for (const auto message : messages)
        appendTerminated(out, message);
    stream_.sendAll(out, base::Deadline(timeout()), "message not sent");
    return read();
}

std::string SocketSession::read() {
    requireOpen();
    const base::Deadline deadline(timeout());
    for (;;) {
        const auto lineFeed = buffer_.find('\n');
        const bool oversized =
            lineFeed == std::string::npos ? buffer_.size() >= kMaxReplyBytes : lineFeed + 1 > kMaxReplyBytes;
        if (oversized) {
            discardingToLineFeed_ = lineFeed == std::string::npos;
            buffer_.erase(0, lineFeed == std::string::npos ? buffer_.size() : lineFeed + 1);
            failReplyTooLong();
        }
        if (lineFeed != std::string::npos) {
            std::string reply = buffer_.substr(0, lineFeed + 1);
            buffer_.erase(0, lineFeed + 1);
            return reply;
        }
        const auto received = stream_.receiveSome(deadline);
        if (!received)
            failTimeout("no reply", timeout());
        appendReceived(*received);
    }
}

void SocketSession::appendReceived(std::string_view incoming) {
    if (discardingToLineFeed_) {
        const auto lineFeed = incoming.find('\n');
        if (lineFeed == std::string_view::npos)
            return;
        discardingToLineFeed_ = false;
        incoming.remove_prefix(lineFeed + 1);
    }
    buffer_.append(incoming);
}

void SocketSession::flushRead() {
    requireOpen();
    buffer_.clear();
    // Passed through appendReceived so that the tail of an oversized reply ends its discarding.
    appendReceived(stream_.takeReadable());
    buffer_.clear();
}

void SocketSession::close() {
    stream_.close();
    buffer_.clear();
    discardingToLineFeed_ = false;
}

} // namespace visa
