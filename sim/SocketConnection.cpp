#include "sim/SocketConnection.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace sim {

namespace {
constexpr std::size_t kReadChunk = 16 * 1024;
}

SocketConnection::SocketConnection(base::FileDescriptor fd, std::string peer)
    : fd_(std::move(fd)), peer_(std::move(peer)) {}

bool SocketConnection::receiveAvailable() {
    char chunk[kReadChunk];
    while (true) {
        const ssize_t n = ::recv(fd_.get(), chunk, sizeof chunk, 0);
        if (n > 0) {
            framer_.append(std::string_view(chunk, static_cast<std::size_t>(n)));
            return true;
        }
        if (n == 0) {
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

bool SocketConnection::handle(const MessageFramer::Message& message, Mainframe& mainframe,
                              Clock::time_point now) {
    if (message.tooLong) {
        mainframe.queueError(errors::kTooMuchData);
    } else {
        mainframe.receive(message.text);
    }
    if (mainframe.hangUpRequested()) {
        mainframe.discardReply();
        return false;
    }
    // Over a raw socket a reply counts as read once it is sent, so it is taken at once.
    if (auto reply = mainframe.takeReply()) {
        output_ = std::move(reply->bytes);
        sentBytes_ = 0;
        sendAt_ = now + reply->delay;
    }
    return true;
}

bool SocketConnection::sendOutput() {
    while (sentBytes_ < output_.size()) {
        const ssize_t n =
            ::send(fd_.get(), output_.data() + sentBytes_, output_.size() - sentBytes_, MSG_NOSIGNAL);
        if (n >= 0) {
            sentBytes_ += static_cast<std::size_t>(n);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
    output_.clear();
    sentBytes_ = 0;
    return true;
}

bool SocketConnection::pump(Mainframe& mainframe, Clock::time_point now) {
    while (true) {
        if (!output_.empty()) {
            if (now < sendAt_) {
                return true;
            }
            if (!sendOutput()) {
                return false;
            }
            if (!output_.empty()) {
                return true;
            }
        }
        const auto message = framer_.next();
        if (!message) {
            return true;
        }
        if (!handle(*message, mainframe, now)) {
            return false;
        }
    }
}

short SocketConnection::pollEvents(Clock::time_point now) const {
    if (output_.empty()) {
        return POLLIN;
    }
    return now >= sendAt_ ? POLLOUT : 0;
}

std::optional<SocketConnection::Clock::time_point> SocketConnection::dueAt(Clock::time_point now) const {
    if (!output_.empty() && now < sendAt_) {
        return sendAt_;
    }
    return std::nullopt;
}

} // namespace sim
