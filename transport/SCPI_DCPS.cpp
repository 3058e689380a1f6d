#include "transport/SCPI_DCPS.h"

#include "transport/Outcomes.h"
#include "transport/TransportFailure.h"
#include "transport/globals.h"

namespace SCPI_DCPS {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kLostCommunication =
    "Lost communication with the power supply, please check your connection and restart the program";

void Notify(const std::string& text) {
    if (globals::ShowNotice)
        globals::ShowNotice(text);
}

[[noreturn]] void LoseCommunication(const transport::InstrumentLost& lost) {
    Notify(kLostCommunication);
    if (globals::EndProgramOnLostCommunication)
        globals::EndProgramOnLostCommunication();
    throw lost;
}

// A session that was never opened (or whose open failed) cannot answer: the same loss as a silent one.
transport::Instrument& Bound(InstrumentSession& session) {
    if (!session)
        throw transport::InstrumentLost("", "no instrument session is open",
                                        transport::InstrumentLost::Cause::Failed);
    return *session;
}

} // namespace

bool OpenSession(const std::string& resource, InstrumentSession& session, const std::int16_t& skipReset) {
    try {
        // Made once, by the program's start (with its trace) or here.
        if (!globals::ResourceManagerObject)
            globals::ResourceManagerObject = std::make_unique<visa::ResourceManager>();
        // The previous session is let go here, before the new one is opened, and stays gone even when
        // the open fails.
        session.reset();
        transport::OpenOptions options;
        options.timeouts = globals::SessionTimeouts;
        options.reset = skipReset == 0;
        options.onIdentified = [](const std::string& identity) {
            Notify(
                std::string("The instrument you are communicating with returns the following *IDN? string:") +
                kCrLf + identity);
        };
        session = transport::Instrument::open(resource, options, *globals::ResourceManagerObject);
        return true;
    } catch (const std::exception& failure) {
        Notify(std::string("Set IO error:") + kCrLf + failure.what());
        return false;
    }
}

std::string ModelFromIdentity(const std::string& identity) {
    return transport::modelFromIdentity(identity);
}

void CloseSession(InstrumentSession& session) {
    if (!session)
        throw transport::TransportFailure(
            "The operation was stopped because the instrument session failed: no instrument session is open");
    session->close();
}

void SendCommand(const std::string& command, InstrumentSession& session) {
    std::optional<std::string> error;
    try {
        error = Bound(session).command(command).error;
    } catch (const transport::InstrumentLost& lost) {
        LoseCommunication(lost);
    }
    if (error)
        Notify(std::string("The command that was sent resulted in the following error: ") + kCrLf + *error +
               kCrLf + "Please double check the command and re-enter it");
}

std::string SendQuery(const std::string& query, InstrumentSession& session) {
    if (session) {
        if (auto reply = session->tryQuery(query))
            return *reply;
    }

    SendCommand(transport::kErrorQuery, session);
    transport::ErrorReadout readout;
    try {
        readout = Bound(session).readOutErrorQueue();
    } catch (const transport::InstrumentLost& lost) {
        throw transport::TransportFailure(
            "The operation was stopped because reading the power supply's error queue failed: " +
            lost.detail());
    }

    std::string list;
    for (const auto& error : readout.errors) {
        if (!list.empty())
            list += kCrLf;
        list += error;
    }
    if (readout.truncated)
        list += std::string(kCrLf) + "(further errors were not read)";
    Notify(std::string("Timeout error:") + kCrLf + "The power supply returned the following errors: " +
           kCrLf + list + kCrLf + "Please check your query and try again.");
    return {};
}

} // namespace SCPI_DCPS
