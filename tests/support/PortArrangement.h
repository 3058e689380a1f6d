#pragma once

#include "sim/Mainframe.h"

#include <map>
#include <string>

// A port state a test sets up, written as what differs from the state it starts from: the pins'
// functions and polarities by pin number (1 to 7), in the instrument's words, and the whole output
// word and inhibit mode.
struct PortArrangement {
    std::map<int, std::string> functions;
    std::map<int, std::string> polarities;
    int outputWord = 0;
    std::string inhibitMode;

    sim::PortState over(sim::PortState state) const {
        for (const auto& [pin, function] : functions)
            state.pinFunction[pin] = function;
        for (const auto& [pin, polarity] : polarities)
            state.pinPolarity[pin] = polarity;
        state.outputWord = outputWord;
        state.inhibitMode = inhibitMode;
        return state;
    }
};
