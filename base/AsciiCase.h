#pragma once

#include <string>
#include <string_view>

namespace base {

// Case folding for protocol text (SCPI keywords, resource names, DNS names): ASCII letters only, whatever
// the process's locale says.
std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);

} // namespace base
