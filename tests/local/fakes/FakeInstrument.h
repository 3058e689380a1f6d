#pragma once

// The state behind a fake driver library (libvisa.so.0 or libgpib.so.0 built for the tests): one
// simulated mainframe, a record of every call the library received, and failures armed by the test.

#include "sim/Mainframe.h"

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace fake {

class FakeInstrument {
public:
    static FakeInstrument& instance();

    void record(std::string call);
    std::string callLog() const;
    void reset();

    void failNext(std::string call, int code);
    // The code armed for the next call of this name, consumed; nullopt when none is.
    std::optional<int> takeFailure(const std::string& call);

    void setReadChunk(std::size_t bytes);
    void queueRawReply(std::string bytes);

    void receive(std::string_view message);

    // Up to the read chunk's size (and max) of the reply waiting to be read; nullopt when there is none
    // within timeout. last tells whether the piece ends the reply.
    std::optional<std::string> readPiece(std::size_t max, std::chrono::milliseconds timeout, bool& last);

    int openHandles() const;
    void addOpenHandles(int delta);

private:
    mutable std::mutex mutex_;
    sim::Mainframe mainframe_;
    std::string log_;
    std::map<std::string, int> failures_;
    std::size_t readChunk_ = 0; // 0: no limit beyond the caller's
    std::optional<std::string> unread_;
    int openHandles_ = 0;
};

} // namespace fake

// The controls every fake exports, resolved by the tests with dlsym.
extern "C" {
const char* fakeCallLog();
void fakeReset();
void fakeFailNext(const char* call, int code);
void fakeSetReadChunk(unsigned bytes);
void fakeQueueRawReply(const char* bytes, unsigned size);
int fakeOpenHandles();
}
