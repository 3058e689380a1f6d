#include "sim/Keyword.h"

#include "base/AsciiCase.h"

#include <algorithm>

namespace sim {

// SCPI keywords are ASCII, so the folding is too, whatever the locale.
std::string_view shortForm(std::string_view keyword) {
    const auto firstLower = std::find_if(keyword.begin(), keyword.end(), base::isAsciiLower);
    return keyword.substr(0, static_cast<std::size_t>(firstLower - keyword.begin()));
}

bool matchesKeyword(std::string_view text, std::string_view keyword) {
    return !text.empty() && (base::asciiEqualIgnoringCase(text, keyword) ||
                             base::asciiEqualIgnoringCase(text, shortForm(keyword)));
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
