#pragma once

// A HiSLIP peer whose every answer after the opening handshake the test writes. Built on the
// simulator's listener, so it stops by itself.

#include "protocol/HislipMessage.h"
#include "sim/TcpService.h"
#include "tests/lan/ScriptedRpcServer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lan_test {

// The opening handshake is done for the script; every message received on either channel is recorded.
class ScriptedHislip {
public:
    // The chunks to send in answer; an empty chunk hangs up.
    using Script = std::function<std::vector<std::string>(const protocol::HislipMessage&)>;

    explicit ScriptedHislip(Script script, std::uint64_t maxMessageSize = 1 << 20)
        : script_(std::move(script)), maxMessageSize_(maxMessageSize),
          service_("127.0.0.1", 0, "scripted HiSLIP", [this](sim::ServiceConnection& c) { serve(c); }) {}

    std::uint16_t port() const { return service_.port(); }
    std::vector<protocol::HislipMessage> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    // What was received once `count` messages are in, or after at most two seconds.
    std::vector<protocol::HislipMessage> receivedWhen(std::size_t count) const {
        for (int i = 0; i < 200 && received().size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return received();
    }

private:
    void serve(sim::ServiceConnection& connection) {
        protocol::HislipAssembler assembler(1 << 21);
        serveFramed(connection, assembler, std::mem_fn(&protocol::HislipAssembler::next),
                    [&](const protocol::HislipMessage& message) {
                        {
                            std::lock_guard lock(mutex_);
                            received_.push_back(message);
                        }
                        for (const std::string& chunk : answer(message)) {
                            if (chunk.empty()) {
                                return false;
                            }
                            connection.sendAll(chunk);
                        }
                        return true;
                    });
    }

    std::vector<std::string> answer(const protocol::HislipMessage& message) {
        switch (message.type()) {
        case protocol::HislipType::Initialize:
            return {protocol::encodeHislip(protocol::HislipType::InitializeResponse, 0, 0x01000007u)};
        case protocol::HislipType::AsyncInitialize:
            return {protocol::encodeHislip(protocol::HislipType::AsyncInitializeResponse, 0, 0)};
        case protocol::HislipType::AsyncMaximumMessageSize:
            return {protocol::encodeHislip(protocol::HislipType::AsyncMaximumMessageSizeResponse, 0, 0,
                                           protocol::encodeHislipSize(maxMessageSize_))};
        default:
            return script_(message);
        }
    }

    Script script_;
    std::uint64_t maxMessageSize_;
    mutable std::mutex mutex_;
    std::vector<protocol::HislipMessage> received_;
    sim::TcpService service_;
};

inline std::vector<std::string> noAnswer(const protocol::HislipMessage&) {
    return {};
}

} // namespace lan_test
