#include "visa/ResourceManager.h"

#include "base/HandOverQueue.h"
#include "visa/FinderRun.h"
#include "visa/HislipSession.h"
#include "visa/LanFinders.h"
#include "visa/LocalBusBackends.h"
#include "visa/LocalBusFinders.h"
#include "visa/SocketSession.h"
#include "visa/TracingSession.h"
#include "visa/Transport.h"
#include "visa/VisaError.h"
#include "visa/Vxi11Session.h"

#include <algorithm>
#include <array>
#include <map>
#include <mutex>

namespace visa {
namespace {

constexpr const char* kTrySim = "SIM0::INSTR connects to the built-in simulated mainframe";

[[noreturn]] void unsupported(const ResourceName& name, const std::string& what) {
    throw VisaError(VisaError::Kind::Unsupported, name.text + ": " + what + "; " + kTrySim);
}

using OpenFunction = std::unique_ptr<MessageSession> (*)(const ResourceName&, std::chrono::milliseconds);

template <auto Open>
std::unique_ptr<MessageSession> openSession(const ResourceName& name, std::chrono::milliseconds openTimeout) {
    return Open(name, openTimeout);
}

// One row per transport: what the rest of the program may ask of it, and how a session of it is opened
// (nullptr: by the backend a program registers for its interface type). Adding a transport is a row here.
struct BackendRow {
    TransportFacts facts;
    OpenFunction open;
};

// The rows are in order of preference: an instrument reached several ways is offered by its first.
constexpr std::array<BackendRow, 7> kBackendRows{{
    {{Transport::Hislip, "HiSLIP", 0, true}, openSession<&HislipSession::open>},
    {{Transport::Vxi11, "VXI-11", 1, true},
     openSession<static_cast<std::unique_ptr<Vxi11Session> (*)(
         const ResourceName&, std::chrono::milliseconds)>(&Vxi11Session::open)>},
    {{Transport::Usb, "USB", 2, false}, openLocalBusSession},
    {{Transport::Socket, "SOCKET", 3, true}, openSession<&SocketSession::open>},
    {{Transport::Gpib, "GPIB", 4, false}, openLocalBusSession},
    {{Transport::Asrl, "ASRL", 5, false}, openLocalBusSession},
    // The simulated mainframe's sessions wait on the simulator's own locks.
    {{Transport::Sim, "SIM", 6, false}, nullptr},
}};

const BackendRow& rowOf(Transport transport) {
    return *std::find_if(kBackendRows.begin(), kBackendRows.end(),
                         [&](const BackendRow& row) { return row.facts.transport == transport; });
}

// The openers that programs register for an interface type, in place of the table's, and the finders
// beside them; the built-in finders are here from the start.
class BackendRegistry {
public:
    static BackendRegistry& instance() {
        static BackendRegistry registry;
        return registry;
    }

    void add(InterfaceType type, BackendOpener opener) {
        const std::lock_guard lock(mutex_);
        openers_[type] = std::move(opener);
    }

    BackendOpener find(InterfaceType type) const {
        const std::lock_guard lock(mutex_);
        const auto entry = openers_.find(type);
        return entry == openers_.end() ? BackendOpener{} : entry->second;
    }

    void addFinder(RegisteredFinder finder) {
        const std::lock_guard lock(mutex_);
        const auto same = std::find_if(finders_.begin(), finders_.end(), [&](const RegisteredFinder& entry) {
            return entry.name == finder.name;
        });
        if (same != finders_.end())
            *same = std::move(finder);
        else
            finders_.push_back(std::move(finder));
    }

    std::vector<RegisteredFinder> finders() const {
        const std::lock_guard lock(mutex_);
        return finders_;
    }

