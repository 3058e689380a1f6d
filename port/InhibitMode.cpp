#include "port/InhibitMode.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<InhibitMode, const char*>, 3> kWords{{
    {InhibitMode::Live, "LIVE"},
    {InhibitMode::Latching, "LATC"},
    {InhibitMode::Off, "OFF"},
}};

} // namespace

std::string inhibitModeWord(InhibitMode mode) {
    for (const auto& [candidate, word] : kWords)
        if (candidate == mode)
            return word;
    return {};
}

InhibitMode inhibitModeFromReply(const std::string& reply) {
    for (const auto& [mode, word] : kWords)
        if (reply == word)
            return mode;
    return InhibitMode::None;
}
