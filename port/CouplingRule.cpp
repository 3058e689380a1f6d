#include "port/CouplingRule.h"

namespace CouplingRule {

bool isCouplingFunction(const std::string& displayName) {
    return displayName == "On Couple" || displayName == "Off Couple";
}

std::vector<std::int16_t> pinsHolding(const std::string& displayName, std::int16_t pin,
                                      const TextTable& functions) {
    std::vector<std::int16_t> holders;
    for (std::int16_t candidate = kFirstPin; candidate <= kLastPin; ++candidate)
        if (candidate != pin && functions[candidate] == displayName)
            holders.push_back(candidate);
    return holders;
}

std::string clashMessage(const std::string& displayName, std::int16_t holdingPin) {
    return displayName + " is already set for pin " + std::to_string(holdingPin) +
           ".  Only one pin can be set to " + displayName + ".";
}

} // namespace CouplingRule
