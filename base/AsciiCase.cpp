#include "base/AsciiCase.h"

namespace base {

namespace {

// The letters from 'from' to the 26th after it, moved to start at 'to'; every other byte kept.
std::string moveLetters(std::string_view text, char from, char to) {
    std::string result(text);
    for (char& c : result) {
        if (c >= from && c < from + 26)
            c = static_cast<char>(c - from + to);
    }
    return result;
}

} // namespace

std::string asciiLower(std::string_view text) {
    return moveLetters(text, 'A', 'a');
}

std::string asciiUpper(std::string_view text) {
    return moveLetters(text, 'a', 'A');
}

} // namespace base
