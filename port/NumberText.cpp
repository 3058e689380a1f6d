#include "port/NumberText.h"

#include "port/ConversionError.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Whether the fraction digits (after the point) round the magnitude up, halves to even.
bool RoundsUp(std::string_view fraction, long long magnitude) {
    if (fraction.empty() || fraction[0] < '5')
        return false;
    if (fraction[0] > '5')
        return true;
    for (char c : fraction.substr(1))
        if (c != '0')
            return true;
    return magnitude % 2 != 0;
}

} // namespace

std::int16_t ToInt16(const std::string& text, const std::string& source) {
    std::string_view s(text);
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);

    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }

    // Mantissa digits with the decimal point's position, then an optional exponent (NR3 replies).
    std::string digits;
    std::ptrdiff_t pointAt = -1;
    std::size_t i = 0;
    for (; i < s.size() && (IsDigit(s[i]) || s[i] == '.'); ++i) {
        if (s[i] == '.') {
            if (pointAt >= 0)
                throw ConversionError(source, text);
            pointAt = static_cast<std::ptrdiff_t>(digits.size());
        } else {
            digits += s[i];
        }
    }
    if (digits.empty())
        throw ConversionError(source, text);
    if (pointAt < 0)
        pointAt = static_cast<std::ptrdiff_t>(digits.size());
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            negativeExponent = s[i++] == '-';
        // A shift of more places than there are digits, plus a margin past 32768's five, cannot
        // change the outcome (out of range, or below one tenth), so it saturates there; a fixed cap
        // would misread a long text such as "0.000...5E+1201".
        const std::size_t exponentStart = i;
        const long saturation = static_cast<long>(digits.size()) + 10;
        long exponent = 0;
        for (; i < s.size() && IsDigit(s[i]); ++i)
            exponent = std::min(exponent * 10 + (s[i] - '0'), saturation);
        if (i == exponentStart)
            throw ConversionError(source, text);
        pointAt += negativeExponent ? -exponent : exponent;
    }
    if (i != s.size())
        throw ConversionError(source, text);

    // Split at the (shifted) point; anything past 32768 is out of range, so stop accumulating early
    // and long texts cannot overflow.
    long long magnitude = 0;
    for (std::ptrdiff_t k = 0; k < pointAt; ++k) {
        const char c =
            k < static_cast<std::ptrdiff_t>(digits.size()) ? digits[static_cast<std::size_t>(k)] : '0';
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 100000)
            throw ConversionError(source, text);
    }
    // A point left of every digit means a value below one tenth: a leading zero says so to RoundsUp.
    const auto split = static_cast<std::size_t>(
        std::clamp<std::ptrdiff_t>(pointAt, 0, static_cast<std::ptrdiff_t>(digits.size())));
    const std::string fraction = (pointAt < 0 ? "0" : "") + digits.substr(split);
    if (RoundsUp(fraction, magnitude))
        ++magnitude;

    const long long value = negative ? -magnitude : magnitude;
    if (value < -32768 || value > 32767)
        throw ConversionError(source, text);
    return static_cast<std::int16_t>(value);
}
