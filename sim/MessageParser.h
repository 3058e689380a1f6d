#pragma once

#include "sim/ScpiError.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// One keyword of a header as typed: "PIN3" gives name "PIN" and suffix 3.
struct HeaderNode {
    std::string name;
    std::optional<int> suffix;
};

// One command or query of a program message, e.g. ":DIG:PIN3:FUNC TOUT" or "*IDN?".
struct ProgramUnit {
    bool common = false; // "*XXX": a single node whose name keeps the star
    bool rooted = false; // a leading ":" starts from the root instead of the current path
    bool query = false;
    std::vector<HeaderNode> nodes;
    std::vector<std::string> parameters; // trimmed, quotes kept
};

struct ParsedUnit {
    ProgramUnit unit;
    std::optional<ScpiError> error;
    bool blank = false; // nothing but white space, as between ";;" or after a final ";"
};

// Takes an IEEE 488.2 program message apart. It knows the grammar only; what the headers mean is
// the command table's business.
class MessageParser {
public:
    // The message's units, split at ";" outside quoted strings.
    static std::vector<std::string_view> splitUnits(std::string_view message);
    static ParsedUnit parseUnit(std::string_view text);
};

} // namespace sim
