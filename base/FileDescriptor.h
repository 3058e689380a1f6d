#pragma once

#include "base/Deadline.h"

namespace base {

// Owns one file descriptor (a socket, or a device node such as /dev/usbtmcN) and closes it when
// dropped. Move-only.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    // Closes the descriptor held and takes fd instead.
    void reset(int fd = -1);

    // Waits until the descriptor reports one of the poll events (or an error or hang-up, which the following
    // call then reports); false when the deadline passes first. Interrupted waits are resumed.
    bool waitFor(short events, const Deadline& deadline) const;

private:
    int fd_ = -1;
};

} // namespace base
