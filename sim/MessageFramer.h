#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// Cuts a byte stream into program messages at LF (a CR before the LF belongs to the terminator).
// Memory stays bounded: a message longer than the limit is reported once as too long and the rest of
// it, up to the next LF, is thrown away as it arrives.
class MessageFramer {
public:
    struct Message {
        std::string text;
        bool tooLong = false; // text is empty then
    };

    explicit MessageFramer(std::size_t maxMessageBytes) : maxMessageBytes_(maxMessageBytes) {}

    void append(std::string_view bytes);
    // The next complete message, if the bytes so far hold one.
    std::optional<Message> next();
    // Bytes held for messages not yet taken.
    std::size_t buffered() const { return buffer_.size() - start_; }
    // True while the bytes so far end inside a message (kept or being thrown away).
    bool midMessage() const { return buffered() > 0 || discarding_; }

private:
    void consumeThrough(std::size_t end);

    std::size_t maxMessageBytes_;
    std::string buffer_;
    std::size_t start_ = 0;   // where the next message begins
    std::size_t scanned_ = 0; // bytes from start_ already known to hold no LF
    bool discarding_ = false; // inside a message already refused
};

} // namespace sim
