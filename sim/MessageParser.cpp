#include "sim/MessageParser.h"

#include "base/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace sim {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isAlpha(char c) {
    return base::isAsciiLetter(c);
}
bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
bool isMnemonicChar(char c) {
    return isAlpha(c) || isDigit(c) || c == '_';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Splits at `separator` outside quoted strings. A doubled quote inside a string needs no special case:
// it closes the string and opens it again.
struct Split {
    std::vector<std::string_view> parts;
    bool quoteLeftOpen = false;
};

Split splitOutsideQuotes(std::string_view text, char separator) {
    Split split;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            split.parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    split.parts.push_back(text.substr(start));
    split.quoteLeftOpen = quote != 0;
    return split;
}

// A node's numeric suffix is its trailing digits. More digits than an int holds can only be out of
// range, so they become the largest int rather than overflowing.
HeaderNode splitSuffix(std::string_view keyword) {
    std::size_t end = keyword.size();
    while (end > 0 && isDigit(keyword[end - 1])) {
        --end;
    }
    HeaderNode node{std::string(keyword.substr(0, end)), std::nullopt};
    if (end < keyword.size()) {
        long long value = 0;
        for (const char c : keyword.substr(end)) {
            value = std::min<long long>(value * 10 + (c - '0'), std::numeric_limits<int>::max());
        }
        node.suffix = static_cast<int>(value);
    }
    return node;
}

ParsedUnit syntaxError() {
    return ParsedUnit{{}, errors::kSyntax, false};
}

} // namespace

std::vector<std::string_view> MessageParser::splitUnits(std::string_view message) {
    // An open quote runs to the end of the message; the unit holding it reports the syntax error.
    return splitOutsideQuotes(message, ';').parts;
}

ParsedUnit MessageParser::parseUnit(std::string_view text) {
    text = trim(text);
    if (text.empty()) {
        return ParsedUnit{{}, std::nullopt, true};
    }
    ParsedUnit parsed;
    ProgramUnit& unit = parsed.unit;
    std::size_t pos = 0;
    if (text[0] == '*') {
        unit.common = true;
        pos = 1;
        while (pos < text.size() && isAlpha(text[pos])) {
            ++pos;
        }
        if (pos == 1) {
            return syntaxError();
        }
        unit.nodes.push_back(HeaderNode{std::string(text.substr(0, pos)), std::nullopt});
    } else {
        if (text[0] == ':') {
            unit.rooted = true;
            pos = 1;
        }
        while (true) {
            const std::size_t start = pos;
            if (pos >= text.size() || !isAlpha(text[pos])) {
                return syntaxError();
            }
            while (pos < text.size() && isMnemonicChar(text[pos])) {
                ++pos;
            }
            unit.nodes.push_back(splitSuffix(text.substr(start, pos - start)));
            if (pos < text.size() && text[pos] == ':') {
                ++pos;
                continue;
            }
            break;
        }
    }
    if (pos < text.size() && text[pos] == '?') {
        unit.query = true;
        ++pos;
    }
    if (pos == text.size()) {
        return parsed;
    }
    if (!isBlank(text[pos])) {
        return syntaxError();
    }
    const auto parameters = splitOutsideQuotes(trim(text.substr(pos)), ',');
    if (parameters.quoteLeftOpen) {
        return syntaxError();
    }
    for (const auto parameter : parameters.parts) {
        const auto value = trim(parameter);
        if (value.empty()) {
            return syntaxError();
        }
        unit.parameters.emplace_back(value);
    }
    return parsed;
}

} // namespace sim
