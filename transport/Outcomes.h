#pragma once

// What a checked command or query brought back, as values: the instrument's own errors are news for
// the caller, not failures of the call. Losing the instrument is InstrumentLost, thrown.

#include <optional>
#include <string>
#include <vector>

namespace transport {

// The exact text of the error queue's "empty" entry; any other reply counts as an error.
inline constexpr const char* kNoErrorReply = "+0,\"No error\"";
// The query that reads one entry of the instrument's error queue.
inline constexpr const char* kErrorQuery = "SYST:ERR?";

struct CommandOutcome {
    // The error-queue entry read after the command, trimmed, when it was not the no-error reply.
    std::optional<std::string> error;
    // The answer to a query asked behind the error query in the same exchange; empty when none was
    // asked or the reply held nothing after the error-queue entry.
    std::optional<std::string> answer;
    bool ok() const { return !error; }
};

// The error queue read out after a failed query: entries in the order read, without the final
// no-error reply (the first entry is kept even when it is the no-error reply, so that the list says
// what was read). truncated: the readout stopped at its bound before the queue reported empty.
struct ErrorReadout {
    std::vector<std::string> errors;
    bool truncated = false;
};

struct QueryOutcome {
    // The trimmed reply; empty when the exchange failed and the error queue was read instead.
    std::optional<std::string> reply;
    // After a failed exchange: the instrument's error queue, read one query per entry.
    ErrorReadout readout;
    bool ok() const { return reply.has_value(); }
};

} // namespace transport
