#pragma once

#include "port/ApplyPlan.h"
#include "port/PortSetup.h"
#include "port/ProfileApply.h"
#include "transport/Timeouts.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class PortSession;
namespace visa {
class TraceLog;
}

namespace pybinding {

// A call on a mainframe that was closed (by close(), its context or another thread).
class SessionClosed : public std::runtime_error {
public:
    explicit SessionClosed(const std::string& resource)
        : std::runtime_error(resource + ": the mainframe was closed") {}
};

struct OpenSettings {
    transport::Timeouts timeouts;
    // How long a change waits for the instrument's lock (VXI-11, HiSLIP), taken for each change alone so
    // that other clients get their turn between a script's changes.
    std::chrono::milliseconds lockTimeout{5000};
    bool reset = false;
    std::shared_ptr<visa::TraceLog> trace;
};

// One open mainframe of a Python program. Python threads may share it: every call holds the session's
// mutex for its whole exchange, so two calls never interleave on the wire; calls on different mainframes
// never wait for each other. Nothing here touches the interpreter: callers release the GIL around it.
class MainframeSession {
public:
    MainframeSession(const std::string& resource, const OpenSettings& settings); // throws PortFailure
    ~MainframeSession();
    MainframeSession(const MainframeSession&) = delete;
    MainframeSession& operator=(const MainframeSession&) = delete;

    const std::string& resource() const { return resource_; }
    std::string identity();
    PortReading readPort(bool withInput);
    int readInputWord();

    // The function (a display name), then the polarity when given, under one lock; either may be left out.
    void setPin(int pin, const std::optional<std::string>& function, std::optional<Polarity> polarity);
    void setOutputWord(int word);
    void setInhibitMode(InhibitMode mode);
    // A query when the text asks one (holds '?'), answered with the reply; else a command, answered with
    // nothing. Either way the error queue is read after it.
    std::optional<std::string> scpi(const std::string& text);

    std::vector<ApplyPlan::ApplyStep> plan(const PortSetup& profile);
    ProfileApply::ApplyOutcome apply(const PortSetup& profile);
    std::vector<ApplyPlan::SettingChange> diff(const PortSetup& profile);

    // Closes the session (releasing what the transport holds); later calls throw SessionClosed.
    void close();
    bool isOpen();

private:
    // The open session, under the mutex the caller holds.
    PortSession& session();

    std::string resource_;
    std::chrono::milliseconds lockTimeout_;
    std::mutex mutex_;
    std::unique_ptr<PortSession> session_;
};

} // namespace pybinding
