#include "port/PortRules.h"

#include "port/CouplingRule.h"
#include "port/PinFunctionTable.h"

#include <algorithm>

namespace PortRules {
namespace {

constexpr int kCommonFunctions = 4; // the first rows of the pin function table

// The one pin of a function only one pin offers, or nothing.
std::optional<std::int16_t> onlyPinFor(const std::string& displayName) {
    if (displayName == kFault)
        return kFaultPin;
    if (displayName == "Inhibit")
        return 3;
    return std::nullopt;
}

std::string andList(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

} // namespace

bool isOutputWord(long word) {
    return word >= 0 && word <= kMaxOutputWord;
}

bool offers(std::int16_t pin, const std::string& displayName) {
    const auto rows = PinFunctionTable::Rows();
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& candidate) {
        return displayName == candidate.displayName;
    });
    if (row == rows.end() || pin < 1 || pin > kPinCount)
        return false;
    if (row - rows.begin() < kCommonFunctions)
        return true;
    if (CouplingRule::isCouplingFunction(displayName))
        return pin >= CouplingRule::kFirstPin && pin <= CouplingRule::kLastPin;
    return onlyPinFor(displayName) == pin;
}

std::vector<std::string> functionsOffered(std::int16_t pin) {
    std::vector<std::string> names;
    for (const auto& row : PinFunctionTable::Rows())
        if (offers(pin, row.displayName))
            names.emplace_back(row.displayName);
    return names;
}

std::string notOfferedMessage(std::int16_t pin, const std::string& displayName) {
    const auto only = onlyPinFor(displayName);
    const std::string where = only ? "pin " + std::to_string(*only) + " only"
                                   : "pins " + std::to_string(CouplingRule::kFirstPin) + " to " +
                                         std::to_string(CouplingRule::kLastPin) + " only";
    return displayName + " is offered on " + where + " (pin " + std::to_string(pin) + " offers " +
           andList(functionsOffered(pin)) + ")";
}

bool pin2IsFaultCommon(const std::string& pin1Function) {
    return pin1Function == kFault;
}

std::string faultCommonMessage() {
    return "pin 1 is set to be a fault output, so pin 2 is its common and cannot be set";
}

std::optional<std::string> refusalForPin(std::int16_t pin, const std::string& function,
                                         const TextTable& functions) {
    if (!offers(pin, function))
        return notOfferedMessage(pin, function);
    if (pin == kFaultCommonPin && pin2IsFaultCommon(functions[kFaultPin]))
        return faultCommonMessage();
    if (CouplingRule::isCouplingFunction(function))
        if (const auto holders = CouplingRule::pinsHolding(function, pin, functions); !holders.empty())
            return function + " is already set for " + pinList(holders) + "; only one pin can be set to " +
                   function;
    return std::nullopt;
}

PortSetup afterReset(const PortSetup& setup) {
    PortSetup reset = setup;
    reset.outputWord = 0;
    return reset;
}

std::string pinList(const std::vector<std::int16_t>& pins) {
    std::vector<std::string> numbers;
    for (const auto pin : pins)
        numbers.push_back(std::to_string(pin));
    return (pins.size() == 1 ? "pin " : "pins ") + andList(numbers);
}

} // namespace PortRules
