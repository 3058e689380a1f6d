#pragma once

#include "visa/MessageSession.h"
#include "visa/ResourceName.h"
#include "visa/TraceLog.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace visa {

// Opens a session of one interface type within the open time-out, or throws VisaError.
using BackendOpener = std::function<std::unique_ptr<MessageSession>(const ResourceName& name,
                                                                    std::chrono::milliseconds openTimeout)>;

// Opens sessions: parses the resource string, picks the backend registered for its interface type and opens
// it within the open time-out. Every failure is a VisaError whose description starts with the resource text.
// The LAN and local-bus backends are built in; others (the simulated mainframe) are registered by the
// program that links them, before the first Open.
class ResourceManager {
public:
    // Sessions are opened without a lock and with no options: exclusive locks are taken on an open
    // session where its transport has them.
    std::unique_ptr<MessageSession> Open(const std::string& resource, std::chrono::milliseconds openTimeout);

    // Serves every later Open of this interface type with opener, for the whole program.
    static void registerBackend(InterfaceType type, BackendOpener opener);

    // Every session opened after this records its traffic in the log (none: no trace). Sessions already
    // open keep what they had.
    static void setTraceLog(std::shared_ptr<TraceLog> log);
};

} // namespace visa
