#pragma once

// The window's transport: opening, identifying and closing its one session, and the two checked
// operations through which every later command and query passes, each telling the user what the
// instrument reported in a message box. A thin layer over transport::Instrument, which does the I/O.

#include "transport/InstrumentSession.h"

#include <cstdint>
#include <string>

namespace SCPI_DCPS {

inline constexpr int kMaxErrorReadout = transport::kMaxErrorReadout;

// Replaces the session with a new one opened on the resource, shows the identity and, when
// skipReset is zero, clears the unit. Reports every failure itself and then returns false.
bool OpenSession(const std::string& resource, InstrumentSession& session, const std::int16_t& skipReset);

// The second comma-separated field of an identity reply; throws transport::IdentityError when there
// is none.
std::string ModelFromIdentity(const std::string& identity);

// Closes the session's I/O. Failures pass to the caller.
void CloseSession(InstrumentSession& session);

// Writes the command, then reads one error-queue entry and shows it unless it is the no-error reply.
// Lost communication is shown and ends the program (globals::EndProgramOnLostCommunication).
void SendCommand(const std::string& command, InstrumentSession& session);

// Writes the query and returns the reply without its last character. A failed exchange is followed
// by the error-queue readout and its message, and gives the empty text.
std::string SendQuery(const std::string& query, InstrumentSession& session);

} // namespace SCPI_DCPS
