#include "visa/LanStream.h"

#include "base/Milliseconds.h"
#include "visa/TcpConnector.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace visa {

LanStream LanStream::connect(const std::string& resource, const std::string& host, std::uint16_t port,
                             const base::Deadline& deadline) {
    return LanStream(resource, TcpConnector::connect(resource, host, port, deadline));
}

LanStream::LanStream(std::string resource, base::FileDescriptor socket)
    : resource_(std::move(resource)), socket_(std::move(socket)) {}

void LanStream::fail(VisaError::Kind kind, const std::string& what) const {
    throw VisaError(kind, resource_ + ": " + what);
}

void LanStream::sendAll(std::string_view bytes, const base::Deadline& deadline, std::string_view what) {
    if (!socket_.valid()) {
        fail(VisaError::Kind::Closed, "the session is closed");
    }
    while (!bytes.empty()) {
        const auto n = ::send(socket_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!socket_.waitFor(POLLOUT, deadline)) {
                fail(VisaError::Kind::Timeout, std::string(what) + " within " +
                                                   base::milliseconds(deadline.timeout()) +
                                                   " (the instrument takes no input)");
            }
            continue;
        }
        if (errno == EPIPE || errno == ECONNRESET) {
            fail(VisaError::Kind::ConnectionLost, "the instrument closed the connection");
        }
        fail(VisaError::Kind::Other, std::string("cannot send: ") + std::strerror(errno));
    }
}

std::optional<std::string> LanStream::receiveSome(const base::Deadline& deadline) {
    if (!socket_.valid()) {
        fail(VisaError::Kind::Closed, "the session is closed");
    }
    std::array<char, 64 * 1024> chunk;
    for (;;) {
        const auto n = ::recv(socket_.get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
        if (n > 0) {
            return std::string(chunk.data(), static_cast<std::size_t>(n));
        }
        if (n == 0) {
            fail(VisaError::Kind::ConnectionLost, "the instrument closed the connection");
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!socket_.waitFor(POLLIN, deadline)) {
                return std::nullopt;
            }
            continue;
        }
        if (errno == ECONNRESET) {
            fail(VisaError::Kind::ConnectionLost, "the instrument reset the connection");
        }
        fail(VisaError::Kind::Other, std::string("cannot receive: ") + std::strerror(errno));
    }
}

} // namespace visa
