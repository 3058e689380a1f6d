#include "port/KnownPort.h"

#include "port/KnownMainframes.h"
#include "port/PortReader.h"
#include "port/PortSession.h"

void requireWholePort(const PortSession& instrument, const PortSetup& setup, const std::string& step,
                      const std::string& consequence) {
    std::string unknown;
    for (const auto& setting : unknownSettings(setup))
        unknown += (unknown.empty() ? "" : ", ") + setting;
    if (!unknown.empty())
        instrument.fail(PortFailure::Cause::Unreachable, step,
                        "the instrument gave no known value for " + unknown + consequence);
}

PortReading readPortForChange(PortSession& instrument, bool force, const std::string& nothingSent) {
    if (!force)
        if (const auto why = KnownMainframes::whyUnknown(instrument.identity()))
            instrument.fail(PortFailure::Cause::Unreachable, "checking the instrument", *why + nothingSent);
    PortReading reading = readPort(instrument, false);
    if (!force)
        requireWholePort(instrument, reading.setup, "reading the port", nothingSent);
    return reading;
}
