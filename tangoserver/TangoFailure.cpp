#include "tangoserver/TangoFailure.h"

#include <tango.h>

namespace tangoserver {

std::string reasonFor(PortFailure::Cause cause) {
    switch (cause) {
    case PortFailure::Cause::InvalidResource:
        return "PinwrightPort_InvalidResource";
    case PortFailure::Cause::Unreachable:
        return "PinwrightPort_Unreachable";
    case PortFailure::Cause::LockNotGranted:
        return "PinwrightPort_LockNotGranted";
    case PortFailure::Cause::Lost:
        return "PinwrightPort_Lost";
    case PortFailure::Cause::InstrumentError:
        return "PinwrightPort_InstrumentError";
    case PortFailure::Cause::Refused:
        return kRefused;
    }
    return kFailed;
}

void throwTangoFailure(const PortFailure& failure, const std::string& origin) {
    throwTangoFailure(reasonFor(failure.cause()), failure.what(), origin);
}

void throwTangoFailure(const std::string& reason, const std::string& description, const std::string& origin) {
    Tango::Except::throw_exception(reason, description, origin);
}

} // namespace tangoserver
