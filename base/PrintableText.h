#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace base {

// What takes the place of a byte that is not printable ASCII.
enum class Unprintable {
    Question,  // '?': peer text shown in a message
    Blank,     // ' ': a library's own words, where a control character is only layout
    HexEscape, // "\xNN": text the user typed, so that every byte they gave can be seen
};

// At most maxChars characters of untrusted text (a device's reply, a library's message, what the user typed)
// made safe to put into a message: only printable ASCII goes through.
std::string printableText(std::string_view text, std::size_t maxChars, Unprintable replacement);

} // namespace base
