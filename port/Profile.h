#pragma once

#include "base/UserError.h"
#include "port/PortSetup.h"

#include <string>

// The port profile file: small, human-editable, versioned JSON with pin functions by display name.
//   {"format": "pinwright-profile", "version": 1,
//    "pins": [{"pin": 1, "function": "Digital IO", "polarity": "positive"}, ...],
//    "outputWord": 5, "inhibitMode": "latching"}
// Every field but format and version may be left out; apply then leaves that setting as it is. Names
// are read as PortNames reads them (any letter case, mnemonics too) and written canonically.
namespace Profile {

inline constexpr const char* kFormat = "pinwright-profile";
inline constexpr int kVersion = 1;

// Where a profile is wrong ("pins[2].function", "line 4") and what is wrong there.
class Refusal : public base::UserError {
public:
    Refusal(std::string where, const std::string& what)
        : base::UserError(where + ": " + what), where_(std::move(where)), what_(what) {}
    const std::string& where() const noexcept { return where_; }
    const std::string& problem() const noexcept { return what_; }

private:
    std::string where_;
    std::string what_;
};

// Checks everything that does not depend on the instrument: JSON syntax (naming the line), format and
// version, known fields only, pins 1 to 7 once each, known names, each function on a pin that offers it,
// each coupling function on one pin at most, an output word 0 to 127. What depends on the instrument's
// state is ProfileCheck's. Throws Refusal.
PortSetup parse(const std::string& text);

// The profile of a set-up, every setting it holds.
std::string write(const PortSetup& setup);

} // namespace Profile
