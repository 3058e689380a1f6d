#include "base/TakeLine.h"

namespace base {

std::optional<std::string> takeLine(std::string& received) {
    const auto lineFeed = received.find('\n');
    if (lineFeed == std::string::npos) {
        return std::nullopt;
    }
    std::string line = received.substr(0, lineFeed + 1);
    received.erase(0, lineFeed + 1);
    return line;
}

} // namespace base
