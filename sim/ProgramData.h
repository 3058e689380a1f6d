#pragma once

#include "sim/ScpiError.h"

#include <optional>
#include <span>
#include <string_view>

namespace sim {

template <typename T> struct Parsed {
    T value{};
    std::optional<ScpiError> error;
};

// A numeric parameter as a whole number in [min, max]: decimal with optional sign, fraction and
// exponent (rounded to the nearest integer), #H/#Q/#B non-decimal forms, or MINimum/MAXimum.
// A malformed number is a syntax error; a well-formed one outside the range is out of range.
Parsed<int> parseInteger(std::string_view text, int min, int max);

// A character parameter: the index of the keyword it names; an unknown word is an illegal value.
Parsed<std::size_t> parseKeyword(std::string_view text, std::span<const std::string_view> keywords);

} // namespace sim
