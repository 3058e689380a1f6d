#pragma once

#include "sim/MessageParser.h"
#include "sim/ScpiError.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// What a command or query handler is given: the header's numeric suffix (1 when the header has none)
// and, for a command that takes one, its parameter.
struct Invocation {
    int suffix = 1;
    std::string_view parameter;
};

// A handler's result: an error for the queue, or for a query the reply text.
struct Outcome {
    std::optional<ScpiError> error;
    std::string reply;

    static Outcome failed(const ScpiError& error) { return Outcome{error, {}}; }
    static Outcome answered(std::string reply) { return Outcome{std::nullopt, std::move(reply)}; }
};

using Handler = std::function<Outcome(const Invocation&)>;

struct SuffixRange {
    int min = 1;
    int max = 1;
};

// The instrument's header tree and its dispatch, including IEEE 488.2 header path rules: after a
// command, the next unit of the same message continues from that command's parent node unless it
// starts with ":" or is a common command.
class CommandTable {
public:
    // pattern: keywords in long form with the short form in capitals, ":"-separated; "[...]" marks an
    // optional node and "#" a node taking a numeric suffix within `suffixes`, e.g.
    // "[SOURce]:DIGital:PIN#:FUNCtion". Common commands are written "*IDN". A missing handler means the
    // header has no command (or no query) form. A command takes exactly `parameterCount` parameters.
    void add(std::string_view pattern, Handler command, Handler query, int parameterCount = 1,
             SuffixRange suffixes = {});

    // Runs one unit. `path` is the current header path of the message, updated as the rules say.
    Outcome dispatch(const ProgramUnit& unit, std::vector<HeaderNode>& path) const;

private:
    struct Node {
        std::string keyword;
        bool optional = false;
        bool takesSuffix = false;
    };
    struct Entry {
        bool common = false;
        std::vector<Node> nodes;
        Handler command;
        Handler query;
        int parameterCount = 1;
        SuffixRange suffixes;
    };
    enum class Match { None, SuffixOutOfRange, Full };
    struct Found {
        const Entry* entry = nullptr;
        int suffix = 1;
        Match match = Match::None;
    };

    Found find(const ProgramUnit& unit, const std::vector<HeaderNode>& nodes) const;
    static Match matchNodes(const Entry& entry, std::size_t patternAt, const std::vector<HeaderNode>& typed,
                            std::size_t typedAt, int& suffix);
    static Outcome invoke(const Entry& entry, const ProgramUnit& unit, int suffix);

    std::vector<Entry> entries_;
};

} // namespace sim
