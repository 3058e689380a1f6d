#include "visa/TcpConnector.h"

#include "visa/AddressResolver.h"
#include "visa/VisaError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace visa {
namespace {

struct Attempt {
    base::FileDescriptor fd;
    int error = 0; // 0 with a valid fd = connected; ETIMEDOUT = the deadline passed
};

Attempt tryAddress(const SocketAddress& address, const base::Deadline& deadline) {
    Attempt attempt;
    attempt.fd = base::FileDescriptor(
        ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!attempt.fd.valid()) {
        attempt.error = errno;
        return attempt;
    }
    if (::connect(attempt.fd.get(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) !=
        0) {
        if (errno != EINPROGRESS) {
            attempt.error = errno;
            attempt.fd.reset();
            return attempt;
        }
        if (!attempt.fd.waitFor(POLLOUT, deadline)) {
            attempt.error = ETIMEDOUT;
            attempt.fd.reset();
            return attempt;
        }
        int soError = 0;
        socklen_t length = sizeof soError;
        if (::getsockopt(attempt.fd.get(), SOL_SOCKET, SO_ERROR, &soError, &length) != 0)
            soError = errno;
        if (soError != 0) {
            attempt.error = soError;
            attempt.fd.reset();
            return attempt;
        }
    }
    const int on = 1;
    ::setsockopt(attempt.fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return attempt;
}

} // namespace

base::FileDescriptor TcpConnector::connect(const std::string& resource, const std::string& host,
                                           std::uint16_t port, const base::Deadline& deadline) {
    const auto resolved = AddressResolver::resolve(host, port, deadline);
    switch (resolved.status) {
    case AddressResolver::Status::Resolved:
        break;
    case AddressResolver::Status::UnknownHost:
        throw VisaError(VisaError::Kind::NotFound, resource + ": unknown host \"" + host + "\"");
    case AddressResolver::Status::TimedOut:
        throwTimeout(resource, "no answer", deadline.timeout(), "looking up \"" + host + "\"");
    case AddressResolver::Status::Failed:
        throw VisaError(VisaError::Kind::NotFound,
                        resource + ": cannot look up \"" + host + "\": " + resolved.detail);
    }

    // Report the most telling failure: a refusal or a time-out says more than whatever else went wrong.
    int worst = 0;
    for (const auto& address : resolved.addresses) {
        if (deadline.expired()) {
            worst = ETIMEDOUT;
            break;
        }
        auto attempt = tryAddress(address, deadline);
        if (attempt.error == 0)
            return std::move(attempt.fd);
        if (worst != ECONNREFUSED && worst != ETIMEDOUT)
            worst = attempt.error;
        if (attempt.error == ECONNREFUSED)
            worst = ECONNREFUSED;
    }
    switch (worst) {
    case ECONNREFUSED:
        throw VisaError(VisaError::Kind::Refused, resource +
                                                      ": connection refused (nothing listens on port " +
                                                      std::to_string(port) + ")");
    case ETIMEDOUT:
        throwTimeout(resource, "no answer", deadline.timeout());
    case ENETUNREACH:
    case EHOSTUNREACH:
        throw VisaError(VisaError::Kind::NotFound,
                        resource + ": host unreachable (" + std::strerror(worst) + ")");
    default:
        throw VisaError(VisaError::Kind::Other, resource + ": cannot connect (" + std::strerror(worst) + ")");
    }
}

} // namespace visa
