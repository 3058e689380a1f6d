#include "tests/local/support/SocketUsbtmcDevice.h"

#include "sim/ClientSession.h"

#include <array>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kPollMs = 20;
// 60 s of polling at most: the thread never outlives a stuck test by much.
constexpr int kMaxPolls = 3000;
} // namespace

SocketUsbtmcDevice::SocketUsbtmcDevice(Mode mode) : mode_(mode) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
        throw std::runtime_error("socketpair failed");
    }
    hostEnd_ = base::FileDescriptor(fds[0]);
    deviceEnd_ = base::FileDescriptor(fds[1]);
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

SocketUsbtmcDevice::~SocketUsbtmcDevice() {
    thread_.request_stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

base::FileDescriptor SocketUsbtmcDevice::takeHostEnd() {
    return std::move(hostEnd_);
}

std::vector<std::string> SocketUsbtmcDevice::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void SocketUsbtmcDevice::run(std::stop_token stop) {
    std::array<char, 65536> buffer;
    for (int polls = 0; polls < kMaxPolls && !stop.stop_requested(); ++polls) {
        pollfd pfd{deviceEnd_.get(), POLLIN, 0};
        if (poll(&pfd, 1, kPollMs) <= 0) {
            continue;
        }
        const ssize_t n = recv(deviceEnd_.get(), buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            return; // the host closed its end
        }
        std::string message(buffer.data(), static_cast<std::size_t>(n));
        {
            std::lock_guard lock(mutex_);
            received_.push_back(message);
        }
        if (mode_ == Mode::HangUpOnMessage) {
            deviceEnd_.reset();
            return;
        }
        mainframe_.receive(message);
        auto reply = mainframe_.session().takeReply();
        if (!reply) {
            continue;
        }
        const std::string& bytes = reply->bytes;
        switch (mode_) {
        case Mode::SplitReplies:
            sendRecord(bytes.substr(0, bytes.size() / 2));
            sendRecord(bytes.substr(bytes.size() / 2));
            break;
        case Mode::ExtraLine:
            sendRecord(bytes + "EXTRA\n");
            break;
        default:
            sendRecord(bytes);
            break;
        }
    }
}

void SocketUsbtmcDevice::sendRecord(const std::string& bytes) {
    send(deviceEnd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
}
