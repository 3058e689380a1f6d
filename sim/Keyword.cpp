#include "sim/Keyword.h"

#include <algorithm>
#include <cctype>

namespace sim {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

std::string_view shortForm(std::string_view keyword) {
    const auto firstLower = std::find_if(keyword.begin(), keyword.end(),
                                         [](char c) { return std::islower(static_cast<unsigned char>(c)); });
    return keyword.substr(0, static_cast<std::size_t>(firstLower - keyword.begin()));
}

bool matchesKeyword(std::string_view text, std::string_view keyword) {
    return !text.empty() &&
           (equalsIgnoringCase(text, keyword) || equalsIgnoringCase(text, shortForm(keyword)));
}

std::optional<std::size_t> findKeyword(std::string_view text, std::span<const std::string_view> keywords) {
    for (std::size_t i = 0; i < keywords.size(); ++i) {
        if (matchesKeyword(text, keywords[i])) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace sim
