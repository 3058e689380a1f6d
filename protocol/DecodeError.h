#pragma once

#include <stdexcept>
#include <string>

namespace protocol {

// Bytes from the wire that break the format (truncated, oversized, wrong constant). Whoever owns the
// connection turns it into its own error with the resource or peer in front.
class DecodeError : public std::runtime_error {
public:
    explicit DecodeError(const std::string& what) : std::runtime_error(what) {}
};

} // namespace protocol
