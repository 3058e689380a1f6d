#include "sim/UniqueFd.h"

#include <unistd.h>

namespace sim {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

} // namespace sim
