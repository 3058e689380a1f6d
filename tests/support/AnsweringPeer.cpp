#include "tests/support/AnsweringPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

AnsweringPeer::AnsweringPeer(Script script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ::pipe(wake_) != 0)
        throw std::runtime_error("scripted peer: cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

AnsweringPeer::~AnsweringPeer() {
    const char stop = 's';
    (void)!::write(wake_[1], &stop, 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string AnsweringPeer::resource() const {
    return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
}

std::vector<std::string> AnsweringPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void AnsweringPeer::serve() {
    int connection = -1;
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {connection >= 0 ? connection : listener_, POLLIN, 0}};
        if (::poll(fds, 2, 10000) <= 0 || (fds[0].revents & POLLIN) != 0)
            break; // asked to stop, or idle far longer than any test waits
        if (connection < 0) {
            connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            pending.clear();
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(connection, buffer, sizeof buffer);
        if (n <= 0) {
            ::close(connection);
            connection = -1;
            continue;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            {
                std::lock_guard lock(mutex_);
                received_.push_back(line);
            }
            if (const auto answer = script_(line); answer && !answer->empty())
                (void)!::send(connection, answer->data(), answer->size(), MSG_NOSIGNAL);
        }
    }
    if (connection >= 0)
        ::close(connection);
}