    void replaceFinders(std::vector<RegisteredFinder> finders) {
        const std::lock_guard lock(mutex_);
        finders_ = std::move(finders);
    }

private:
    // An installed VISA library is the only way to a serial port, and its own list covers every bus it
    // reaches, so its finder sits beside ASRL.
    BackendRegistry()
        : finders_{{InterfaceType::Tcpip, "VXI-11 broadcast", findVxi11ByBroadcast},
                   {InterfaceType::Tcpip, "mDNS", findByMdns},
                   {InterfaceType::Usb, kUsbtmcFinder, usbtmcFinder()},
                   {InterfaceType::Gpib, kGpibFinder, findGpibListeners},
                   {InterfaceType::Asrl, kVisaLibraryFinder, findVisaLibraryResources}} {}

    mutable std::mutex mutex_;
    std::map<InterfaceType, BackendOpener> openers_;
    std::vector<RegisteredFinder> finders_;
};

} // namespace

Transport transportOf(const ResourceName& name) {
    switch (name.interfaceType) {
    case InterfaceType::Tcpip:
        if (name.resourceClass == ResourceClass::Socket)
            return Transport::Socket;
        return name.isHislip() ? Transport::Hislip : Transport::Vxi11;
    case InterfaceType::Usb:
        return Transport::Usb;
    case InterfaceType::Gpib:
        return Transport::Gpib;
    case InterfaceType::Asrl:
        return Transport::Asrl;
    case InterfaceType::Sim:
        break;
    }
    return Transport::Sim;
}

const TransportFacts& transportFacts(Transport transport) {
    return rowOf(transport).facts;
}

std::optional<TransportFacts> transportFacts(std::string_view resource) {
    try {
        return transportFacts(transportOf(ResourceName::parse(resource)));
    } catch (const VisaError&) {
        return std::nullopt;
    }
}

void ResourceManager::registerFinder(InterfaceType type, std::string name, ResourceFinder finder) {
    BackendRegistry::instance().addFinder({type, std::move(name), std::move(finder)});
}

std::vector<RegisteredFinder> ResourceManager::registeredFinders() {
    return BackendRegistry::instance().finders();
}

void ResourceManager::replaceFinders(std::vector<RegisteredFinder> finders) {
    BackendRegistry::instance().replaceFinders(std::move(finders));
}

void ResourceManager::FindResources(const FindOptions& options, FindSink& sink, std::stop_token stop) {
    base::HandOverQueue<FinderReport> reports;
    FinderRun run(BackendRegistry::instance().finders(), options.window,
                  [&reports](FinderReport report) { reports.push(std::move(report)); });
    const std::stop_callback onStop(stop, [&] {
        run.stop();
        reports.close();
    });
    while (run.anyRunning()) {
        const auto report = reports.pop(run.endBy());
        if (!report)
            break;
        run.pass(*report, sink);
    }
    if (!stop.stop_requested())
        run.giveUp(sink);
}

void ResourceManager::registerBackend(InterfaceType type, BackendOpener opener) {
    BackendRegistry::instance().add(type, std::move(opener));
}

std::unique_ptr<MessageSession> ResourceManager::Open(const std::string& resource,
                                                      std::chrono::milliseconds openTimeout) {
    const auto name = ResourceName::parse(resource);
    BackendOpener opener = BackendRegistry::instance().find(name.interfaceType);
    if (!opener)
        opener = rowOf(transportOf(name)).open;
    if (!opener) {
        if (name.interfaceType == InterfaceType::Sim)
            throw VisaError(VisaError::Kind::Unsupported,
                            name.text + ": the simulated mainframe is not part of this program");
        unsupported(name, "this interface type is not supported");
    }
    try {
        auto session = opener(name, openTimeout);
        if (trace_)
            return std::make_unique<TracingSession>(std::move(session), name.text, trace_);
        return session;
    } catch (const VisaError&) {
        throw;
    } catch (const std::exception& error) {
        // Out of memory or threads while opening: still a failure the caller can show, never an escape.
        throw VisaError(VisaError::Kind::Other, resource + ": cannot open: " + error.what());
    }
}

} // namespace visa
