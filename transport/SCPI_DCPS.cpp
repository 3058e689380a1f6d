#include "transport/SCPI_DCPS.h"

#include "transport/ProgramEnd.h"
#include "transport/TransportFailure.h"
#include "transport/TransportTimeouts.h"
#include "transport/UserNotice.h"
#include "transport/globals.h"
#include "visa/VisaError.h"

#include <string_view>
#include <vector>

namespace SCPI_DCPS {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kErrorQuery = "SYST:ERR?";

visa::FormattedIO488& Bound(InstrumentSession& session) {
    if (!session)
        throw visa::VisaError(visa::VisaError::Kind::Closed, "no instrument session is open");
    return *session;
}

// The reply without its terminator. A reply of zero characters means nothing usable arrived.
std::string Trimmed(std::string reply) {
    if (reply.empty())
        throw visa::VisaError(visa::VisaError::Kind::Protocol, "the power supply sent an empty reply");
    reply.pop_back();
    return reply;
}

std::string ReadTrimmed(visa::FormattedIO488& io) {
    return Trimmed(io.ReadString());
}

[[noreturn]] void LoseCommunication() {
    transport::ShowNotice(
        "Lost communication with the power supply, please check your connection and restart the program");
    transport::HandleLostCommunication();
}

// Reads the error queue after a failed query: the entry that is already waiting, then one more query
// per entry until the queue reports no error.
std::vector<std::string> ReadOutErrorQueue(visa::FormattedIO488& io, bool& truncated) {
    std::vector<std::string> errors;
    std::string latest = ReadTrimmed(io);
    errors.push_back(latest);
    truncated = false;
    while (latest != kNoErrorReply) {
        if (static_cast<int>(errors.size()) >= kMaxErrorReadout) {
            truncated = true;
            break;
        }
        latest = Trimmed(io.WriteStringsAndRead({kErrorQuery}));
        if (latest != kNoErrorReply)
            errors.push_back(latest);
    }
    return errors;
}

} // namespace

bool OpenSession(const std::string& resource, InstrumentSession& session, const std::int16_t& skipReset) {
    try {
        globals::ResourceManagerObject = std::make_unique<visa::ResourceManager>();
        // The previous session is let go here, before the new one is opened, and stays gone even when
        // the open fails.
        session = std::make_unique<visa::FormattedIO488>();
        const auto& timeouts = transport::CurrentTimeouts();
        session->setIO(globals::ResourceManagerObject->Open(resource, 0, timeouts.open, ""));
        session->IO().setTimeout(timeouts.io);
        session->FlushRead();
        session->WriteString("*IDN?", true);
        const std::string identity = session->ReadString();
        ModelFromIdentity(identity);
        transport::ShowNotice(
            std::string("The instrument you are communicating with returns the following *IDN? string:") +
            kCrLf + identity);
        if (skipReset == 0)
            session->WriteString("*RST;*CLS", true);
        return true;
    } catch (const std::exception& failure) {
        transport::ShowNotice(std::string("Set IO error:") + kCrLf + failure.what());
        return false;
    }
}

std::string ModelFromIdentity(const std::string& identity) {
    const auto first = identity.find(',');
    if (first == std::string::npos)
        throw transport::IdentityError("the identity reply \"" + identity +
                                       "\" has no model field (no comma-separated fields)");
    const auto second = identity.find(',', first + 1);
    return identity.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

void CloseSession(InstrumentSession& session) {
    Bound(session).IO().close();
}

void SendCommand(const std::string& command, InstrumentSession& session) {
    std::string reply;
    try {
        reply = Trimmed(Bound(session).WriteStringsAndRead({command, kErrorQuery}));
    } catch (const visa::VisaError&) {
        LoseCommunication();
    }
    if (reply != kNoErrorReply)
        transport::ShowNotice(std::string("The command that was sent resulted in the following error: ") +
                              kCrLf + reply + kCrLf + "Please double check the command and re-enter it");
}

std::string SendQuery(const std::string& query, InstrumentSession& session) {
    try {
        return Trimmed(Bound(session).WriteStringsAndRead({query}));
    } catch (const visa::VisaError&) {
        // Fall through to the error readout below.
    }

    SendCommand(kErrorQuery, session);
    bool truncated = false;
    std::vector<std::string> errors;
    try {
        errors = ReadOutErrorQueue(Bound(session), truncated);
    } catch (const visa::VisaError& failure) {
        throw transport::TransportFailure(
            "The operation was stopped because reading the power supply's error queue failed: " +
            std::string(failure.what()));
    }

    std::string list;
    for (const auto& error : errors) {
        if (!list.empty())
            list += kCrLf;
        list += error;
    }
    if (truncated)
        list += std::string(kCrLf) + "(further errors were not read)";
    transport::ShowNotice(std::string("Timeout error:") + kCrLf +
                          "The power supply returned the following errors: " + kCrLf + list + kCrLf +
                          "Please check your query and try again.");
    return {};
}

} // namespace SCPI_DCPS
