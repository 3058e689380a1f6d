#include "port/ProfileCheck.h"

#include "port/CouplingRule.h"
#include "port/PortRules.h"

namespace ProfileCheck {
namespace {

const PinSetup& pinOf(const PortSetup& setup, std::int16_t pin) {
    return setup.pins[static_cast<std::size_t>(pin - 1)];
}

std::string pinName(std::int16_t pin) {
    return "pin " + std::to_string(pin);
}

void checkOffered(const PortSetup& profile, std::vector<std::string>& refusals) {
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin)
        if (const auto& function = pinOf(profile, pin).function;
            function && !PortRules::offers(pin, *function))
            refusals.push_back("the profile's " + pinName(pin) + ": " +
                               PortRules::notOfferedMessage(pin, *function));
}

// While pin 1 stays "Fault", pin 2 is its common: the profile may repeat what pin 2 holds, not change
// it. A pin 1 that takes "Fault" in the same profile takes it after pin 2 is set (ApplyPlan's order).
void checkFaultCommon(const PortSetup& profile, const PortSetup& present,
                      std::vector<std::string>& refusals) {
    const auto& wanted = pinOf(profile, PortRules::kFaultCommonPin);
    const auto& held = pinOf(present, PortRules::kFaultCommonPin);
    const bool changesPin2 = (wanted.function && wanted.function != held.function) ||
                             (wanted.polarity && wanted.polarity != held.polarity);
    const auto& pin1Wanted = pinOf(profile, PortRules::kFaultPin).function;
    const bool pin1StaysFault =
        PortRules::pin2IsFaultCommon(pinOf(present, PortRules::kFaultPin).function.value_or("")) &&
        (!pin1Wanted || PortRules::pin2IsFaultCommon(*pin1Wanted));
    if (changesPin2 && pin1StaysFault)
        refusals.push_back(
            "pin 1 holds Fault, so pin 2 is its common and cannot be set: leave pin 2 out of the "
            "profile (or let it repeat what pin 2 holds), or give pin 1 another function in it");
}

// Each coupling function the profile gives to a pin may be held by no other of pins 4 to 7 once the
// profile is applied: a pin the profile leaves alone keeps what it holds.
void checkCoupling(const PortSetup& profile, const PortSetup& present, std::vector<std::string>& refusals) {
    PortSetup after = present;
    for (std::size_t k = 0; k < after.pins.size(); ++k)
        if (profile.pins[k].function)
            after.pins[k].function = profile.pins[k].function;
    const TextTable functions = pinFunctions(after);
    for (std::int16_t pin = CouplingRule::kFirstPin; pin <= CouplingRule::kLastPin; ++pin) {
        const auto& wanted = pinOf(profile, pin).function;
        if (!wanted || !CouplingRule::isCouplingFunction(*wanted))
            continue;
        const auto holders = CouplingRule::pinsHolding(*wanted, pin, functions);
        if (holders.empty())
            continue;
        std::vector<std::int16_t> leftOut;
        bool functionLeftOut = false;
        for (const auto holder : holders) {
            leftOut.push_back(holder);
            const auto& entry = pinOf(profile, holder);
            functionLeftOut = functionLeftOut || entry.polarity.has_value();
        }
        const std::string list = PortRules::pinList(leftOut);
        const bool one = leftOut.size() == 1;
        refusals.push_back("the profile gives " + *wanted + " to " + pinName(pin) + ", but it leaves " +
                           list + (functionLeftOut ? "'s function" : "") + " out, and " +
                           (one ? list : "they") + (one ? " holds " : " hold ") + *wanted + ": give " + list +
                           " another function in the profile");
    }
}

} // namespace

std::vector<std::string> refusals(const PortSetup& profile, const PortSetup& present) {
    std::vector<std::string> found;
    checkOffered(profile, found);
    checkFaultCommon(profile, present, found);
    checkCoupling(profile, present, found);
    return found;
}

} // namespace ProfileCheck
