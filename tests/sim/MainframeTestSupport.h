#pragma once

#include "sim/ClientSession.h"
#include "sim/Mainframe.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// Failure messages show the port as its queries would report it.
inline void PrintTo(const PortState& state, std::ostream* out) {
    for (int pin = 1; pin <= 7; ++pin)
        *out << "pin " << pin << ' ' << state.pinFunction[pin] << ' ' << state.pinPolarity[pin] << ", ";
    *out << "output " << state.outputWord << ", inputs " << state.externalInputLevels << ", inhibit "
         << state.inhibitMode;
}

} // namespace sim

namespace sim::testing {

// The reply to a message as on the wire, or "<none>".
inline std::string ask(Mainframe& mainframe, std::string_view message) {
    mainframe.receive(message);
    const auto reply = mainframe.session().takeReply();
    return reply ? reply->bytes : "<none>";
}

// Reads the error queue empty, as a program would, oldest first.
inline std::vector<std::string> drainErrors(Mainframe& mainframe) {
    std::vector<std::string> errors;
    for (int i = 0; i < 30; ++i) {
        const std::string reply = ask(mainframe, "SYST:ERR?");
        if (reply == "+0,\"No error\"\n") {
            break;
        }
        errors.push_back(reply.substr(0, reply.size() - 1));
    }
    return errors;
}

} // namespace sim::testing
