#include "base/FileDescriptor.h"

#include "base/FiberLoop.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace base {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int FileDescriptor::release() {
    return std::exchange(fd_, -1);
}

void FileDescriptor::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

bool FileDescriptor::waitFor(short events, const Deadline& deadline) const {
    for (;;) {
        pollfd entry{fd_, events, 0};
        const int ready = FiberLoop::poll(&entry, 1, deadline.pollMilliseconds());
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

} // namespace base
