#pragma once

#include "tests/support/LoopbackListener.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace visa_test {

// A one-connection loopback TCP peer that plays a script, for the cases a real instrument will not produce
// on demand: silence, replies split across segments, several replies in one segment, hang-ups, floods.
// Every wait is bounded, so the peer ends by itself even when the test under it fails.
class ScriptedPeer {
public:
    class Link {
    public:
        explicit Link(int fd) : fd_(fd) {}
        // One message up to and including its line feed; empty when none came within the bound.
        std::string receiveLine();
        void send(std::string_view bytes);
        void pause(std::chrono::milliseconds duration);
        void hangUp();

    private:
        int fd_;
        std::string pending_;
    };
    using Script = std::function<void(Link&)>;

    explicit ScriptedPeer(Script script);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    std::uint16_t port() const { return listener_.port(); }
    std::string resource() const { return listener_.socketResource(); }

    static constexpr std::chrono::milliseconds kBound{3000};

private:
    void run(const Script& script);

    LoopbackListener listener_{LoopbackListener::Mode::Listening, 1};
    std::thread thread_;
};

} // namespace visa_test
