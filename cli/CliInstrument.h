#pragma once

#include "cli/CliArguments.h"
#include "transport/Instrument.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace cli {

// The instrument's exclusive lock while this lives; empty when none was taken.
class PortLock {
public:
    PortLock() = default;
    explicit operator bool() const { return held_; }

private:
    bool held_ = false;
};

// One instrument of one pinwright-cli run, owned by the thread that works on it. Every exchange names
// its step ("pin 5 function"), and every failure becomes a CliFailure whose message is the tool's own,
// once: "pinwright-cli: <resource>: <step>: <the instrument's error or the transport's reason>", with
// status 1 for an error the instrument reported and 3 for an instrument that stopped answering.
class CliInstrument {
public:
    // Throws CliFailure(kUnreachable) naming the resource and why it could not be opened.
    CliInstrument(const std::string& resource, const CliArguments& arguments);

    const std::string& resource() const { return resource_; }

    // The checked command: the text, then the error-queue entry.
    void command(const std::string& step, const std::string& text);
    // The checked query's reply, without its terminator.
    std::string query(const std::string& step, const std::string& text);

    // The instrument's exclusive lock for a read-check-write that changes the port, held until the
    // returned object goes; nothing is held with --no-lock or when the transport has no lock. Throws
    // CliFailure(kUnreachable) when the lock is not granted within --lock-timeout.
    PortLock lockForChange();

    // A failure of this instrument at this step, as thrown.
    [[noreturn]] void fail(int status, const std::string& step, const std::string& what) const;

private:
    std::string resource_;
    std::chrono::milliseconds lockTimeout_;
    bool noLock_;
    std::unique_ptr<transport::Instrument> instrument_;
};

} // namespace cli
