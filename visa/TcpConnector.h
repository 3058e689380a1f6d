#pragma once

#include "base/Deadline.h"
#include "base/FileDescriptor.h"

#include <cstdint>
#include <string>

namespace visa {

// Opens a TCP connection to an instrument within a deadline: every address the host resolves to is tried
// in turn with a non-blocking connect. The socket comes back non-blocking with TCP_NODELAY set, because
// instruments get short messages that must leave at once (a command followed by "SYST:ERR?" would otherwise
// wait behind Nagle's algorithm). Failures are VisaErrors starting with `resource`.
class TcpConnector {
public:
    static base::FileDescriptor connect(const std::string& resource, const std::string& host,
                                        std::uint16_t port, const base::Deadline& deadline);
};

} // namespace visa
