#include "tests/visa/ScriptedPeer.h"

#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace visa_test {

ScriptedPeer::ScriptedPeer(Script script) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener_ >= 0)
            ::close(listener_);
        throw std::runtime_error("cannot listen on loopback");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, script = std::move(script)] { run(script); });
}

ScriptedPeer::~ScriptedPeer() {
    thread_.join();
    ::close(listener_);
}

void ScriptedPeer::run(const Script& script) {
    pollfd entry{listener_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(kBound.count())) != 1)
        return;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    Link link(fd);
    script(link);
    link.hangUp();
}

std::string ScriptedPeer::Link::receiveLine() {
    for (;;) {
        const auto lineFeed = pending_.find('\n');
        if (lineFeed != std::string::npos) {
            auto line = pending_.substr(0, lineFeed + 1);
            pending_.erase(0, lineFeed + 1);
            return line;
        }
        if (fd_ < 0)
            return {};
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(kBound.count())) != 1)
            return {};
        char chunk[4096];
        const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0)
            return {};
        pending_.append(chunk, static_cast<std::size_t>(n));
    }
}

void ScriptedPeer::Link::send(std::string_view bytes) {
    while (fd_ >= 0 && !bytes.empty()) {
        pollfd entry{fd_, POLLOUT, 0};
        if (::poll(&entry, 1, static_cast<int>(kBound.count())) != 1)
            return;
        const auto n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void ScriptedPeer::Link::pause(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

void ScriptedPeer::Link::hangUp() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace visa_test
