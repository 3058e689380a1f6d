#pragma once

#include <optional>
#include <string>

namespace base {

// The first line of what a stream delivered so far, its line feed included, taken off the front of
// received; nullopt (and received untouched) while no line feed has come.
std::optional<std::string> takeLine(std::string& received);

} // namespace base
