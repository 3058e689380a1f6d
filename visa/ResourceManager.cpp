#include "visa/ResourceManager.h"

#include "visa/FinderRun.h"
#include "visa/HislipSession.h"
#include "visa/LanFinders.h"
#include "visa/LocalBusBackends.h"
#include "visa/LocalBusFinders.h"
#include "visa/SocketSession.h"
#include "visa/TracingSession.h"
#include "visa/VisaError.h"
#include "visa/Vxi11Session.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace visa {
namespace {

constexpr const char* kTrySim = "SIM0::INSTR connects to the built-in simulated mainframe";

[[noreturn]] void unsupported(const ResourceName& name, const std::string& what) {
    throw VisaError(VisaError::Kind::Unsupported, name.text + ": " + what + "; " + kTrySim);
}

std::unique_ptr<MessageSession> openTcpip(const ResourceName& name, std::chrono::milliseconds openTimeout) {
    if (name.resourceClass == ResourceClass::Socket)
        return SocketSession::open(name, openTimeout);
    if (name.isHislip())
        return HislipSession::open(name, openTimeout);
    return Vxi11Session::open(name, openTimeout);
}

// One opener per interface type and the finders beside it; the built-in ones are here, the rest arrive
// through registerBackend and registerFinder.
class BackendTable {
public:
    static BackendTable& instance() {
        static BackendTable table;
        return table;
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
    BackendTable() {
        addBuiltIn(InterfaceType::Tcpip, openTcpip,
                   {{"VXI-11 broadcast", findVxi11ByBroadcast}, {"mDNS", findByMdns}});
        addBuiltIn(InterfaceType::Usb, openLocalBusSession, {{kUsbtmcFinder, usbtmcFinder()}});
        addBuiltIn(InterfaceType::Gpib, openLocalBusSession, {{kGpibFinder, findGpibListeners}});
        addBuiltIn(InterfaceType::Asrl, openLocalBusSession,
                   {{kVisaLibraryFinder, findVisaLibraryResources}});
    }

    void addBuiltIn(InterfaceType type, BackendOpener opener,
                    std::initializer_list<std::pair<const char*, ResourceFinder>> finders) {
        openers_[type] = std::move(opener);
        for (const auto& [name, finder] : finders)
            finders_.push_back({type, name, finder});
    }

    mutable std::mutex mutex_;
    std::map<InterfaceType, BackendOpener> openers_;
    std::vector<RegisteredFinder> finders_;
};

std::shared_ptr<TraceLog>& currentTraceLog() {
    static std::shared_ptr<TraceLog> log;
    return log;
}

} // namespace

void ResourceManager::setTraceLog(std::shared_ptr<TraceLog> log) {
    currentTraceLog() = std::move(log);
}

void ResourceManager::registerFinder(InterfaceType type, std::string name, ResourceFinder finder) {
    BackendTable::instance().addFinder({type, std::move(name), std::move(finder)});
}

std::vector<RegisteredFinder> ResourceManager::registeredFinders() {
    return BackendTable::instance().finders();
}

void ResourceManager::replaceFinders(std::vector<RegisteredFinder> finders) {
    BackendTable::instance().replaceFinders(std::move(finders));
}

void ResourceManager::FindResources(const FindOptions& options, FindSink& sink) {
    runFinders(BackendTable::instance().finders(), options, sink);
}

void ResourceManager::registerBackend(InterfaceType type, BackendOpener opener) {
    BackendTable::instance().add(type, std::move(opener));
}

std::unique_ptr<MessageSession> ResourceManager::Open(const std::string& resource,
                                                      std::chrono::milliseconds openTimeout) {
    const auto name = ResourceName::parse(resource);
    const auto opener = BackendTable::instance().find(name.interfaceType);
    if (!opener) {
        if (name.interfaceType == InterfaceType::Sim)
            throw VisaError(VisaError::Kind::Unsupported,
                            name.text + ": the simulated mainframe is not part of this program");
        unsupported(name, "this interface type is not supported");
    }
    try {
        auto session = opener(name, openTimeout);
        if (const auto log = currentTraceLog())
            return std::make_unique<TracingSession>(std::move(session), name.text, log);
        return session;
    } catch (const VisaError&) {
        throw;
    } catch (const std::exception& error) {
        // Out of memory or threads while opening: still a failure the caller can show, never an escape.
        throw VisaError(VisaError::Kind::Other, resource + ": cannot open: " + error.what());
    }
}

} // namespace visa
