#pragma once

#include <stdexcept>
#include <string>

namespace visa {

// The one error type of the VISA layer. what() is a description a bench user can act on and always
// begins with the resource text it concerns, e.g. "TCPIP0::192.0.2.7::5025::SOCKET: no answer within 2000
// ms".
class VisaError : public std::runtime_error {
public:
    enum class Kind {
        BadResource,    // the resource text does not parse
        Unsupported,    // no backend on this machine serves the resource
        NotFound,       // unknown host, no such device
        Refused,        // connection refused, permission denied, device locked
        Timeout,        // an open, write or read did not complete within its time-out
        ConnectionLost, // the peer closed or the device went away
        Protocol,       // the peer broke the protocol (bad record, oversized reply, ...)
        Closed,         // I/O on a session that was closed
        Other,
    };

    VisaError(Kind kind, const std::string& description) : std::runtime_error(description), kind_(kind) {}

    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

} // namespace visa
