#pragma once

#include "sim/Mainframe.h"

#include <string>
#include <vector>

// The settings (commands, not queries) a simulated mainframe received, *RST included: what a test that
// says "nothing was sent" looks at.
inline std::vector<std::string> settingsReceived(sim::Mainframe& mainframe) {
    std::vector<std::string> settings;
    for (const auto& message : mainframe.traffic().received())
        if (message.back() != '?')
            settings.push_back(message);
    return settings;
}
