#pragma once

// One setting of the port, as a front end changes it: the port is read first (a known mainframe, read
// back whole, unless forced), the port's rules are checked against what was read, and only then is the
// checked command sent. A setting the rules refuse is PortFailure (Refused) with nothing sent; a
// coupling function another pin holds is CouplingRefused, naming that pin.

#include "port/InhibitMode.h"
#include "port/Polarity.h"
#include "port/PortFailure.h"

#include <optional>
#include <string>
#include <vector>

class PortSession;

// How a front end guards a change: `force` goes on with an instrument or a port it does not know;
// `nothingSent` ends the refusal that says it did not (the CLI adds how to force it).
struct ChangeGuard {
    ChangeGuard(bool forced = false) : force(forced) {} // NOLINT: a plain bool reads as the guard
    bool force = false;
    std::string nothingSent = "; nothing was sent";
};

// The one-pin rule refused a coupling function: `holders` are the pins that hold it.
class CouplingRefused : public PortFailure {
public:
    CouplingRefused(const std::string& resource, const std::string& step, const std::string& detail,
                    std::string function, std::vector<int> holders)
        : PortFailure(Cause::Refused, resource, step, detail), function_(std::move(function)),
          holders_(std::move(holders)) {}
    const std::string& function() const noexcept { return function_; }
    const std::vector<int>& holders() const noexcept { return holders_; }

private:
    std::string function_;
    std::vector<int> holders_;
};

namespace PortWrites {

// `function` is a display name ("On Couple"), as PortNames reads it from what the user typed. With a
// polarity, it follows the function in a command of its own.
void setPin(PortSession& session, int pin, const std::string& function, std::optional<Polarity> polarity,
            const ChangeGuard& guard = {});
void setPinFunction(PortSession& session, int pin, const std::string& function,
                    const ChangeGuard& guard = {});
void setPinPolarity(PortSession& session, int pin, Polarity polarity, const ChangeGuard& guard = {});
void setOutputWord(PortSession& session, int word, const ChangeGuard& guard = {});
void setInhibitMode(PortSession& session, InhibitMode mode, const ChangeGuard& guard = {});

} // namespace PortWrites
