#pragma once

#include <chrono>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace visa {

// Replies longer than this are a failure, never unbounded memory.
inline constexpr std::size_t kMaxReplyBytes = 1u << 20;

// One open message-based connection to an instrument; one subclass per transport. Every backend
// behaves alike so that the layers above never know which one they talk to:
//  - write() sends one complete message with END on its last byte;
//  - read() returns exactly one complete reply including its terminator (line feed, or END);
//  - both are bounded by timeout() and throw VisaError on failure (time-out, peer gone, ...);
//  - flushRead() discards whatever input is buffered;
//  - close() ends the session; later I/O throws VisaError(Kind::Closed). The destructor closes too;
//  - lockExclusive() takes the instrument's exclusive lock where the transport has one (canLock()),
//    waiting up to lockTimeout while another client holds it, and throws VisaError(Kind::LockTimeout)
//    when it is not granted by then; unlock() releases it. A lock request the instrument does not answer
//    in time (Kind::Timeout) ends the session, since a late grant would hold the instrument unseen. A
//    transport without a lock throws VisaError(Kind::Unsupported) from both.
class MessageSession {
public:
    MessageSession() = default;
    virtual ~MessageSession() = default;
    MessageSession(const MessageSession&) = delete;
    MessageSession& operator=(const MessageSession&) = delete;

    virtual void write(std::string_view message) = 0;
    virtual std::string read() = 0;
    virtual void flushRead() = 0;
    virtual void close() = 0;

    virtual bool canLock() const = 0;
    virtual void lockExclusive(std::chrono::milliseconds lockTimeout) = 0;
    virtual void unlock() = 0;

    // Writes each message as write() does, then reads one reply as read() does. A transport whose
    // round trips can overlap sends everything before it awaits the first answer; a failure is still
    // reported for the step that failed.
    virtual std::string writeAndRead(std::initializer_list<std::string_view> messages) {
        for (const auto message : messages)
            write(message);
        return read();
    }

    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    std::chrono::milliseconds timeout() const { return timeout_; }

private:
    // VISA's own default I/O time-out until the caller sets one.
    std::chrono::milliseconds timeout_{2000};
};

} // namespace visa
