#include "cli/ApplyPlan.h"

#include "port/CommandText.h"
#include "port/CouplingRule.h"

#include <algorithm>
#include <array>

namespace cli {
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
    return polarity ? std::optional(polarityName(*polarity)) : std::nullopt;
}

// Every setting of the port by name, in port order; unset values stay unset.
std::vector<std::pair<std::string, std::optional<std::string>>> settingsOf(const PortSetup& setup) {
    std::vector<std::pair<std::string, std::optional<std::string>>> settings;
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        const auto& entry = setup.pins[static_cast<std::size_t>(pin - 1)];
        settings.emplace_back(pinName(pin) + " function", entry.function);
        settings.emplace_back(pinName(pin) + " polarity", shownPolarity(entry.polarity));
    }
    settings.emplace_back("output word",
                          setup.outputWord ? std::optional(std::to_string(*setup.outputWord)) : std::nullopt);
    settings.emplace_back("inhibit mode", setup.inhibitMode
                                              ? std::optional(inhibitModeName(*setup.inhibitMode))
                                              : std::nullopt);
    return settings;
}

TextTable functionTable(const std::array<std::optional<std::string>, kPinCount>& held) {
    TextTable functions;
    functions.resize(kPinCount);
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin)
        functions[pin] = held[static_cast<std::size_t>(pin - 1)].value_or("");
    return functions;
}

std::array<std::optional<std::string>, kPinCount> functionsHeld(const PortSetup& setup) {
    std::array<std::optional<std::string>, kPinCount> functions;
    for (std::size_t k = 0; k < functions.size(); ++k)
        functions[k] = setup.pins[k].function;
    return functions;
}

} // namespace

TextTable pinFunctions(const PortSetup& setup) {
    return functionTable(functionsHeld(setup));
}

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

std::vector<std::string> findCouplingClashes(const PortSetup& profile, const PortSetup& present) {
    PortSetup after = present;
    for (std::size_t k = 0; k < after.pins.size(); ++k)
        if (profile.pins[k].function)
            after.pins[k].function = profile.pins[k].function;
    const TextTable functions = pinFunctions(after);
    std::vector<std::string> clashes;
    for (std::int16_t pin = CouplingRule::kFirstPin; pin <= CouplingRule::kLastPin; ++pin) {
        const auto& wanted = profile.pins[static_cast<std::size_t>(pin - 1)].function;
        if (wanted && CouplingRule::isCouplingFunction(*wanted))
            for (const std::int16_t holder : CouplingRule::pinsHolding(*wanted, pin, functions))
                clashes.push_back(CouplingRule::clashMessage(*wanted, holder));
    }
    return clashes;
}

std::vector<ApplyStep> planApply(const PortSetup& profile, const PortSetup& present) {
    std::vector<ApplyStep> steps;
    auto functions = functionsHeld(present);
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
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin) {
        const auto k = static_cast<std::size_t>(pin - 1);
        const auto& wanted = profile.pins[k];
        if (wanted.function && wanted.function != functions[k])
            setFunction(pin, *wanted.function);
        if (wanted.polarity && wanted.polarity != present.pins[k].polarity)
            steps.push_back({ApplyStep::Kind::Polarity,
                             pin,
                             polarityWord(*wanted.polarity),
                             {pinName(pin) + " polarity", shown(shownPolarity(present.pins[k].polarity)),
                              polarityName(*wanted.polarity)}});
    }
    for (const auto& change : findDifferences(profile, present)) {
        if (change.setting == "output word")
            steps.push_back({ApplyStep::Kind::OutputWord, 0, change.to, change});
        else if (change.setting == "inhibit mode")
            steps.push_back({ApplyStep::Kind::InhibitMode, 0, inhibitModeWord(*profile.inhibitMode), change});
    }
    return steps;
}

std::string changeLine(const SettingChange& change) {
    return change.setting + ": " + change.from + " -> " + change.to;
}

} // namespace cli
