#pragma once

#include <utility>

namespace visa {

// Owns one open file descriptor of a device node (or of its stand-in in tests) and closes it.
class DeviceFile {
public:
    DeviceFile() = default;
    explicit DeviceFile(int fd) : fd_(fd) {}
    DeviceFile(DeviceFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    DeviceFile& operator=(DeviceFile&& other) noexcept;
    DeviceFile(const DeviceFile&) = delete;
    DeviceFile& operator=(const DeviceFile&) = delete;
    ~DeviceFile() { close(); }

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    void close() noexcept;

private:
    int fd_ = -1;
};

} // namespace visa
