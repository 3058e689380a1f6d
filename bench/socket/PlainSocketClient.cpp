#include "bench/socket/PlainSocketClient.h"

#include "base/TakeLine.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

PlainSocketClient::PlainSocketClient(const std::string& ipv4Address, std::uint16_t port)
    : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, ipv4Address.c_str(), &address.sin_addr);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd_ >= 0)
            ::close(fd_);
        throw std::runtime_error("plain client cannot connect");
    }
    // Without this the comparison would flatter the backend: Nagle's algorithm would hold the plain
    // client's "SYST:ERR?" back behind the unacknowledged command.
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

PlainSocketClient::~PlainSocketClient() {
    ::close(fd_);
}

void PlainSocketClient::write(std::string_view line) {
    while (!line.empty()) {
        const auto n = ::send(fd_, line.data(), line.size(), MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("plain client cannot send");
        line.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string PlainSocketClient::read() {
    for (;;) {
        if (auto line = base::takeLine(buffer_))
            return *line;
        char chunk[4096];
        const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0)
            throw std::runtime_error("plain client lost the connection");
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}
