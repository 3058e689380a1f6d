#include "DeviceFile.h"

#include <unistd.h>

namespace visa {

DeviceFile& DeviceFile::operator=(DeviceFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void DeviceFile::close() noexcept {
    if (fd_ >= 0) {
        // Linux releases the descriptor even when close reports an error, so it is never retried.
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace visa
