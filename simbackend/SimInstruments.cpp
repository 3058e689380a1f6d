#include "simbackend/SimInstruments.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

namespace simbackend {

sim::Mainframe& SimInstruments::board(unsigned number) {
    static std::mutex mutex;
    // Never destroyed: a session left open in a static (the program's globals) still talks to its board
    // while statics are torn down.
    static auto& boards = *new std::map<unsigned, std::unique_ptr<sim::Mainframe>>;
    const std::lock_guard lock(mutex);
    auto& slot = boards[number];
    if (!slot)
        slot = std::make_unique<sim::Mainframe>(serialNumber(number));
    return *slot;
}

std::string SimInstruments::serialNumber(unsigned number) {
    char text[24];
    std::snprintf(text, sizeof text, "SIM%04lu", static_cast<unsigned long>(number) + 1);
    return text;
}

} // namespace simbackend
