#pragma once

// The failures of one instrument session, as types, so that each caller words them in its own way: the
// window as its message boxes, pinwright-cli as one line naming the resource and the step.

#include "base/UserError.h"

#include <string>

namespace transport {

// Common ground: the resource concerned, the transport's description ("<resource>: <what>") as what(),
// and reason(), the description without the resource in front.
class InstrumentError : public base::UserError {
public:
    InstrumentError(const std::string& resource, const std::string& description, const std::string& sentence);
    const std::string& resource() const noexcept { return resource_; }
    const std::string& reason() const noexcept { return reason_; }

private:
    std::string resource_;
    std::string reason_;
};

// The resource could not be opened or identified.
class OpenFailure : public InstrumentError {
public:
    OpenFailure(const std::string& resource, const std::string& description);
};

// The resource string could never be opened (it does not parse): nothing was sent. reason() quotes the
// text, cut to a readable length.
class InvalidResource : public OpenFailure {
public:
    InvalidResource(const std::string& resource, const std::string& description);
};

// A write or read of an open session failed: the instrument stopped answering or went away. reason()
// says so in a few words and ends with the transport's own description in brackets.
class InstrumentLost : public InstrumentError {
public:
    enum class Cause { StoppedAnswering, ConnectionLost, Failed };
    InstrumentLost(const std::string& resource, const std::string& description, Cause cause);
    // The transport's description as it stood, without the words added in front.
    const std::string& detail() const noexcept { return detail_; }

private:
    std::string detail_;
};

// The instrument's exclusive lock was not granted within the lock time-out.
class LockNotGranted : public InstrumentError {
public:
    LockNotGranted(const std::string& resource, const std::string& description);
};

} // namespace transport
