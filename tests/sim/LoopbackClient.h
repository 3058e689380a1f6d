#pragma once

#include "base/FileDescriptor.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim::testing {

// A plain blocking TCP client for the server tests; every wait is bounded so a broken server fails
// the test instead of hanging it.
class LoopbackClient {
public:
    static constexpr std::chrono::milliseconds kPatience{5000};

    LoopbackClient(std::uint16_t port, const char* address = "127.0.0.1");

    void send(std::string_view bytes);
    // Up to and including the next LF; "<eof>" when the server closed, "<timeout>" when nothing came.
    std::string readLine();
    // True when the server closed or reset the connection (with nothing more to read).
    bool closedByServer();

private:
    bool waitReadable();

    base::FileDescriptor fd_;
    std::string pending_;
};

} // namespace sim::testing
