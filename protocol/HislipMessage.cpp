#include "protocol/HislipMessage.h"

#include "protocol/ByteOrder.h"
#include "protocol/DecodeError.h"

#include <algorithm>

namespace protocol {

std::string encodeHislip(HislipType type, std::uint8_t control, std::uint32_t parameter,
                         std::string_view payload) {
    std::string out;
    out.reserve(kHislipHeaderSize + payload.size());
    out += "HS";
    out.push_back(static_cast<char>(type));
    out.push_back(static_cast<char>(control));
    appendBigEndian32(out, parameter);
    appendBigEndian64(out, payload.size());
    out.append(payload);
    return out;
}

HislipHeader decodeHislipHeader(std::string_view bytes) {
    if (bytes.size() < kHislipHeaderSize) {
        throw DecodeError("truncated HiSLIP header");
    }
    if (bytes[0] != 'H' || bytes[1] != 'S') {
        throw DecodeError("HiSLIP header does not start with \"HS\"");
    }
    HislipHeader header;
    header.type = static_cast<std::uint8_t>(bytes[2]);
    header.control = static_cast<std::uint8_t>(bytes[3]);
    header.parameter = readBigEndian32(bytes.substr(4));
    header.payloadLength = readBigEndian64(bytes.substr(8));
    return header;
}

std::string encodeHislipSize(std::uint64_t size) {
    std::string out;
    appendBigEndian64(out, size);
    return out;
}

std::uint64_t decodeHislipSize(std::string_view payload) {
    if (payload.size() != 8) {
        throw DecodeError("HiSLIP maximum message size is not 8 bytes long");
    }
    return readBigEndian64(payload);
}

std::string describeHislipFatal(std::uint8_t code) {
    switch (static_cast<HislipFatal>(code)) {
    case HislipFatal::Unidentified:
        return "unidentified fatal error";
    case HislipFatal::PoorlyFormedHeader:
        return "poorly formed message header";
    case HislipFatal::ChannelsNotEstablished:
        return "attempt to use the connection before both channels were established";
    case HislipFatal::InvalidInitialization:
        return "invalid initialization sequence";
    case HislipFatal::TooManyClients:
        return "the server refused the connection: too many clients";
    }
    return "fatal error " + std::to_string(code);
}

std::string describeHislipError(std::uint8_t code) {
    switch (static_cast<HislipErrorCode>(code)) {
    case HislipErrorCode::Unidentified:
        return "unidentified error";
    case HislipErrorCode::UnrecognizedMessageType:
        return "unrecognized message type";
    case HislipErrorCode::UnrecognizedControlCode:
        return "unrecognized control code";
    case HislipErrorCode::UnrecognizedVendorMessage:
        return "unrecognized vendor-defined message";
    case HislipErrorCode::MessageTooLarge:
        return "message too large";
    }
    return "error " + std::to_string(code);
}

void HislipAssembler::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        if (!header_) {
            const std::size_t take = std::min(bytes.size(), kHislipHeaderSize - partial_.size());
            partial_.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (partial_.size() < kHislipHeaderSize) {
                return;
            }
            const HislipHeader header = decodeHislipHeader(partial_);
            if (header.payloadLength > maxPayload_) {
                throw DecodeError("HiSLIP message of " + std::to_string(header.payloadLength) +
                                  " bytes exceeds the limit of " + std::to_string(maxPayload_));
            }
            header_ = header;
            partial_.clear();
        }
        const std::size_t want = static_cast<std::size_t>(header_->payloadLength) - partial_.size();
        const std::size_t take = std::min(bytes.size(), want);
        partial_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (partial_.size() == header_->payloadLength) {
            ready_.push_back(HislipMessage{*header_, std::move(partial_)});
            partial_.clear();
            header_.reset();
        }
    }
}

std::optional<HislipMessage> HislipAssembler::next() {
    if (ready_.empty()) {
        return std::nullopt;
    }
    HislipMessage message = std::move(ready_.front());
    ready_.pop_front();
    return message;
}

} // namespace protocol
