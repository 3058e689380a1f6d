#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace base {

// Case folding for protocol text (SCPI keywords, resource names, DNS names): ASCII letters only, whatever
// the process's locale says.
std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);

constexpr bool isAsciiLower(char c) {
    return c >= 'a' && c <= 'z';
}
constexpr bool isAsciiLetter(char c) {
    return isAsciiLower(c) || (c >= 'A' && c <= 'Z');
}
constexpr char asciiUpper(char c) {
    return isAsciiLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}
// Equal when folded to one case; the keyword matching of every message runs through this.
constexpr bool asciiEqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i]))
            return false;
    return true;
}

} // namespace base
