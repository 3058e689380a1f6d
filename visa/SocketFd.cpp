#include "SocketFd.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace visa {

SocketFd& SocketFd::operator=(SocketFd&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int SocketFd::release() {
    return std::exchange(fd_, -1);
}

void SocketFd::reset() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool SocketFd::waitFor(short events, const Deadline& deadline) const {
    for (;;) {
        pollfd entry{fd_, events, 0};
        const int ready = ::poll(&entry, 1, deadline.pollMilliseconds());
        if (ready > 0)
            return true;
        if (ready == 0) {
            if (deadline.expired())
                return false;
            continue; // woke before the deadline's last millisecond
        }
        if (errno != EINTR)
            return true; // let the caller's next call surface the error
    }
}

} // namespace visa
