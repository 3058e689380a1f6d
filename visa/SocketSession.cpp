#include "visa/SocketSession.h"

#include "base/Milliseconds.h"
#include "visa/TcpConnector.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace visa {
namespace {

constexpr std::size_t kReceiveChunk = 64 * 1024;

} // namespace

std::unique_ptr<SocketSession> SocketSession::open(const ResourceName& name,
                                                   std::chrono::milliseconds openTimeout) {
    const base::Deadline deadline(openTimeout);
    return std::make_unique<SocketSession>(name.text,
                                           TcpConnector::connect(name.text, name.host, name.port, deadline));
}

SocketSession::SocketSession(std::string resource, base::FileDescriptor socket)
    : resource_(std::move(resource)), socket_(std::move(socket)) {}

SocketSession::~SocketSession() = default;

void SocketSession::fail(VisaError::Kind kind, const std::string& what) const {
    throw VisaError(kind, resource_ + ": " + what);
}

void SocketSession::requireOpen() const {
    if (!socket_.valid())
        fail(VisaError::Kind::Closed, "the session is closed");
}

void SocketSession::write(std::string_view message) {
    requireOpen();
    std::string out(message);
    if (out.empty() || out.back() != '\n')
        out.push_back('\n');

    const base::Deadline deadline(timeout());
    std::size_t sent = 0;
    while (sent < out.size()) {
        const auto n = ::send(socket_.get(), out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!socket_.waitFor(POLLOUT, deadline))
                fail(VisaError::Kind::Timeout, "message not sent within " + base::milliseconds(timeout()) +
                                                   " (the instrument takes no input)");
            continue;
        }
        if (errno == EPIPE || errno == ECONNRESET)
            fail(VisaError::Kind::ConnectionLost, "the instrument closed the connection");
        fail(VisaError::Kind::Other, std::string("cannot send: ") + std::strerror(errno));
    }
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
            fail(VisaError::Kind::Protocol,
                 "reply longer than " + std::to_string(kMaxReplyBytes) + " bytes; it was discarded");
        }
        if (lineFeed != std::string::npos) {
            std::string reply = buffer_.substr(0, lineFeed + 1);
            buffer_.erase(0, lineFeed + 1);
            return reply;
        }
        if (!receiveMore(deadline))
            fail(VisaError::Kind::Timeout, "no reply within " + base::milliseconds(timeout()));
    }
}

bool SocketSession::receiveMore(const base::Deadline& deadline) {
    std::array<char, kReceiveChunk> chunk;
    for (;;) {
        const auto n = ::recv(socket_.get(), chunk.data(), chunk.size(), 0);
        if (n > 0) {
            appendReceived(chunk.data(), static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0)
            fail(VisaError::Kind::ConnectionLost, "the instrument closed the connection");
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!socket_.waitFor(POLLIN, deadline))
                return false;
            continue;
        }
        if (errno == ECONNRESET)
            fail(VisaError::Kind::ConnectionLost, "the instrument reset the connection");
        fail(VisaError::Kind::Other, std::string("cannot receive: ") + std::strerror(errno));
    }
}

void SocketSession::appendReceived(const char* data, std::size_t size) {
    std::string_view incoming(data, size);
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
    // Only what is readable now: a peer that keeps sending must not keep the flush going forever.
    int readable = 0;
    if (::ioctl(socket_.get(), FIONREAD, &readable) != 0 || readable <= 0)
        return;
    std::array<char, kReceiveChunk> chunk;
    auto left = static_cast<std::size_t>(readable);
    while (left > 0) {
        const auto n = ::recv(socket_.get(), chunk.data(), std::min(left, chunk.size()), MSG_DONTWAIT);
        if (n <= 0)
            break; // a closed or failed connection shows on the next read
        appendReceived(chunk.data(), static_cast<std::size_t>(n));
        buffer_.clear();
        left -= static_cast<std::size_t>(n);
    }
}

void SocketSession::close() {
    socket_.reset();
    buffer_.clear();
    discardingToLineFeed_ = false;
}

} // namespace visa
