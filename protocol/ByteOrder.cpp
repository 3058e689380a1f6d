#include "protocol/ByteOrder.h"

namespace protocol {

void appendBigEndian32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFFu));
    }
}

void appendBigEndian64(std::string& out, std::uint64_t value) {
    appendBigEndian32(out, static_cast<std::uint32_t>(value >> 32));
    appendBigEndian32(out, static_cast<std::uint32_t>(value));
}

std::uint32_t readBigEndian32(std::string_view data) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(data[static_cast<std::size_t>(i)]);
    }
    return value;
}

std::uint64_t readBigEndian64(std::string_view data) {
    return (std::uint64_t{readBigEndian32(data)} << 32) | readBigEndian32(data.substr(4));
}

} // namespace protocol
