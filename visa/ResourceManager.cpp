#include "ResourceManager.h"

#include "HislipSession.h"
#include "LocalBusBackends.h"
#include "ResourceName.h"
#include "SimSession.h"
#include "SocketSession.h"
#include "VisaError.h"
#include "Vxi11Session.h"

namespace visa {
namespace {

constexpr const char* kTrySim = "SIM0::INSTR connects to the built-in simulated mainframe";

[[noreturn]] void unsupported(const ResourceName& name, const std::string& what) {
    throw VisaError(VisaError::Kind::Unsupported, name.text + ": " + what + "; " + kTrySim);
}

std::unique_ptr<MessageSession> openLanInstrument(const ResourceName& name,
                                                  std::chrono::milliseconds openTimeout) {
    if (name.isHislip())
        return HislipSession::open(name, openTimeout);
    return Vxi11Session::open(name, openTimeout);
}

std::unique_ptr<MessageSession> openBackend(const ResourceName& name, std::chrono::milliseconds openTimeout) {
    switch (name.interfaceType) {
    case InterfaceType::Sim:
        return SimSession::open(name);
    case InterfaceType::Tcpip:
        if (name.resourceClass == ResourceClass::Socket)
            return SocketSession::open(name, openTimeout);
        return openLanInstrument(name, openTimeout);
    case InterfaceType::Usb:
    case InterfaceType::Gpib:
    case InterfaceType::Asrl:
        return openLocalBusSession(name, openTimeout);
    }
    unsupported(name, "this interface type is not supported");
}

} // namespace

// The access mode and option string are accepted for the interface's sake: the built-in backends have no
// locks or configuration to apply.
std::unique_ptr<MessageSession> ResourceManager::Open(const std::string& resource, int /*accessMode*/,
                                                      std::chrono::milliseconds openTimeout,
                                                      const std::string& /*options*/) {
    const auto name = ResourceName::parse(resource);
    try {
        return openBackend(name, openTimeout);
    } catch (const VisaError&) {
        throw;
    } catch (const std::exception& error) {
        // Out of memory or threads while opening: still a failure the caller can show, never an escape.
        throw VisaError(VisaError::Kind::Other, resource + ": cannot open: " + error.what());
    }
}

} // namespace visa
