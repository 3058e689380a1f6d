#pragma once

#include "visa/MessageSession.h"
#include "visa/TraceLog.h"

#include <memory>
#include <string>

namespace visa {

// Wraps any backend's session and records every message written and every reply read in the trace
// log. It adds no I/O of its own and passes failures on unchanged; a write is recorded before it is
// attempted, so a trace of a failing exchange still shows what was on its way.
class TracingSession final : public MessageSession {
public:
    TracingSession(std::unique_ptr<MessageSession> inner, std::string resource,
                   std::shared_ptr<TraceLog> log);

    void write(std::string_view message) override;
    std::string read() override;
    void flushRead() override;
    void close() override;
    std::string writeAndRead(std::initializer_list<std::string_view> messages) override;
    // Locks are not messages: they pass through unrecorded.
    bool canLock() const override { return inner_->canLock(); }
    void lockExclusive(std::chrono::milliseconds lockTimeout) override { inner().lockExclusive(lockTimeout); }
    void unlock() override { inner().unlock(); }

private:
    // The time-out is set on this wrapper; the backend must see the same one.
    MessageSession& inner();

    std::unique_ptr<MessageSession> inner_;
    std::string resource_;
    std::shared_ptr<TraceLog> log_;
};

} // namespace visa
