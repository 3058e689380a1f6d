#include "tests/support/AnsweringPeer.h"

#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

AnsweringPeer::AnsweringPeer(Script script) : script_(std::move(script)) {
    if (::pipe(wake_) != 0)
        throw std::runtime_error("answering peer: no pipe to stop it with");
    thread_ = std::thread([this] { serve(); });
}

AnsweringPeer::~AnsweringPeer() {
    const char stop = 's';
    (void)!::write(wake_[1], &stop, 1);
    thread_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string AnsweringPeer::resource() const {
    return listener_.socketResource();
}

std::vector<std::string> AnsweringPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void AnsweringPeer::serve() {
    int connection = -1;
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {connection >= 0 ? connection : listener_.fd(), POLLIN, 0}};
        if (::poll(fds, 2, 10000) <= 0 || (fds[0].revents & POLLIN) != 0)
            break; // asked to stop, or idle far longer than any test waits
        if (connection < 0) {
            connection = ::accept4(listener_.fd(), nullptr, nullptr, SOCK_CLOEXEC);
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
