#include "port/InhibitMode.h"

#include "base/WordTable.h"

namespace {

constexpr base::WordTable<InhibitMode, 3> kWords{
    InhibitMode::None,
    {{{InhibitMode::Live, "LIVE"}, {InhibitMode::Latching, "LATC"}, {InhibitMode::Off, "OFF"}}}};

} // namespace

std::string inhibitModeWord(InhibitMode mode) {
    return kWords.wordFor(mode);
}

InhibitMode inhibitModeFromReply(const std::string& reply) {
    return kWords.valueFor(reply);
}
