#include "cli/ApplyPlan.h"

#include "port/CommandText.h"
#include "port/CouplingRule.h"

#include <array>

namespace cli {
namespace {

constexpr const char* kNeutralFunction = "Digital IO";

ApplyStep functionStep(std::int16_t pin, const std::string& name) {
    return {ApplyStep::Kind::Function, pin, name, "pin " + std::to_string(pin) + " function " + name};
}

template <typename T, typename Show>
void compare(std::vector<std::string>& lines, const std::string& what, const std::optional<T>& wanted,
             const std::optional<T>& found, Show show) {
    if (!wanted || wanted == found)
        return;
    lines.push_back(what + ": profile " + show(*wanted) + ", instrument " +
                    (found ? show(*found) : std::string("unknown")));
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

std::vector<ApplyStep> planApply(const PortSetup& profile, const PortSetup& present) {
    std::vector<ApplyStep> steps;
    std::array<bool, 7> functionDone{};
    for (std::int16_t pin = CouplingRule::kFirstPin; pin <= CouplingRule::kLastPin; ++pin) {
        const auto k = static_cast<std::size_t>(pin - 1);
        const auto& held = present.pins[k].function;
        const auto& wanted = profile.pins[k].function;
        if (!held || !wanted || *held == *wanted || !CouplingRule::isCouplingFunction(*held))
            continue;
        if (CouplingRule::isCouplingFunction(*wanted)) {
            steps.push_back(functionStep(pin, kNeutralFunction));
        } else {
            steps.push_back(functionStep(pin, *wanted));
            functionDone[k] = true;
        }
    }
    for (std::int16_t pin = 1; pin <= 7; ++pin) {
        const auto k = static_cast<std::size_t>(pin - 1);
        const auto& wanted = profile.pins[k];
        if (wanted.function && !functionDone[k])
            steps.push_back(functionStep(pin, *wanted.function));
        if (wanted.polarity)
            steps.push_back({ApplyStep::Kind::Polarity, pin, polarityWord(*wanted.polarity),
                             "pin " + std::to_string(pin) + " polarity " + polarityName(*wanted.polarity)});
    }
    if (profile.outputWord)
        steps.push_back({ApplyStep::Kind::OutputWord, 0, std::to_string(*profile.outputWord),
                         "output word " + std::to_string(*profile.outputWord)});
    if (profile.inhibitMode)
        steps.push_back({ApplyStep::Kind::InhibitMode, 0, inhibitModeWord(*profile.inhibitMode),
                         "inhibit mode " + inhibitModeName(*profile.inhibitMode)});
    return steps;
}

std::vector<std::string> findDifferences(const PortSetup& profile, const PortSetup& instrument) {
    std::vector<std::string> lines;
    for (std::size_t k = 0; k < profile.pins.size(); ++k) {
        const std::string pin = "pin " + std::to_string(k + 1);
        compare(lines, pin + " function", profile.pins[k].function, instrument.pins[k].function,
                [](const std::string& name) { return name; });
        compare(lines, pin + " polarity", profile.pins[k].polarity, instrument.pins[k].polarity,
                polarityName);
    }
    compare(lines, "output word", profile.outputWord, instrument.outputWord,
            [](int word) { return std::to_string(word); });
    compare(lines, "inhibit mode", profile.inhibitMode, instrument.inhibitMode, inhibitModeName);
    return lines;
}

} // namespace cli
