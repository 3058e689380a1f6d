#pragma once

// An instrument on 127.0.0.1 for tests that answers line by line: accepts connections one after another,
// hands every line it receives (without its LF) to a script and sends back whatever the script answers. It
// stops by itself when destroyed and never outlives its test.

#include "tests/support/LoopbackListener.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class AnsweringPeer {
public:
    using Script = std::function<std::optional<std::string>(const std::string& line)>;

    explicit AnsweringPeer(Script script);
    ~AnsweringPeer();
    AnsweringPeer(const AnsweringPeer&) = delete;
    AnsweringPeer& operator=(const AnsweringPeer&) = delete;

    std::uint16_t port() const { return listener_.port(); }
    std::string resource() const; // TCPIP0::127.0.0.1::<port>::SOCKET
    std::vector<std::string> received() const;

private:
    void serve();

    Script script_;
    LoopbackListener listener_;
    int wake_[2] = {-1, -1};
    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    std::thread thread_;
};
