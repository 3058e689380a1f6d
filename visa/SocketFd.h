#pragma once

#include "Deadline.h"

namespace visa {

// Owns one socket file descriptor and closes it when dropped. Move-only.
class SocketFd {
public:
    SocketFd() = default;
    explicit SocketFd(int fd) : fd_(fd) {}
    ~SocketFd() { reset(); }
    SocketFd(SocketFd&& other) noexcept : fd_(other.release()) {}
    SocketFd& operator=(SocketFd&& other) noexcept;
    SocketFd(const SocketFd&) = delete;
    SocketFd& operator=(const SocketFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset();

    // Waits until the socket reports one of the poll events (or an error or hang-up, which the following
    // call then reports); false when the deadline passes first. Interrupted waits are resumed.
    bool waitFor(short events, const Deadline& deadline) const;

private:
    int fd_ = -1;
};

} // namespace visa
