#include "sim/ProgramData.h"

#include "sim/Keyword.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace sim {

namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::size_t skipDigits(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isDigit(text[pos])) {
        ++pos;
    }
    return pos;
}

// Checks the decimal numeric grammar ourselves: from_chars alone would also take "inf" and "nan" and
// stop quietly before trailing junk.
bool isDecimalNumber(std::string_view text) {
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        ++pos;
    }
    const std::size_t integerEnd = skipDigits(text, pos);
    std::size_t mantissaDigits = integerEnd - pos;
    pos = integerEnd;
    if (pos < text.size() && text[pos] == '.') {
        const std::size_t fractionEnd = skipDigits(text, pos + 1);
        mantissaDigits += fractionEnd - pos - 1;
        pos = fractionEnd;
    }
    if (mantissaDigits == 0) {
        return false;
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            ++pos;
        }
        const std::size_t exponentEnd = skipDigits(text, pos);
        if (exponentEnd == pos) {
            return false;
        }
        pos = exponentEnd;
    }
    return pos == text.size();
}

Parsed<int> checkRange(double value, int min, int max) {
    const double rounded = std::round(value);
    if (!(rounded >= min && rounded <= max)) {
        return {0, errors::kDataOutOfRange};
    }
    return {static_cast<int>(rounded), std::nullopt};
}

Parsed<int> parseNonDecimal(std::string_view text, int min, int max) {
    int base = 0;
    switch (std::toupper(static_cast<unsigned char>(text[1]))) {
    case 'H':
        base = 16;
        break;
    case 'Q':
        base = 8;
        break;
    case 'B':
        base = 2;
        break;
    default:
        return {0, errors::kSyntax};
    }
    const auto digits = text.substr(2);
    unsigned long long value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || end != digits.data() + digits.size() || ec == std::errc::invalid_argument) {
        return {0, errors::kSyntax};
    }
    if (ec == std::errc::result_out_of_range) {
        return {0, errors::kDataOutOfRange};
    }
    return checkRange(static_cast<double>(value), min, max);
}

} // namespace

Parsed<int> parseInteger(std::string_view text, int min, int max) {
    if (matchesKeyword(text, "MINimum")) {
        return {min, std::nullopt};
    }
    if (matchesKeyword(text, "MAXimum")) {
        return {max, std::nullopt};
    }
    if (text.size() >= 2 && text[0] == '#') {
        return parseNonDecimal(text, min, max);
    }
    if (!isDecimalNumber(text)) {
        return {0, errors::kSyntax};
    }
    const auto digits = text.front() == '+' ? text.substr(1) : text;
    double value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too small for a double rounds to 0 like any other tiny value; too big is out of range.
        const bool tiny = digits.find_first_of("eE") != std::string_view::npos &&
                          digits.find("-", digits.find_first_of("eE")) != std::string_view::npos;
        return tiny ? checkRange(0.0, min, max) : Parsed<int>{0, errors::kDataOutOfRange};
    }
    if (ec != std::errc{} || end != digits.data() + digits.size()) {
        return {0, errors::kSyntax};
    }
    return checkRange(value, min, max);
}

Parsed<std::size_t> parseKeyword(std::string_view text, std::span<const std::string_view> keywords) {
    const auto index = findKeyword(text, keywords);
    if (!index) {
        return {0, errors::kIllegalParameterValue};
    }
    return {*index, std::nullopt};
}

} // namespace sim
