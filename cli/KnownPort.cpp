#include "cli/KnownPort.h"

#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "cli/PortReader.h"
#include "port/KnownMainframes.h"

namespace cli {
namespace {

constexpr const char* kNothingSent = "; nothing was sent (--force sends anyway)";

} // namespace

void requireWholePort(const CliInstrument& instrument, const PortSetup& setup, const std::string& step,
                      const std::string& consequence) {
    std::string unknown;
    for (const auto& setting : unknownSettings(setup))
        unknown += (unknown.empty() ? "" : ", ") + setting;
    if (!unknown.empty())
        instrument.fail(kUnreachable, step,
                        "the instrument gave no known value for " + unknown + consequence);
}

PortReading readPortForChange(CliInstrument& instrument, bool force) {
    if (!force)
        if (const auto why = KnownMainframes::whyUnknown(instrument.identity()))
            instrument.fail(kUnreachable, "checking the instrument", *why + kNothingSent);
    PortReading reading = readPort(instrument, false);
    if (!force)
        requireWholePort(instrument, reading.setup, "reading the port", kNothingSent);
    return reading;
}

} // namespace cli
