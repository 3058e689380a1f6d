#include "tangoserver/TangoFailure.h"

#include <tango.h>

namespace tangoserver {

std::string reasonFor(PortFailure::Cause cause) {
    return std::string("PinwrightPort_") + causeName(cause);
}

void throwTangoFailure(const PortFailure& failure, const std::string& origin) {
    throwTangoFailure(reasonFor(failure.cause()), failure.what(), origin);
}

void throwTangoFailure(const std::string& reason, const std::string& description, const std::string& origin) {
    Tango::Except::throw_exception(reason, description, origin);
}

} // namespace tangoserver
