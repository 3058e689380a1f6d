// Feeds arbitrary text to the command set's number conversion and checks every answer against a
// reading of its own: the number's decimal digits are kept exactly (no floating point, no fixed
// width), shifted by the exponent, rounded half to even and compared with the 16-bit range. A text
// the reading accepts must convert to exactly that value or be refused as out of range; any other
// text must be refused with ConversionError.

#include "port/ConversionError.h"
#include "port/NumberText.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number exactly: digits with the position of the point counted from their left end.
struct ExactDecimal {
    bool negative = false;
    std::string digits;
    long long pointAt = 0;
};

// The grammar: [blanks][sign]digits[.digits] or .digits or digits., then [e|E[sign]digits][blanks].
std::optional<ExactDecimal> readDecimal(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    ExactDecimal number;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        number.negative = text[i++] == '-';
    bool point = false;
    for (; i < text.size(); ++i) {
        if (isDigit(text[i])) {
            number.digits += text[i];
        } else if (text[i] == '.' && !point) {
            point = true;
            number.pointAt = static_cast<long long>(number.digits.size());
        } else {
            break;
        }
    }
    if (number.digits.empty())
        return std::nullopt;
    if (!point)
        number.pointAt = static_cast<long long>(number.digits.size());
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negativeExponent = text[i++] == '-';
        if (i == text.size() || !isDigit(text[i]))
            return std::nullopt;
        // Saturating far beyond any text the fuzzer can build keeps the shift exact.
        long long exponent = 0;
        for (; i < text.size() && isDigit(text[i]); ++i)
            exponent = exponent > 1'000'000'000 ? exponent : exponent * 10 + (text[i] - '0');
        number.pointAt += negativeExponent ? -exponent : exponent;
    }
    if (i != text.size())
        return std::nullopt;
    return number;
}

// The value rounded half to even, or nullopt when its magnitude exceeds 32768.
std::optional<long long> roundedValue(const ExactDecimal& number) {
    const auto digitAt = [&](long long k) {
        return k >= 0 && k < static_cast<long long>(number.digits.size())
                   ? number.digits[static_cast<std::size_t>(k)] - '0'
                   : 0;
    };
    // Whole part: digits left of the point; a nonzero digit more than six places left means too big.
    long long whole = 0;
    for (long long k = 0; k < static_cast<long long>(number.digits.size()) && k < number.pointAt; ++k) {
        const int digit = digitAt(k);
        if (digit != 0 && number.pointAt - k > 6)
            return std::nullopt;
        if (number.pointAt - k <= 6)
            whole += digit * [](long long places) {
                long long p = 1;
                while (places-- > 1)
                    p *= 10;
                return p;
            }(number.pointAt - k);
    }
    // Fraction: the first digit right of the point against 5, the rest for exactly one half.
    const int first = digitAt(number.pointAt);
    bool restNonZero = false;
    for (long long k = std::max(number.pointAt + 1, 0LL); k < static_cast<long long>(number.digits.size());
         ++k)
        restNonZero = restNonZero || number.digits[static_cast<std::size_t>(k)] != '0';
    if (first > 5 || (first == 5 && (restNonZero || whole % 2 != 0)))
        ++whole;
    if (whole > 32768)
        return std::nullopt;
    return number.negative ? -whole : whole;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::optional<long long> expected;
    if (const auto number = readDecimal(text)) {
        expected = roundedValue(*number);
        if (expected && (*expected < -32768 || *expected > 32767))
            expected.reset();
    }
    try {
        const long long value = ToInt16(text, "fuzz");
        if (!expected || value != *expected)
            __builtin_trap(); // a wrong number, or a number where the text holds none
    } catch (const ConversionError& e) {
        if (expected)
            __builtin_trap(); // a plain number in range was refused
        if (e.text() != text || e.source() != "fuzz")
            __builtin_trap();
    }
    return 0;
}
