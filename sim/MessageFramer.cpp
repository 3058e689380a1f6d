#include "sim/MessageFramer.h"

namespace sim {

void MessageFramer::append(std::string_view bytes) {
    // Taken messages are dropped in bulk, so many small ones in one chunk cost linear time.
    if (start_ > 0 && start_ * 2 >= buffer_.size()) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    buffer_.append(bytes);
}

void MessageFramer::consumeThrough(std::size_t end) {
    start_ = end;
    scanned_ = 0;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
}

std::optional<MessageFramer::Message> MessageFramer::next() {
    while (true) {
        const std::size_t lf = buffer_.find('\n', start_ + scanned_);
        if (lf == std::string::npos) {
            scanned_ = buffer_.size() - start_;
            if (discarding_) {
                buffer_.clear();
                start_ = scanned_ = 0;
                return std::nullopt;
            }
            // One byte of room for the CR of a CR LF still to come.
            if (scanned_ > maxMessageBytes_ + 1) {
                buffer_.clear();
                start_ = scanned_ = 0;
                discarding_ = true;
                return Message{{}, true};
            }
            return std::nullopt;
        }
        std::size_t length = lf - start_;
        if (length > 0 && buffer_[lf - 1] == '\r') {
            --length;
        }
        if (discarding_ || length > maxMessageBytes_) {
            const bool reportNow = !discarding_;
            discarding_ = false;
            consumeThrough(lf + 1);
            if (reportNow) {
                return Message{{}, true};
            }
            continue;
        }
        std::string text = buffer_.substr(start_, length);
        consumeThrough(lf + 1);
        return Message{std::move(text), false};
    }
}

} // namespace sim
