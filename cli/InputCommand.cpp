#include "cli/InputCommand.h"

#include "base/FiberLoop.h"
#include "base/MonotonicStamp.h"
#include "cli/CliInstrument.h"
#include "cli/ExitStatus.h"
#include "cli/StopSignals.h"
#include "port/PortReader.h"

#include <chrono>

namespace cli::InputCommand {
namespace {

using Clock = std::chrono::steady_clock;

// "<monotonic microseconds> <word> <bits>", the clock the trace uses.
void printLine(std::ostream& out, const std::string& bits) {
    out << base::monotonicMicroseconds() << ' ' << wordFromBits(bits) << ' ' << bits << '\n';
    out.flush();
}

int watch(CliInstrument& instrument, std::chrono::milliseconds interval, std::ostream& out) {
    const StopSignals stop;
    std::string last;
    while (!stop.stopRequested()) {
        const std::string bits = bitsOfWord(readInputWord(instrument));
        if (bits != last)
            printLine(out, bits);
        last = bits;
        stop.sleepFor(interval);
    }
    return kSuccess;
}

int waitFor(CliInstrument& instrument, const std::string& pattern, std::chrono::milliseconds interval,
            std::chrono::milliseconds timeout, std::ostream& out) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::string bits = bitsOfWord(readInputWord(instrument));
        if (matches(pattern, bits)) {
            printLine(out, bits);
            return kSuccess;
        }
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            instrument.fail(kInstrumentError, "input --wait " + pattern,
                            "no match within " + std::to_string(timeout.count()) + " ms (last read " + bits +
                                ")");
        base::FiberLoop::sleepFor(
            std::chrono::ceil<std::chrono::milliseconds>(std::min<Clock::duration>(interval, left)));
    }
}

} // namespace

bool matches(const std::string& pattern, const std::string& bits) {
    if (pattern.size() != bits.size())
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] != 'x' && pattern[i] != 'X' && pattern[i] != bits[i])
            return false;
    return true;
}

PreparedCommand prepare(const CliArguments& arguments) {
    const auto interval = std::chrono::milliseconds(arguments.intervalMs);
    if (arguments.watch && arguments.waitPattern)
        usageError("input takes --watch or --wait, not both");
    if (arguments.waitPattern) {
        const std::string pattern = *arguments.waitPattern;
        if (pattern.size() != kPinCount || pattern.find_first_not_of("01xX") != std::string::npos)
            usageError("--wait wants seven of 0, 1 or x, pin 7 first, not \"" + pattern + "\"");
        const auto timeout = std::chrono::milliseconds(arguments.timeoutMs);
        return {[=](CliInstrument& instrument, std::ostream& out) {
                    return waitFor(instrument, pattern, interval, timeout, out);
                },
                nullptr};
    }
    if (arguments.watch)
        return {
            [=](CliInstrument& instrument, std::ostream& out) { return watch(instrument, interval, out); },
            nullptr};
    return {[](CliInstrument& instrument, std::ostream& out) {
                out << bitsOfWord(readInputWord(instrument)) << '\n';
                return int(kSuccess);
            },
            nullptr};
}

} // namespace cli::InputCommand
