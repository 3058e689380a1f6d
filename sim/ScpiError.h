#pragma once

#include <string_view>

namespace sim {

// One entry of the instrument's error vocabulary: the SCPI code and its standard text.
struct ScpiError {
    int code;
    std::string_view text;

    friend bool operator==(const ScpiError&, const ScpiError&) = default;
};

namespace errors {
inline constexpr ScpiError kSyntax{-102, "Syntax error"};
inline constexpr ScpiError kParameterNotAllowed{-108, "Parameter not allowed"};
inline constexpr ScpiError kMissingParameter{-109, "Missing parameter"};
inline constexpr ScpiError kUndefinedHeader{-113, "Undefined header"};
inline constexpr ScpiError kHeaderSuffixOutOfRange{-114, "Header suffix out of range"};
inline constexpr ScpiError kSettingsConflict{-221, "Settings conflict"};
inline constexpr ScpiError kDataOutOfRange{-222, "Data out of range"};
inline constexpr ScpiError kTooMuchData{-223, "Too much data"};
inline constexpr ScpiError kIllegalParameterValue{-224, "Illegal parameter value"};
inline constexpr ScpiError kQueueOverflow{-350, "Queue overflow"};
inline constexpr ScpiError kInputBufferOverrun{-363, "Input buffer overrun"};
inline constexpr ScpiError kQueryInterrupted{-410, "Query INTERRUPTED"};
} // namespace errors

} // namespace sim
