#include "tests/sim/LoopbackClient.h"

#include "base/TakeLine.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

namespace sim::testing {

LoopbackClient::LoopbackClient(std::uint16_t port, const char* address) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
        inet_pton(AF_INET, address, &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        length = sizeof(sockaddr_in);
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
        if (inet_pton(AF_INET6, address, &v6->sin6_addr) != 1) {
            throw std::invalid_argument("bad test address");
        }
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        length = sizeof(sockaddr_in6);
    }
    fd_.reset(::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd_.valid() || ::connect(fd_.get(), reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        throw std::runtime_error("test client cannot connect");
    }
    const int on = 1;
    ::setsockopt(fd_.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void LoopbackClient::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            throw std::runtime_error("test client cannot send");
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

bool LoopbackClient::waitReadable() {
    pollfd p{fd_.get(), POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(kPatience.count())) == 1;
}

std::string LoopbackClient::readLine() {
    for (;;) {
        if (auto line = base::takeLine(pending_)) {
            return *line;
        }
        if (!waitReadable()) {
            return "<timeout>";
        }
        char chunk[4096];
        const ssize_t n = ::recv(fd_.get(), chunk, sizeof chunk, 0);
        if (n <= 0) {
            return "<eof>";
        }
        pending_.append(chunk, static_cast<std::size_t>(n));
    }
}

bool LoopbackClient::closedByServer() {
    char byte = 0;
    if (!pending_.empty() || !waitReadable()) {
        return false;
    }
    // A socket closed with our unread bytes in it resets the connection instead of ending it.
    const ssize_t n = ::recv(fd_.get(), &byte, 1, 0);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

} // namespace sim::testing
