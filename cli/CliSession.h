#pragma once

#include "transport/InstrumentSession.h"

#include <ostream>
#include <string>

namespace cli {

// One instrument session for one command of pinwright-cli, with the transport's notices routed to
// standard error. While it lives:
//  - every notice is printed with the resource and the step in progress ("setting pin 5 to Off
//    Couple"), and counts as an instrument error: the command will end with status 1;
//  - lost communication throws CliFailure(kUnreachable) instead of ending the process.
// Opening failures throw CliFailure(kUnreachable) with the transport's "Set IO error:" text.
class CliSession {
public:
    CliSession(const std::string& resource, bool reset, std::ostream& err);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    InstrumentSession& session() { return session_; }
    const std::string& resource() const { return resource_; }

    // Names what the next exchanges do, for the messages.
    void beginStep(std::string step) { step_ = std::move(step); }
    // Whether the instrument reported an error (or a query failed) since the session opened.
    bool instrumentErrorSeen() const { return errorsSeen_ > 0; }
    int errorsSeen() const { return errorsSeen_; }

    // A message of the tool's own about this resource, to standard error.
    void report(const std::string& message);

private:
    void showNotice(const std::string& text);

    std::string resource_;
    std::ostream& err_;
    std::string step_ = "connecting";
    int errorsSeen_ = 0;
    bool opening_ = true;
    std::string openingNotices_;
    InstrumentSession session_;
};

} // namespace cli
