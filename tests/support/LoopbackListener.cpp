#include "tests/support/LoopbackListener.h"

#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

LoopbackListener::LoopbackListener(Mode mode, int backlog)
    : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!socket_.valid() ||
        ::bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (mode == Mode::Listening && ::listen(socket_.get(), backlog) != 0) ||
        ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
}

std::string LoopbackListener::socketResource() const {
    return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
}

base::FileDescriptor LoopbackListener::accept(std::chrono::milliseconds bound) const {
    pollfd entry{socket_.get(), POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(bound.count())) != 1)
        return base::FileDescriptor();
    return base::FileDescriptor(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
}
