#pragma once

#include "sim/ClientSession.h"
#include "sim/Mainframe.h"

#include <string>
#include <string_view>
#include <vector>

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
