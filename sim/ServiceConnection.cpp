#include "sim/ServiceConnection.h"

#include "base/Deadline.h"
#include "base/FiberLoop.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace sim {

namespace {

using std::chrono::milliseconds;

std::string secondsText(milliseconds duration) {
    const auto count = duration.count();
    std::string text = std::to_string(count / 1000);
    if (count % 1000 != 0) {
        std::string fraction = std::to_string(1000 + count % 1000).substr(1);
        while (fraction.back() == '0') {
            fraction.pop_back();
        }
        text += "." + fraction;
    }
    return text + " s";
}

} // namespace

ServiceConnection::ServiceConnection(base::FileDescriptor fd, int stopFd, std::string peer,
                                     ConnectionLimits limits)
    : fd_(std::move(fd)), stopFd_(stopFd), peer_(std::move(peer)), limits_(limits),
      lastReceived_(Clock::now()), lastTraffic_(lastReceived_) {}

void ServiceConnection::hangUp() {
    fd_.reset();
}

bool ServiceConnection::peerStillThere() const {
    if (!fd_.valid()) {
        return false;
    }
    pollfd fds[2] = {{fd_.get(), POLLRDHUP, 0}, {stopFd_, POLLIN, 0}};
    if (::poll(fds, 2, 0) <= 0) {
        return true;
    }
    return fds[1].revents == 0 && (fds[0].revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0;
}

int ServiceConnection::waitFor(short events, int timeoutMs) {
    if (!fd_.valid()) {
        return -1;
    }
    for (;;) {
        pollfd fds[2] = {{fd_.get(), events, 0}, {stopFd_, POLLIN, 0}};
        const int ready = base::FiberLoop::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[1].revents != 0) {
            return -1;
        }
        return ready == 0 ? 0 : 1;
    }
}

std::optional<std::string> ServiceConnection::receiveSome(bool midMessage) {
    if (!midMessage) {
        messageSince_.reset();
    } else if (!messageSince_) {
        messageSince_ = lastReceived_;
    }
    // The earlier of the two limits that apply: an unfinished message's, and silence's.
    std::optional<Clock::time_point> deadline;
    std::string reason;
    if (midMessage && limits_.stallTimeout.count() > 0) {
        deadline = *messageSince_ + limits_.stallTimeout;
        reason = "message unfinished for " + secondsText(limits_.stallTimeout);
    }
    if (limits_.idleTimeout.count() > 0 && (!deadline || lastTraffic_ + limits_.idleTimeout < *deadline)) {
        deadline = lastTraffic_ + limits_.idleTimeout;
        reason = "no traffic for " + secondsText(limits_.idleTimeout);
    }
    std::array<char, 64 * 1024> chunk;
    for (;;) {
        const int ready = waitFor(POLLIN, deadline ? base::pollMillisecondsUntil(*deadline) : -1);
        if (ready < 0) {
            return std::nullopt;
        }
        if (ready == 0) {
            dropReason_ = reason;
            return std::nullopt;
        }
        const auto n = ::recv(fd_.get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
        if (n > 0) {
            lastReceived_ = lastTraffic_ = Clock::now();
            return std::string(chunk.data(), static_cast<std::size_t>(n));
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        return std::nullopt;
    }
}

bool ServiceConnection::sendAll(std::string_view bytes) {
    if (!fd_.valid()) {
        return false;
    }
    // Send first and wait only when the peer's window is full: a reply nearly always fits at once.
    while (!bytes.empty()) {
        const auto n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            lastTraffic_ = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            return false;
        }
        const int timeoutMs =
            limits_.stallTimeout.count() > 0 ? static_cast<int>(limits_.stallTimeout.count()) : -1;
        const int ready = waitFor(POLLOUT, timeoutMs);
        if (ready == 0) {
            dropReason_ = "reply not taken for " + secondsText(limits_.stallTimeout);
        }
        if (ready <= 0) {
            return false;
        }
    }
    return true;
}

bool ServiceConnection::sleepFor(milliseconds duration) {
    const auto end = Clock::now() + duration;
    for (;;) {
        const int left = base::pollMillisecondsUntil(end);
        if (left <= 0) {
            return true;
        }
        // A peer that hangs up ends the wait too: nobody is left to answer.
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_.get(), POLLRDHUP, 0}};
        if (base::FiberLoop::poll(fds, fd_.valid() ? 2 : 1, left) > 0) {
            return false;
        }
    }
}

} // namespace sim
