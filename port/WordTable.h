#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>

// A setting and the instrument's word for each of its values, matched exactly both ways. The value
// that has no word (None) is not listed: it gives the empty text, and a reply that matches no word
// gives it back.
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

    Value fromReply(const std::string& reply) const {
        for (const auto& [value, word] : words_)
            if (reply == word)
                return value;
        return none_;
    }

private:
    Value none_;
    std::array<std::pair<Value, const char*>, N> words_;
};
