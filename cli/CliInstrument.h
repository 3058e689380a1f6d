#pragma once

#include "cli/CliArguments.h"
#include "transport/Instrument.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace cli {

// One instrument of one pinwright-cli run, owned by the thread that works on it. Every exchange names
// its step ("pin 5 function"), and every failure becomes a CliFailure whose message is the tool's own,
// once: "pinwright-cli: <resource>: <step>: <the instrument's error or the transport's reason>", with
// status 1 for an error the instrument reported and 3 for an instrument that stopped answering.
class CliInstrument {
public:
    // Throws CliFailure(kUnreachable) naming the resource and why it could not be opened. With
    // `changesPort` (and without --no-lock) the instrument's exclusive lock is taken first, where the
    // transport has one, waiting up to --lock-timeout; not granted by then is kUnreachable too.
    // `mayReset`: --reset is sent when given; a dry run opens without it. Sessions record their traffic
    // in `trace` when there is one.
    CliInstrument(const std::string& resource, const CliArguments& arguments, bool changesPort, bool mayReset,
                  std::shared_ptr<visa::TraceLog> trace = nullptr);

    const std::string& resource() const { return resource_; }
    // The identity reply of the open, without its terminator (the instrument's own text: escape it).
    std::string identity() const;

    // The checked command: the text, then the error-queue entry. With `thenAsk`, those queries are asked
    // in the same exchange (Instrument::command) and their answer is returned; nothing when the reply
    // held none, which leaves whatever the instrument made of the queries in its error queue.
    std::optional<std::string> command(const std::string& step, const std::string& text,
                                       const std::string& thenAsk = {});
    // The checked query's reply, without its terminator.
    std::string query(const std::string& step, const std::string& text);

    // Reads the error queue until it is empty, for errors the caller's own queries caused.
    void discardErrors();

    // Whether no other client can change the port until this is done.
    bool holdsLock() const;

    // Whether the instrument may be sent queries joined in one program message: until it shows that it
    // cannot take them (answers one in part, or not at all), after which it is sent one at a time.
    bool takesJoinedMessages() const { return takesJoinedMessages_; }
    void noteJoinedMessagesRefused() { takesJoinedMessages_ = false; }

    // A failure of this instrument at this step, as thrown. `what` may hold the instrument's own text:
    // it is shown escaped, on one line.
    [[noreturn]] void fail(int status, const std::string& step, const std::string& what) const;

private:
    std::string resource_;
    std::unique_ptr<transport::Instrument> instrument_;
    bool takesJoinedMessages_ = true;
};

} // namespace cli
