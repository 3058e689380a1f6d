#pragma once

// The failures of one instrument at one step, by cause, for every front end that works on the port:
// pinwright-cli turns the cause into its exit status, the Tango server into a DevFailed reason, the
// Python module into an exception class. The words are the same everywhere.

#include "base/UserError.h"

#include <optional>
#include <string>
#include <vector>

class PortFailure : public base::UserError {
public:
    enum class Cause {
        InvalidResource, // the resource text can never be opened; nothing was sent
        Unreachable,     // not opened, not a mainframe whose port is known, or its port not read whole
        LockNotGranted,  // another client held the instrument's lock past the lock time-out
        Lost,            // the instrument stopped answering or went away mid-way
        InstrumentError, // the instrument reported an error; detail() is its error-queue entry
        Refused,         // the port's rules refuse it; nothing was sent for it
    };

    // what() is "<resource>: <step>: <detail>", with the detail (which may hold the instrument's own
    // text) escaped onto one line; for an invalid resource it is the detail alone, which quotes the text.
    PortFailure(Cause cause, std::string resource, std::string step, std::string detail);

    Cause cause() const noexcept { return cause_; }
    const std::string& resource() const noexcept { return resource_; }
    const std::string& step() const noexcept { return step_; }
    // As given: the caller escapes it where it shows it.
    const std::string& detail() const noexcept { return detail_; }
    // "<step>: <detail>" as what() ends, for a report that names the resource elsewhere.
    std::string reason() const;

    // For an instrument error whose entry reads `<code>,"<text>"`: the code and the text.
    std::optional<int> errorCode() const;
    std::string errorText() const;

protected:
    PortFailure(const PortFailure& failure, const std::string& addedText);

private:
    Cause cause_;
    std::string resource_;
    std::string step_;
    std::string detail_;
};

// The cause as the front ends name it to their users' programs: "InvalidResource", "Unreachable",
// "LockNotGranted", "Lost", "InstrumentError", "Refused" (a Tango reason's suffix, a Python error's key).
const char* causeName(PortFailure::Cause cause);

// A profile refused whole before anything was sent: one sentence per rule it breaks on this instrument,
// each saying what would fix it.
class ProfileRefused : public PortFailure {
public:
    ProfileRefused(const std::string& resource, std::vector<std::string> refusals);
    const std::vector<std::string>& refusals() const noexcept { return refusals_; }

private:
    std::vector<std::string> refusals_;
};

// An apply that stopped at one step: that step's failure, with what went before it and what was not
// reached (setting names, "pin 5 function"). what() adds them: "...; applied before it: pin 1 function;
// not reached: output word".
class ApplyFailure : public PortFailure {
public:
    ApplyFailure(const PortFailure& failure, std::vector<std::string> applied, std::string failed,
                 std::vector<std::string> notReached);
    const std::vector<std::string>& applied() const noexcept { return applied_; }
    const std::string& failed() const noexcept { return failed_; }
    const std::vector<std::string>& notReached() const noexcept { return notReached_; }

private:
    std::vector<std::string> applied_;
    std::string failed_;
    std::vector<std::string> notReached_;
};
