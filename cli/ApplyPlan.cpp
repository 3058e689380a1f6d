#include "cli/ApplyPlan.h"

#include "port/CommandText.h"
#include "port/CouplingRule.h"

#include <array>

namespace cli {
namespace {

constexpr const char* kNeutralFunction = "Digital IO";

ApplyStep FunctionStep(std::int16_t pin, const std::string& name) {
    return {ApplyStep::Kind::Function, pin, name, "pin " + std::to_string(pin) + " function " + name};
}

template <typename T, typename Show>
void Compare(std::vector<std::string>& lines, const std::string& what, const std::optional<T>& wanted,
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
        return CommandText::PinFunction(value, pin);
    case Kind::Polarity:
        return CommandText::PinPolarity(value, pin);
    case Kind::OutputWord:
        return CommandText::OutputData(value);
    case Kind::InhibitMode:
        return CommandText::InhibitMode(value);
    }
    return {};
}

std::vector<ApplyStep> PlanApply(const PortSetup& profile, const PortSetup& present) {
    std::vector<ApplyStep> steps;
    std::array<bool, 7> functionDone{};
    for (std::int16_t pin = CouplingRule::kFirstPin; pin <= CouplingRule::kLastPin; ++pin) {
        const auto k = static_cast<std::size_t>(pin - 1);
        const auto& held = present.pins[k].function;
        const auto& wanted = profile.pins[k].function;
        if (!held || !wanted || *held == *wanted || !CouplingRule::IsCouplingFunction(*held))
            continue;
        if (CouplingRule::IsCouplingFunction(*wanted)) {
            steps.push_back(FunctionStep(pin, kNeutralFunction));
        } else {
            steps.push_back(FunctionStep(pin, *wanted));
            functionDone[k] = true;
        }
    }
    for (std::int16_t pin = 1; pin <= 7; ++pin) {
        const auto k = static_cast<std::size_t>(pin - 1);
        const auto& wanted = profile.pins[k];
        if (wanted.function && !functionDone[k])
            steps.push_back(FunctionStep(pin, *wanted.function));
        if (wanted.polarity)
            steps.push_back({ApplyStep::Kind::Polarity, pin, PolarityWord(*wanted.polarity),
                             "pin " + std::to_string(pin) + " polarity " + PolarityName(*wanted.polarity)});
    }
    if (profile.outputWord)
        steps.push_back({ApplyStep::Kind::OutputWord, 0, std::to_string(*profile.outputWord),
                         "output word " + std::to_string(*profile.outputWord)});
    if (profile.inhibitMode)
        steps.push_back({ApplyStep::Kind::InhibitMode, 0, InhibitModeWord(*profile.inhibitMode),
                         "inhibit mode " + InhibitModeName(*profile.inhibitMode)});
    return steps;
}

std::vector<std::string> Differences(const PortSetup& profile, const PortSetup& instrument) {
    std::vector<std::string> lines;
    for (std::size_t k = 0; k < profile.pins.size(); ++k) {
        const std::string pin = "pin " + std::to_string(k + 1);
        Compare(lines, pin + " function", profile.pins[k].function, instrument.pins[k].function,
                [](const std::string& name) { return name; });
        Compare(lines, pin + " polarity", profile.pins[k].polarity, instrument.pins[k].polarity,
                PolarityName);
    }
    Compare(lines, "output word", profile.outputWord, instrument.outputWord,
            [](int word) { return std::to_string(word); });
    Compare(lines, "inhibit mode", profile.inhibitMode, instrument.inhibitMode, InhibitModeName);
    return lines;
}

} // namespace cli
