#include "tangoserver/PortLabels.h"

#include "port/PortNames.h"
#include "port/PortRules.h"

#include <algorithm>
#include <array>

namespace tangoserver::PortLabels {
namespace {

constexpr std::array kPolarities{Polarity::Positive, Polarity::Negative};
constexpr std::array kInhibitModes{InhibitMode::Live, InhibitMode::Latching, InhibitMode::Off};

// PortNames prints polarities and modes in lower case, as words in a sentence; a label stands alone.
std::string label(std::string name) {
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
        name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
}

template <typename Value, std::size_t N> short indexIn(const std::array<Value, N>& values, Value value) {
    const auto at = std::find(values.begin(), values.end(), value);
    return at == values.end() ? short(-1) : static_cast<short>(at - values.begin());
}

template <typename Value, std::size_t N>
std::optional<Value> valueAt(const std::array<Value, N>& values, long index) {
    if (index < 0 || static_cast<std::size_t>(index) >= N)
        return std::nullopt;
    return values[static_cast<std::size_t>(index)];
}

} // namespace

std::vector<std::string> functions(std::int16_t pin) {
    return PortRules::functionsOffered(pin);
}

std::vector<std::string> polarities() {
    std::vector<std::string> labels;
    for (const auto polarity : kPolarities)
        labels.push_back(label(PortNames::polarityName(polarity)));
    return labels;
}

std::vector<std::string> inhibitModes() {
    std::vector<std::string> labels;
    for (const auto mode : kInhibitModes)
        labels.push_back(label(PortNames::inhibitModeName(mode)));
    return labels;
}

std::optional<short> functionIndex(std::int16_t pin, const std::string& displayName) {
    const auto offered = functions(pin);
    const auto at = std::find(offered.begin(), offered.end(), displayName);
    if (at == offered.end())
        return std::nullopt;
    return static_cast<short>(at - offered.begin());
}

short polarityIndex(Polarity polarity) {
    return indexIn(kPolarities, polarity);
}

short inhibitModeIndex(InhibitMode mode) {
    return indexIn(kInhibitModes, mode);
}

std::optional<std::string> functionAt(std::int16_t pin, long index) {
    const auto offered = functions(pin);
    if (index < 0 || static_cast<std::size_t>(index) >= offered.size())
        return std::nullopt;
    return offered[static_cast<std::size_t>(index)];
}

std::optional<Polarity> polarityAt(long index) {
    return valueAt(kPolarities, index);
}

std::optional<InhibitMode> inhibitModeAt(long index) {
    return valueAt(kInhibitModes, index);
}

} // namespace tangoserver::PortLabels
