#pragma once

#include <stdexcept>
#include <string>

namespace cli {

// What pinwright-cli's exit status tells a script.
enum ExitStatus : int {
    kSuccess = 0,
    kInstrumentError = 1, // the instrument reported an error, refused a setting, or a profile differs
    kUsageError = 2,      // the command line or a profile file is wrong; nothing was sent
    kUnreachable = 3,     // the instrument could not be reached or stopped answering
};

// A failure that ends the command with its exit status; what() is the whole message for standard error.
class CliFailure : public std::runtime_error {
public:
    CliFailure(ExitStatus status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    ExitStatus status() const { return status_; }

private:
    ExitStatus status_;
};

// A command line refused before anything is opened: "pinwright-cli: <what>".
[[noreturn]] inline void usageError(const std::string& what) {
    throw CliFailure(kUsageError, "pinwright-cli: " + what);
}

} // namespace cli
