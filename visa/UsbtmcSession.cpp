#include "visa/UsbtmcSession.h"

#include "base/Deadline.h"
#include "base/Milliseconds.h"
#include "base/TakeLine.h"
#include "visa/VisaError.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/ioctl.h>
#include <unistd.h>

namespace visa {

namespace {

// From the kernel's usbtmc interface: _IOW(USBTMC_IOC_NR = 91, 10, __u32), time-out in ms.
constexpr unsigned long kUsbtmcIoctlSetTimeout = _IOW(91, 10, std::uint32_t);

constexpr std::size_t kReadChunk = 4096;

char hexDigit(unsigned value) {
    return "0123456789abcdef"[value & 0xF];
}

std::string hex4(unsigned value) {
    return {hexDigit(value >> 12), hexDigit(value >> 8), hexDigit(value >> 4), hexDigit(value)};
}

} // namespace

std::unique_ptr<UsbtmcSession> UsbtmcSession::open(const ResourceName& name,
                                                   const std::filesystem::path& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        throw openFailure(name, node, errno);
    }
    std::unique_ptr<UsbtmcSession> session(new UsbtmcSession(name.text, base::FileDescriptor(fd)));
    session->applyTimeout(session->timeout());
    return session;
}

VisaError UsbtmcSession::openFailure(const ResourceName& name, const std::filesystem::path& node, int error) {
    const std::string prefix = name.text + ": cannot open " + node.string() + ": ";
    switch (error) {
    case EACCES:
    case EPERM:
        return VisaError(
            VisaError::Kind::Refused,
            prefix +
                "permission denied. Add a udev rule such as SUBSYSTEM==\"usbmisc\", "
                "KERNEL==\"usbtmc*\", ATTRS{idVendor}==\"" +
                hex4(name.vendorId) + "\", ATTRS{idProduct}==\"" + hex4(name.productId) +
                "\", MODE=\"0660\", GROUP=\"plugdev\" to a file in /etc/udev/rules.d/, reload "
                "the rules (sudo udevadm control --reload && sudo udevadm trigger), and add your "
                "user to the plugdev group (then log in again)");
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return VisaError(VisaError::Kind::NotFound,
                         prefix + "the device node is missing; was the instrument just unplugged?");
    case EBUSY:
        return VisaError(VisaError::Kind::Refused, prefix + "another program is using the instrument");
    default:
        return VisaError(VisaError::Kind::Other, prefix + std::strerror(error));
    }
}

UsbtmcSession::UsbtmcSession(std::string resource, base::FileDescriptor device)
    : BackendSession(std::move(resource)), device_(std::move(device)) {}

void UsbtmcSession::write(std::string_view message) {
    requireOpen();
    const base::Deadline deadline(timeout());
    applyTimeout(deadline.timeout());
    std::size_t sent = 0;
    do {
        const ssize_t n = ::write(device_.get(), message.data() + sent, message.size() - sent);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            failIo(errno, "sending the message failed", deadline.timeout());
        }
        sent += static_cast<std::size_t>(n);
        if (sent < message.size()) {
            if (deadline.expired()) {
                failIo(ETIMEDOUT, "sending the message failed", deadline.timeout());
            }
            applyTimeout(deadline.remaining());
        }
    } while (sent < message.size());
}

std::string UsbtmcSession::read() {
    requireOpen();
    if (auto reply = takeReply()) {
        return *reply;
    }
    const base::Deadline deadline(timeout());
    applyTimeout(deadline.timeout());
    std::array<char, kReadChunk> chunk;
    for (;;) {
        const ssize_t n = ::read(device_.get(), chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            failIo(errno, "reading the reply failed", deadline.timeout());
        }
        if (n == 0) {
            // The driver never ends a read with no data while the device is there; a stand-in reports
            // its peer's close this way.
            failIo(ENODEV, "reading the reply failed", deadline.timeout());
        }
        pending_.append(chunk.data(), std::min(static_cast<std::size_t>(n), chunk.size()));
        if (auto reply = takeReply()) {
            return *reply;
        }
        if (pending_.size() > kMaxReplyBytes) {
            pending_.clear();
            failReplyTooLong();
        }
        if (deadline.expired()) {
            failIo(ETIMEDOUT, "reading the reply failed", deadline.timeout());
        }
        applyTimeout(deadline.remaining());
    }
}

void UsbtmcSession::flushRead() {
    requireOpen();
    pending_.clear();
}

void UsbtmcSession::close() {
    device_.reset();
    pending_.clear();
}

void UsbtmcSession::setDriverTimeout(int fd, std::chrono::milliseconds timeout) {
    auto value = static_cast<std::uint32_t>(
        std::min<long long>(timeout.count(), std::numeric_limits<std::uint32_t>::max()));
    if (::ioctl(fd, kUsbtmcIoctlSetTimeout, &value) != 0) {
        const int error = errno;
        fail(VisaError::Kind::Other, "the usbtmc driver refused the time-out of " +
                                         base::milliseconds(timeout) + " (" + std::strerror(error) + ")" +
                                         (error == ENOTTY ? "; the node is not a usbtmc device" : ""));
    }
}

void UsbtmcSession::applyTimeout(std::chrono::milliseconds timeout) {
    const auto driverTimeout = std::max(timeout, kDriverMinimumTimeout);
    if (appliedTimeout_ == driverTimeout) {
        return;
    }
    setDriverTimeout(device_.get(), driverTimeout);
    appliedTimeout_ = driverTimeout;
}

std::optional<std::string> UsbtmcSession::takeReply() {
    return base::takeLine(pending_);
}

void UsbtmcSession::failIo(int error, const std::string& what, std::chrono::milliseconds timeout) const {
    switch (error) {
    case ETIMEDOUT:
    case EAGAIN:
        failTimeout(what + ": no answer", timeout);
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
    case EPIPE:
    case ECONNRESET:
        fail(VisaError::Kind::ConnectionLost,
             what + ": the instrument went away (unplugged, switched off or reset?)");
    default:
        fail(VisaError::Kind::Other, what + ": " + std::strerror(error));
    }
}

} // namespace visa
