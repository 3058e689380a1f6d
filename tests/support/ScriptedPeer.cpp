#include "tests/support/ScriptedPeer.h"

#include "base/TakeLine.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace visa_test {

ScriptedPeer::ScriptedPeer(Script script) {
    thread_ = std::thread([this, script = std::move(script)] { run(script); });
}

ScriptedPeer::~ScriptedPeer() {
    thread_.join();
}

void ScriptedPeer::run(const Script& script) {
    auto connection = listener_.accept(kBound);
    if (!connection.valid())
        return;
    Link link(connection.release());
    script(link);
    link.hangUp();
}

std::string ScriptedPeer::Link::receiveLine() {
    for (;;) {
        if (auto line = base::takeLine(pending_))
            return *line;
        if (fd_ < 0)
            return {};
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(kBound.count())) != 1)
            return {};
        char chunk[4096];
        const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0)
            return {};
        pending_.append(chunk, static_cast<std::size_t>(n));
    }
}

void ScriptedPeer::Link::send(std::string_view bytes) {
    while (fd_ >= 0 && !bytes.empty()) {
        pollfd entry{fd_, POLLOUT, 0};
        if (::poll(&entry, 1, static_cast<int>(kBound.count())) != 1)
            return;
        const auto n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void ScriptedPeer::Link::pause(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

void ScriptedPeer::Link::hangUp() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace visa_test
