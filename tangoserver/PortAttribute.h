#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tango {
class Attr;
}

namespace tangoserver {

// What one attribute of a PinwrightPort device shows: the port's settings one by one, the identity and
// the input word.
struct PortAttribute {
    enum class Kind { Identity, PinFunction, PinPolarity, OutputWord, InputWord, InhibitMode };
    Kind kind;
    std::int16_t pin = 0; // PinFunction and PinPolarity: 1 to 7

    std::string name() const; // "Identity", "Pin5Function", "OutputWord", ...
};

// Every attribute of the class, with its Tango type, range, labels, unit and description, each pushing
// change events when the server says so. Tango owns what this returns.
std::vector<Tango::Attr*> makePortAttributes();

} // namespace tangoserver
