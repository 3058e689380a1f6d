#include "visa/LanStream.h"

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

LanStream LanStream::connect(const std::string& resource, const std::string& host, std::uint16_t port,
                             const base::Deadline& deadline) {
    return LanStream(resource, TcpConnector::connect(resource, host, port, deadline));
}

LanStream::LanStream(std::string resource, base::FileDescriptor socket)
    : resource_(std::move(resource)), socket_(std::move(socket)) {}

void LanStream::fail(VisaError::Kind kind, std::string_view what) const {
    throwVisaError(resource_, kind, what);
}

void LanStream::requireOpen() const {
    if (!socket_.valid())
        throwClosed(resource_);
}

void LanStream::sendAll(std::string_view bytes, const base::Deadline& deadline, std::string_view what) {
    requireOpen();
    while (!bytes.empty()) {
        const auto n = ::send(socket_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!socket_.waitFor(POLLOUT, deadline))
                throwTimeout(resource_, what, deadline.timeout(), "the instrument takes no input");
            continue;
        }
        if (errno == EPIPE || errno == ECONNRESET)
            fail(VisaError::Kind::ConnectionLost, "the instrument closed the connection");
        fail(VisaError::Kind::Other, std::string("cannot send: ") + std::strerror(errno));
    }
}

std::optional<std::string> LanStream::receiveSome(const base::Deadline& deadline) {
    requireOpen();
    std::array<char, kReceiveChunk> chunk;
    for (;;) {
        // Wait first: a reply is almost never there yet when its request has only just left, and a
        // receive that finds nothing is one system call per exchange for nothing.
        if (!socket_.waitFor(POLLIN, deadline))
            return std::nullopt;
        const auto n = ::recv(socket_.get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
        if (n > 0)
            return std::string(chunk.data(), static_cast<std::size_t>(n));
        if (n == 0)
            fail(VisaError::Kind::ConnectionLost, "the instrument closed the connection");
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
            continue;
        if (errno == ECONNRESET)
            fail(VisaError::Kind::ConnectionLost, "the instrument reset the connection");
        fail(VisaError::Kind::Other, std::string("cannot receive: ") + std::strerror(errno));
    }
}

std::string LanStream::takeReadable() {
    requireOpen();
    std::string taken;
    int readable = 0;
    if (::ioctl(socket_.get(), FIONREAD, &readable) != 0 || readable <= 0)
        return taken;
    std::array<char, kReceiveChunk> chunk;
    auto left = static_cast<std::size_t>(readable);
    while (left > 0) {
        const auto n = ::recv(socket_.get(), chunk.data(), std::min(left, chunk.size()), MSG_DONTWAIT);
        if (n <= 0)
            break;
        taken.append(chunk.data(), static_cast<std::size_t>(n));
        left -= static_cast<std::size_t>(n);
    }
    return taken;
}

std::string LanStream::receiveWithin(const base::Deadline& deadline, std::string_view what) {
    auto bytes = deadline.expired() ? std::nullopt : receiveSome(deadline);
    if (!bytes)
        throwTimeout(resource_, what, deadline.timeout());
    return std::move(*bytes);
}

} // namespace visa
