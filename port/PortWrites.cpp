#include "port/PortWrites.h"

#include "port/CommandText.h"
#include "port/CouplingRule.h"
#include "port/KnownPort.h"
#include "port/PortRules.h"
#include "port/PortSession.h"

namespace PortWrites {
namespace {

std::string pinName(int pin) {
    return "pin " + std::to_string(pin);
}

void refuse(const PortSession& session, const std::string& step, const std::string& why) {
    session.fail(PortFailure::Cause::Refused, step, why);
}

void requirePin(const PortSession& session, int pin, const std::string& step) {
    if (pin < 1 || pin > kPinCount)
        refuse(session, step,
               "the pin must be a number from 1 to " + std::to_string(kPinCount) + "; nothing was sent");
}

// The port's rules for `function` on `pin` against the port as read: nothing is sent when they refuse.
void checkFunction(const PortSession& session, int pin, const std::string& function,
                   const PortSetup& present) {
    const auto shortPin = static_cast<std::int16_t>(pin);
    const std::string step = pinName(pin) + " function";
    const auto functions = pinFunctions(present);
    const auto refusal = PortRules::refusalForPin(shortPin, function, functions);
    if (!refusal)
        return;
    const std::string detail = *refusal + "; " + pinName(pin) + " was not changed";
    if (PortRules::offers(shortPin, function) && CouplingRule::isCouplingFunction(function)) {
        const auto holding = CouplingRule::pinsHolding(function, shortPin, functions);
        if (!holding.empty())
            throw CouplingRefused(session.resource(), step, detail, function,
                                  std::vector<int>(holding.begin(), holding.end()));
    }
    refuse(session, step, detail);
}

} // namespace

void setPin(PortSession& session, int pin, const std::string& function, std::optional<Polarity> polarity,
            const ChangeGuard& guard) {
    requirePin(session, pin, pinName(pin) + " function");
    const auto present = readPortForChange(session, guard.force, guard.nothingSent);
    checkFunction(session, pin, function, present.setup);
    const auto shortPin = static_cast<std::int16_t>(pin);
    session.command(pinName(pin) + " function", CommandText::pinFunction(function, shortPin));
    if (polarity)
        session.command(pinName(pin) + " polarity",
                        CommandText::pinPolarity(polarityWord(*polarity), shortPin));
}

void setPinFunction(PortSession& session, int pin, const std::string& function, const ChangeGuard& guard) {
    setPin(session, pin, function, std::nullopt, guard);
}

void setPinPolarity(PortSession& session, int pin, Polarity polarity, const ChangeGuard& guard) {
    const std::string step = pinName(pin) + " polarity";
    requirePin(session, pin, step);
    const auto present = readPortForChange(session, guard.force, guard.nothingSent);
    const auto& pin1 = present.setup.pins[PortRules::kFaultPin - 1].function;
    if (pin == PortRules::kFaultCommonPin && pin1 && PortRules::pin2IsFaultCommon(*pin1))
        refuse(session, step, PortRules::faultCommonMessage() + "; " + pinName(pin) + " was not changed");
    session.command(step, CommandText::pinPolarity(polarityWord(polarity), static_cast<std::int16_t>(pin)));
}

void setOutputWord(PortSession& session, int word, const ChangeGuard& guard) {
    if (!PortRules::isOutputWord(word))
        refuse(session, "output word",
               "the output word must be a whole number from 0 to " +
                   std::to_string(PortRules::kMaxOutputWord) + ", not " + std::to_string(word) +
                   "; nothing was sent");
    readPortForChange(session, guard.force, guard.nothingSent);
    session.command("output word", CommandText::outputData(std::to_string(word)));
}

void setInhibitMode(PortSession& session, InhibitMode mode, const ChangeGuard& guard) {
    readPortForChange(session, guard.force, guard.nothingSent);
    session.command("inhibit mode", CommandText::inhibitMode(inhibitModeWord(mode)));
}

} // namespace PortWrites
