#include "sim/CommandTable.h"

#include "sim/Keyword.h"

#include <algorithm>

namespace sim {

void CommandTable::add(std::string_view pattern, Handler command, Handler query, int parameterCount,
                       SuffixRange suffixes) {
    Entry entry{pattern.starts_with('*'), {}, std::move(command), std::move(query), parameterCount, suffixes};
    std::string keyword;
    bool optional = false;
    const auto flush = [&] {
        if (keyword.empty()) {
            return;
        }
        const bool takesSuffix = keyword.back() == '#';
        if (takesSuffix) {
            keyword.pop_back();
        }
        entry.nodes.push_back(Node{keyword, optional, takesSuffix});
        keyword.clear();
    };
    for (const char c : pattern) {
        if (c == '[' || c == ']' || c == ':') {
            flush();
            optional = c == '[' || (optional && c == ':');
        } else {
            keyword += c;
        }
    }
    flush();
    entries_.push_back(std::move(entry));
}

CommandTable::Match CommandTable::matchNodes(const Entry& entry, std::size_t patternAt,
                                             const std::vector<HeaderNode>& typed, std::size_t typedAt,
                                             int& suffix) {
    if (patternAt == entry.nodes.size()) {
        return typedAt == typed.size() ? Match::Full : Match::None;
    }
    const Node& node = entry.nodes[patternAt];
    Match best = Match::None;
    if (node.optional) {
        best = matchNodes(entry, patternAt + 1, typed, typedAt, suffix);
        if (best == Match::Full) {
            return best;
        }
    }
    if (typedAt < typed.size() && matchesKeyword(typed[typedAt].name, node.keyword)) {
        int nodeSuffix = suffix;
        Match here = Match::Full;
        const auto& typedSuffix = typed[typedAt].suffix;
        if (node.takesSuffix) {
            nodeSuffix = typedSuffix.value_or(1);
            if (nodeSuffix < entry.suffixes.min || nodeSuffix > entry.suffixes.max) {
                here = Match::SuffixOutOfRange;
            }
        } else if (typedSuffix) {
            here = Match::SuffixOutOfRange;
        }
        const Match rest = std::min(here, matchNodes(entry, patternAt + 1, typed, typedAt + 1, nodeSuffix));
        if (rest == Match::Full) {
            suffix = nodeSuffix;
            return rest;
        }
        best = std::max(best, rest);
    }
    return best;
}

CommandTable::Found CommandTable::find(const ProgramUnit& unit, const std::vector<HeaderNode>& nodes) const {
    Found best;
    for (const Entry& entry : entries_) {
        if (entry.common != unit.common) {
            continue;
        }
        int suffix = 1;
        const Match match = matchNodes(entry, 0, nodes, 0, suffix);
        if (match == Match::Full) {
            return Found{&entry, suffix, match};
        }
        best.match = std::max(best.match, match);
    }
    return best;
}

Outcome CommandTable::dispatch(const ProgramUnit& unit, std::vector<HeaderNode>& path) const {
    Found found;
    if (unit.common) {
        found = find(unit, unit.nodes);
    } else {
        // Strictly a unit continues from the path; falling back to the root as well accepts the
        // "DIG:PIN1:FUNC?;DIG:PIN1:POL?" that many programs send, and no header means both.
        std::vector<HeaderNode> resolved = unit.nodes;
        if (!unit.rooted && !path.empty()) {
            std::vector<HeaderNode> relative = path;
            relative.insert(relative.end(), unit.nodes.begin(), unit.nodes.end());
            found = find(unit, relative);
            if (found.match == Match::Full) {
                resolved = std::move(relative);
            }
        }
        if (found.match != Match::Full) {
            const Found fromRoot = find(unit, unit.nodes);
            if (fromRoot.match >= found.match) {
                found = fromRoot;
            }
        }
        if (found.match == Match::Full) {
            resolved.pop_back();
            path = std::move(resolved);
        }
    }
    switch (found.match) {
    case Match::None:
        return Outcome::failed(errors::kUndefinedHeader);
    case Match::SuffixOutOfRange:
        return Outcome::failed(errors::kHeaderSuffixOutOfRange);
    case Match::Full:
        break;
    }
    return invoke(*found.entry, unit, found.suffix);
}

Outcome CommandTable::invoke(const Entry& entry, const ProgramUnit& unit, int suffix) {
    const Handler& handler = unit.query ? entry.query : entry.command;
    if (!handler) {
        return Outcome::failed(errors::kUndefinedHeader);
    }
    const auto expected = static_cast<std::size_t>(unit.query ? 0 : entry.parameterCount);
    if (unit.parameters.size() < expected) {
        return Outcome::failed(errors::kMissingParameter);
    }
    if (unit.parameters.size() > expected) {
        return Outcome::failed(errors::kParameterNotAllowed);
    }
    return handler(Invocation{suffix, expected == 0 ? std::string_view{} : unit.parameters.front()});
}

} // namespace sim
