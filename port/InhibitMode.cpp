#include "port/InhibitMode.h"

#include "port/WordTable.h"

namespace {

constexpr WordTable<InhibitMode, 3> kWords{
    InhibitMode::None,
    {{{InhibitMode::Live, "LIVE"}, {InhibitMode::Latching, "LATC"}, {InhibitMode::Off, "OFF"}}}};

} // namespace

std::string inhibitModeWord(InhibitMode mode) {
    return kWords.wordFor(mode);
}

InhibitMode inhibitModeFromReply(const std::string& reply) {
    return kWords.fromReply(reply);
}
