#pragma once

#include "base/FileDescriptor.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <poll.h>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Clients past a service's connection limit, told why without a thread each, so that no number of
// them at once silences the refusal. What the protocol lets the server say unasked goes out on accept;
// an answer that needs the client's first call goes out once that call is in. The connection is then
// drained until the client closes it or its time is up: closing on unread bytes resets the connection,
// and the reset can overtake the reason on its way. Only the accept loop uses it.
class RefusedClients {
public:
    struct Refusal {
        std::string atOnce; // sent on accept; may be empty
        // The answer to what the client sent so far: nullopt while more is needed, empty when there is
        // nothing to say. Null: the client's messages get no answer.
        std::function<std::optional<std::string>(std::string_view received)> answer;
    };

    // At most this many are kept; past that the oldest (whose reason went out first) is closed.
    static constexpr std::size_t kMaxAtOnce = 256;
    // What a refused client gets to send its call, read our answer and close.
    static constexpr std::chrono::milliseconds kPatience{2000};
    // The most of a refused client's call that is kept to find its answer in.
    static constexpr std::size_t kMaxCallBytes = 4096;

    explicit RefusedClients(Refusal refusal) : refusal_(std::move(refusal)) {}

    void add(base::FileDescriptor fd);
    // One pollfd per client, appended in the order serve() expects them back.
    void appendPollFds(std::vector<pollfd>& fds) const;
    // Reads from the clients whose pollfds report events, answers and closes as due, and closes those
    // whose time is up. `fds` are those of appendPollFds, with the poll's results.
    void serve(std::span<const pollfd> fds);
    // Milliseconds until the next client's time is up; -1 when there is none.
    int pollTimeout() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Client {
        base::FileDescriptor fd;
        Clock::time_point deadline;
        std::string received;
        bool done = false; // answered (or nothing to answer): only draining now
    };

    // False when the client is finished with and may be closed.
    bool take(Client& client);
    void finishWith(Client& client, std::string_view answer);

    Refusal refusal_;
    std::vector<Client> clients_;
};

} // namespace sim
