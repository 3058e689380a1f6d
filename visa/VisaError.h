#pragma once

#include "base/UserError.h"

#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace visa {

// The one error type of the VISA layer. what() is a description a bench user can act on and always
// begins with the resource text it concerns, e.g. "TCPIP0::192.0.2.7::5025::SOCKET: no answer within 2000
// ms".
// The user is told that the instrument session failed, followed by the description.
class VisaError : public base::UserError {
public:
    enum class Kind {
        BadResource,    // the resource text does not parse
        Unsupported,    // no backend on this machine serves the resource
        NotFound,       // unknown host, no such device
        Refused,        // connection refused, permission denied, device locked
        Timeout,        // an open, write or read did not complete within its time-out
        LockTimeout,    // another client held the instrument's lock for the whole lock time-out
        ConnectionLost, // the peer closed or the device went away
        Protocol,       // the peer broke the protocol (bad record, oversized reply, ...)
        Closed,         // I/O on a session that was closed
        Other,
    };

    VisaError(Kind kind, const std::string& description)
        : base::UserError(description,
                          "The operation was stopped because the instrument session failed: " + description),
          kind_(kind) {}

    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

// A resource string that no backend could ever open (a port past 65535, a blank, no such interface): the
// fault is in what was typed, and nothing was sent anywhere. what() quotes at most kMaxQuotedChars of it.
class BadResourceName : public VisaError {
public:
    static constexpr std::size_t kMaxQuotedChars = 80;
    explicit BadResourceName(const std::string& description) : VisaError(Kind::BadResource, description) {}
};

// The wording every failure of a resource shares, "<resource>: <what>". A time-out names what did not
// happen and the time it was given, and may add why in brackets: "<resource>: no reply within 2000 ms".
[[noreturn]] void throwVisaError(const std::string& resource, VisaError::Kind kind, std::string_view what);
[[noreturn]] void throwTimeout(const std::string& resource, std::string_view what,
                               std::chrono::milliseconds limit, std::string_view why = {});
[[noreturn]] void throwClosed(const std::string& resource);

// The kind a driver's status code stands for, looked up in a backend's table of (code, kind) pairs.
template <typename Code, std::size_t N>
VisaError::Kind kindOf(const std::pair<Code, VisaError::Kind> (&table)[N], Code code) {
    for (const auto& [known, kind] : table) {
        if (known == code)
            return kind;
    }
    return VisaError::Kind::Other;
}

} // namespace visa
