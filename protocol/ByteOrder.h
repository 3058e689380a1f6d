#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace protocol {

// Network (big-endian) byte order, independent of the host's.
void appendBigEndian32(std::string& out, std::uint32_t value);
void appendBigEndian64(std::string& out, std::uint64_t value);
// The caller guarantees at least 4 (8) bytes at data.
std::uint32_t readBigEndian32(std::string_view data);
std::uint64_t readBigEndian64(std::string_view data);

} // namespace protocol
