#include "port/PortNames.h"

#include "base/AsciiCase.h"
#include "port/PinFunctionTable.h"

#include <array>
#include <utility>

namespace PortNames {
namespace {

template <typename Value> struct Name {
    Value value;
    const char* name;
    const char* word; // the instrument's
};

constexpr std::array<Name<Polarity>, 2> kPolarities{{
    {Polarity::Positive, "positive", "POS"},
    {Polarity::Negative, "negative", "NEG"},
}};
constexpr std::array<Name<InhibitMode>, 3> kInhibitModes{{
    {InhibitMode::Live, "live", "LIVE"},
    {InhibitMode::Latching, "latching", "LATC"},
    {InhibitMode::Off, "off", "OFF"},
}};

template <typename Value, std::size_t N>
std::optional<Value> valueNamed(const std::array<Name<Value>, N>& names, std::string_view text) {
    for (const auto& entry : names)
        if (base::asciiEqualIgnoringCase(text, entry.name) || base::asciiEqualIgnoringCase(text, entry.word))
            return entry.value;
    return std::nullopt;
}

template <typename Value, std::size_t N>
std::string nameOf(const std::array<Name<Value>, N>& names, Value value) {
    for (const auto& entry : names)
        if (entry.value == value)
            return entry.name;
    return {};
}

// "a, b (B) or c": each name, its instrument word when it is not the name in capitals.
template <typename Value, std::size_t N> std::string choices(const std::array<Name<Value>, N>& names) {
    std::string text;
    for (std::size_t i = 0; i < N; ++i) {
        text += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(names[i].name);
        if (base::asciiUpper(names[i].name) != names[i].word)
            text += std::string(" (") + names[i].word + ")";
    }
    return text;
}

} // namespace

std::optional<std::string> functionFromName(std::string_view text) {
    for (const auto& row : PinFunctionTable::Rows())
        if (base::asciiEqualIgnoringCase(text, row.displayName) ||
            base::asciiEqualIgnoringCase(text, row.mnemonic))
            return row.displayName;
    return std::nullopt;
}

std::optional<Polarity> polarityFromName(std::string_view text) {
    return valueNamed(kPolarities, text);
}

std::optional<InhibitMode> inhibitModeFromName(std::string_view text) {
    return valueNamed(kInhibitModes, text);
}

std::string polarityName(Polarity polarity) {
    return nameOf(kPolarities, polarity);
}

std::string inhibitModeName(InhibitMode mode) {
    return nameOf(kInhibitModes, mode);
}

std::string functionChoices() {
    std::string text;
    for (const auto& row : PinFunctionTable::Rows())
        text += (text.empty() ? "" : ", ") + std::string(row.displayName) + " (" + row.mnemonic + ")";
    return text;
}

std::string polarityChoices() {
    return choices(kPolarities);
}

std::string inhibitModeChoices() {
    return choices(kInhibitModes);
}

} // namespace PortNames
