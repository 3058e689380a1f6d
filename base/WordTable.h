#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>

namespace base {

// A value and its word, matched exactly both ways: a setting and the instrument's word for it, or a
// value and the word a table or a command line shows for it. A value that is not listed (None, say)
// gives the empty text, and text that matches no word gives `none` back.
template <typename Value, std::size_t N> class WordTable {
public:
    constexpr WordTable(Value none, std::array<std::pair<Value, const char*>, N> words)
        : none_(none), words_(words) {}

    std::string wordFor(Value value) const {
        for (const auto& [candidate, word] : words_)
            if (candidate == value)
                return word;
        return {};
    }

    Value valueFor(const std::string& text) const {
        for (const auto& [value, word] : words_)
            if (text == word)
                return value;
        return none_;
    }

private:
    Value none_;
    std::array<std::pair<Value, const char*>, N> words_;
};

} // namespace base
