#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace sim {

// SCPI keywords are written in their long form with the short form in capitals ("POLarity").
// A program may use either form, in any letter case, but nothing in between ("POLA" is no match).
bool matchesKeyword(std::string_view text, std::string_view keyword);

// The short form of a keyword: its leading capitals ("POLarity" -> "POL").
std::string_view shortForm(std::string_view keyword);

// The index of the first keyword that text matches.
std::optional<std::size_t> findKeyword(std::string_view text, std::span<const std::string_view> keywords);

} // namespace sim
