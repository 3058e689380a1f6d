#pragma once

#include "visa/MessageSession.h"
#include "visa/ResourceFinder.h"
#include "visa/ResourceName.h"
#include "visa/TraceLog.h"

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

namespace visa {

// Opens a session of one interface type within the open time-out, or throws VisaError.
using BackendOpener = std::function<std::unique_ptr<MessageSession>(const ResourceName& name,
                                                                    std::chrono::milliseconds openTimeout)>;

// A finder as the backend table holds it, beside the opener of its interface type. The name is how the
// finder is known to the user ("USBTMC", "VXI-11 broadcast") and the one it says unavailable() with.
struct RegisteredFinder {
    InterfaceType type = InterfaceType::Sim;
    std::string name;
    ResourceFinder find;
};

// Opens sessions: parses the resource string, picks the backend registered for its interface type and opens
// it within the open time-out. Every failure is a VisaError whose description starts with the resource text.
// The LAN and local-bus backends are built in; others (the simulated mainframe) are registered by the
// program that links them, before the first Open.
class ResourceManager {
public:
    // Sessions opened by this manager record their traffic in the trace log when there is one: the log
    // belongs to the run that made the manager, never to the program.
    ResourceManager() = default;
    explicit ResourceManager(std::shared_ptr<TraceLog> trace) : trace_(std::move(trace)) {}

    // Sessions are opened without a lock and with no options: exclusive locks are taken on an open
    // session where its transport has them.
    std::unique_ptr<MessageSession> Open(const std::string& resource, std::chrono::milliseconds openTimeout);

    // Serves every later Open of this interface type with opener, for the whole program.
    static void registerBackend(InterfaceType type, BackendOpener opener);

    // Adds a finder beside the opener of its interface type; one of the same name is replaced.
    static void registerFinder(InterfaceType type, std::string name, ResourceFinder finder);

    // Every finder, built in or registered, in the order they were added.
    static std::vector<RegisteredFinder> registeredFinders();

    // Puts this list in place of every finder, the built-in ones included (a test that wants only its
    // own finders, and puts the old list back afterwards).
    static void replaceFinders(std::vector<RegisteredFinder> finders);

    // Runs every finder at once, each on a thread of its own, and returns once all have ended and been
    // joined: at the end of options.window and its overrun, or at a stop request, every finder still
    // running is told to stop (its waits end), said unavailable, and whatever it reports later is dropped.
    // The sink is called on the calling thread only, never with a lock held.
    static void FindResources(const FindOptions& options, FindSink& sink, std::stop_token stop = {});

private:
    std::shared_ptr<TraceLog> trace_;
};

} // namespace visa
