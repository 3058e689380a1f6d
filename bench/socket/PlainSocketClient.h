#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The yardstick for the SOCKET backend: the smallest blocking client that does the same exchange, with no
// time-outs, no bounds and no error descriptions. Good enough for a benchmark, nothing else.
class PlainSocketClient {
public:
    PlainSocketClient(const std::string& ipv4Address, std::uint16_t port);
    ~PlainSocketClient();
    PlainSocketClient(const PlainSocketClient&) = delete;
    PlainSocketClient& operator=(const PlainSocketClient&) = delete;

    void write(std::string_view line); // the caller supplies the line feed
    std::string read();                // up to and including the next line feed

private:
    int fd_ = -1;
    std::string buffer_;
};
