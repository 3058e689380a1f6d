#include "protocol/RecordMarking.h"

#include "protocol/ByteOrder.h"
#include "protocol/DecodeError.h"

#include <algorithm>

namespace protocol {

std::string encodeRecord(std::string_view payload, std::size_t maxFragment) {
    maxFragment = std::clamp<std::size_t>(maxFragment, 1, 0x7FFFFFFFu);
    std::string out;
    out.reserve(payload.size() + 4 * (payload.size() / maxFragment + 1));
    do {
        const std::size_t length = std::min(payload.size(), maxFragment);
        const bool last = length == payload.size();
        appendBigEndian32(out, static_cast<std::uint32_t>(length) | (last ? kLastFragmentBit : 0u));
        out.append(payload.substr(0, length));
        payload.remove_prefix(length);
    } while (!payload.empty());
    return out;
}

void RecordAssembler::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        if (inFragment_) {
            const std::size_t take = std::min(bytes.size(), fragmentLeft_);
            record_.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            fragmentLeft_ -= take;
            if (fragmentLeft_ == 0) {
                inFragment_ = false;
                if (lastFragment_) {
                    finishRecord();
                }
            }
            continue;
        }
        // Collect a whole mark (it may itself be split).
        const std::size_t take = std::min(bytes.size(), 4 - pending_.size());
        pending_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (pending_.size() < 4) {
            continue;
        }
        const std::uint32_t mark = readBigEndian32(pending_);
        pending_.clear();
        lastFragment_ = (mark & kLastFragmentBit) != 0;
        fragmentLeft_ = mark & ~kLastFragmentBit;
        if (fragmentLeft_ > maxRecord_ - record_.size()) {
            throw DecodeError("RPC record larger than " + std::to_string(maxRecord_) + " bytes");
        }
        inFragment_ = fragmentLeft_ != 0;
        if (!inFragment_ && lastFragment_) {
            finishRecord();
        }
    }
}

void RecordAssembler::finishRecord() {
    ready_.push_back(std::move(record_));
    record_.clear();
}

std::optional<std::string> RecordAssembler::nextRecord() {
    if (ready_.empty()) {
        return std::nullopt;
    }
    std::string record = std::move(ready_.front());
    ready_.pop_front();
    return record;
}

} // namespace protocol
