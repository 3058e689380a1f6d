#pragma once

#include "sim/CommandTable.h"
#include "sim/ErrorQueue.h"
#include "sim/EventStatus.h"
#include "sim/PortModel.h"

#include <string>

namespace sim {

// The state a command can reach.
struct InstrumentState {
    PortModel port;
    ErrorQueue errors;
    EventStatus eventStatus;
};

// The mainframe's SCPI commands and queries, bound to the state they act on.
class CommandSet {
public:
    CommandSet(InstrumentState& state, std::string identity);

    const CommandTable& table() const { return table_; }

    // Query replies: short upper-case words, numbers as signed decimal.
    static std::string signedDecimal(int value);
    static std::string errorText(const ScpiError& error);

private:
    void addCommonCommands();
    void addPortCommands();
    void addSystemCommands();

    InstrumentState& state_;
    std::string identity_;
    CommandTable table_;
};

} // namespace sim
