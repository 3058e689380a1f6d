#include "port/ApplyPlan.h"

#include "port/CommandText.h"
#include "port/CouplingRule.h"
#include "port/PortNames.h"
#include "port/PortRules.h"

#include <algorithm>
#include <array>

namespace ApplyPlan {
namespace {

constexpr const char* kNeutralFunction = "Digital IO";
constexpr const char* kUnknown = "unknown";

std::string pinName(std::int16_t pin) {
    return "pin " + std::to_string(pin);
}

std::string shown(const std::optional<std::string>& value) {
    return value.value_or(kUnknown);
}

std::optional<std::string> shownPolarity(const std::optional<Polarity>& polarity) {
    return polarity ? std::optional(PortNames::polarityName(*polarity)) : std::nullopt;
}

std::optional<std::string> shownWord(const std::optional<int>& word) {
    return word ? std::optional(std::to_string(*word)) : std::nullopt;
}

std::optional<std::string> shownMode(const std::optional<InhibitMode>& mode) {
    return mode ? std::optional(PortNames::inhibitModeName(*mode)) : std::nullopt;
}

// Every setting of the port by name, in port order; unset values stay unset.
std::vector<std::pair<std::string, std::optional<std::string>>> settingsOf(const PortSetup& setup) {
    std::vector<std::pair<std::string, std::optional<std::string>>> settings;
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        const auto& entry = setup.pins[static_cast<std::size_t>(pin - 1)];
        settings.emplace_back(pinName(pin) + " function", entry.function);
        settings.emplace_back(pinName(pin) + " polarity", shownPolarity(entry.polarity));
    }
    settings.emplace_back("output word", shownWord(setup.outputWord));
    settings.emplace_back("inhibit mode", shownMode(setup.inhibitMode));
    return settings;
}

TextTable functionTable(const std::array<std::optional<std::string>, kPinCount>& held) {
    TextTable functions;
    functions.resize(kPinCount);
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin)
        functions[pin] = held[static_cast<std::size_t>(pin - 1)].value_or("");
    return functions;
}

} // namespace

std::string ApplyStep::commandText() const {
    switch (kind) {
    case Kind::Function:
        return CommandText::pinFunction(value, pin);
    case Kind::Polarity:
        return CommandText::pinPolarity(value, pin);
    case Kind::OutputWord:
        return CommandText::outputData(value);
    case Kind::InhibitMode:
        return CommandText::inhibitMode(value);
    }
    return {};
}

std::vector<SettingChange> findDifferences(const PortSetup& profile, const PortSetup& instrument) {
    std::vector<SettingChange> changes;
    const auto wanted = settingsOf(profile);
    const auto held = settingsOf(instrument);
    for (std::size_t i = 0; i < wanted.size(); ++i)
        if (wanted[i].second && wanted[i].second != held[i].second)
            changes.push_back({wanted[i].first, shown(held[i].second), *wanted[i].second});
    return changes;
}

std::vector<ApplyStep> planApply(const PortSetup& profile, const PortSetup& present) {
    std::vector<ApplyStep> steps;
    std::array<std::optional<std::string>, kPinCount> functions;
    for (std::size_t k = 0; k < functions.size(); ++k)
        functions[k] = present.pins[k].function;
    const auto setFunction = [&](std::int16_t pin, const std::string& name) {
        auto& held = functions[static_cast<std::size_t>(pin - 1)];
        steps.push_back(
            {ApplyStep::Kind::Function, pin, name, {pinName(pin) + " function", shown(held), name}});
        held = name;
    };

    // The pins that hold a coupling function the profile moves elsewhere go first, each straight to its
    // new function as soon as no other pin holds that; when each waits on another (a swap), the first
    // gives way on "Digital IO" and takes its new function with the other pins below.
    std::vector<std::int16_t> moving;
    for (std::int16_t pin = CouplingRule::kFirstPin; pin <= CouplingRule::kLastPin; ++pin) {
        const auto& held = functions[static_cast<std::size_t>(pin - 1)];
        const auto& wanted = profile.pins[static_cast<std::size_t>(pin - 1)].function;
        if (held && wanted && *held != *wanted && CouplingRule::isCouplingFunction(*held))
            moving.push_back(pin);
    }
    while (!moving.empty()) {
        const auto free = std::find_if(moving.begin(), moving.end(), [&](std::int16_t pin) {
            const auto& wanted = *profile.pins[static_cast<std::size_t>(pin - 1)].function;
            return !CouplingRule::isCouplingFunction(wanted) ||
                   CouplingRule::pinsHolding(wanted, pin, functionTable(functions)).empty();
        });
        if (free == moving.end()) {
            setFunction(moving.front(), kNeutralFunction);
            moving.erase(moving.begin());
        } else {
            setFunction(*free, *profile.pins[static_cast<std::size_t>(*free - 1)].function);
            moving.erase(free);
        }
    }
    // Pin 2 cannot be set while pin 1 is "Fault": a pin 1 that takes Fault goes after pin 2, one that
    // leaves it before.
    std::vector<std::int16_t> order;
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin)
        order.push_back(pin);
    const auto& pin1 = profile.pins[PortRules::kFaultPin - 1].function;
    if (pin1 && PortRules::pin2IsFaultCommon(*pin1) && pin1 != functions[PortRules::kFaultPin - 1])
        std::swap(order[0], order[1]);
    for (const std::int16_t pin : order) {
        const auto k = static_cast<std::size_t>(pin - 1);
        const auto& wanted = profile.pins[k];
        if (wanted.function && wanted.function != functions[k])
            setFunction(pin, *wanted.function);
        if (wanted.polarity && wanted.polarity != present.pins[k].polarity)
            steps.push_back({ApplyStep::Kind::Polarity,
                             pin,
                             polarityWord(*wanted.polarity),
                             {pinName(pin) + " polarity", shown(shownPolarity(present.pins[k].polarity)),
                              PortNames::polarityName(*wanted.polarity)}});
    }
    if (profile.outputWord && profile.outputWord != present.outputWord) {
        const std::string word = std::to_string(*profile.outputWord);
        steps.push_back({ApplyStep::Kind::OutputWord,
                         0,
                         word,
                         {"output word", shown(shownWord(present.outputWord)), word}});
    }
    if (profile.inhibitMode && profile.inhibitMode != present.inhibitMode)
        steps.push_back({ApplyStep::Kind::InhibitMode,
                         0,
                         inhibitModeWord(*profile.inhibitMode),
                         {"inhibit mode", shown(shownMode(present.inhibitMode)),
                          PortNames::inhibitModeName(*profile.inhibitMode)}});
    return steps;
}

std::string changeLine(const SettingChange& change) {
    return change.setting + ": " + change.from + " -> " + change.to;
}

} // namespace ApplyPlan
