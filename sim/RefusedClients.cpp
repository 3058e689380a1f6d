#include "sim/RefusedClients.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <sys/socket.h>

namespace sim {

namespace {

// A refusal is a few dozen bytes on a connection that has sent nothing yet: it fits in the socket's
// buffer, so a send that does not wait loses nothing in practice, and a client that cannot take even
// that is not worth waiting for.
void sendWithoutWaiting(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace

void RefusedClients::add(base::FileDescriptor fd) {
    if (clients_.size() >= kMaxAtOnce) {
        clients_.erase(clients_.begin());
    }
    Client client{std::move(fd), Clock::now() + kPatience, {}, false};
    sendWithoutWaiting(client.fd.get(), refusal_.atOnce);
    if (!refusal_.answer) {
        finishWith(client, {});
    }
    clients_.push_back(std::move(client));
}

void RefusedClients::finishWith(Client& client, std::string_view answer) {
    sendWithoutWaiting(client.fd.get(), answer);
    ::shutdown(client.fd.get(), SHUT_WR);
    client.done = true;
    client.received.clear();
}

void RefusedClients::appendPollFds(std::vector<pollfd>& fds) const {
    for (const Client& client : clients_) {
        fds.push_back({client.fd.get(), POLLIN, 0});
    }
}

bool RefusedClients::take(Client& client) {
    std::array<char, 4096> chunk;
    const auto n = ::recv(client.fd.get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (n < 0) {
        return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
    }
    if (n == 0) {
        return false; // the client closed: done
    }
    if (!client.done) {
        client.received.append(chunk.data(),
                               std::min(static_cast<std::size_t>(n), kMaxCallBytes - client.received.size()));
        const std::optional<std::string> answer = refusal_.answer(client.received);
        if (answer) {
            finishWith(client, *answer);
        } else if (client.received.size() >= kMaxCallBytes) {
            finishWith(client, {});
        }
    }
    return true;
}

void RefusedClients::serve(std::span<const pollfd> fds) {
    const auto now = Clock::now();
    std::vector<Client> kept;
    for (std::size_t i = 0; i < clients_.size(); ++i) {
        Client& client = clients_[i];
        const bool open = i >= fds.size() || fds[i].revents == 0 || take(client);
        if (open && client.deadline > now) {
            kept.push_back(std::move(client));
        }
    }
    clients_ = std::move(kept);
}

int RefusedClients::pollTimeout() const {
    if (clients_.empty()) {
        return -1;
    }
    const auto next =
        std::min_element(clients_.begin(), clients_.end(), [](const Client& a, const Client& b) {
            return a.deadline < b.deadline;
        })->deadline;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

} // namespace sim
