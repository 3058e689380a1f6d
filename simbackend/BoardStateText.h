#pragma once

#include "sim/Mainframe.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace simbackend {

// A state file is never larger than this; anything larger is not one.
inline constexpr std::size_t kMaxBoardStateBytes = 1024;

// A board's port settings as its state file holds them: a line naming the format, then one line per
// setting, in the instrument's own words ("DIO", "NEG", "LATC").
std::string boardStateText(const sim::PortState& state);

// The settings a state file's text holds; nothing unless it is exactly that form with every word known,
// every number in range and every function on a pin that has it: the file may have been written by
// anyone.
std::optional<sim::PortState> boardStateFromText(std::string_view text);

} // namespace simbackend
