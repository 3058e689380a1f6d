#pragma once

#include "visa/MessageSession.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace visa {

// Formatted I/O bound to one message session, as the transport uses it: whole text messages out,
// one whole reply (terminator included) in. Until a session is bound, every operation fails.
class FormattedIO488 {
public:
    void setIO(std::unique_ptr<MessageSession> session) { io_ = std::move(session); }
    bool hasIO() const { return io_ != nullptr; }
    MessageSession& IO() const;

    // Sends the text at once as one complete message with END on its last byte; the layer adds no
    // terminator of its own beyond what the transport's END needs. Every backend writes whole messages,
    // so nothing is ever held back: flushAndEnd is accepted for VISA's calling convention only, and
    // false behaves as true.
    void WriteString(std::string_view text, bool flushAndEnd = true);
    std::string ReadString();
    void FlushRead();

    // WriteString for each text, then ReadString, letting the transport overlap the round trips.
    std::string WriteStringsAndRead(std::initializer_list<std::string_view> texts);

private:
    std::unique_ptr<MessageSession> io_;
};

} // namespace visa
