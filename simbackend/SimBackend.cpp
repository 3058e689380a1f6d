#include "simbackend/SimBackend.h"

#include "simbackend/SimSession.h"
#include "visa/ResourceManager.h"

namespace simbackend {

void registerSimBackend() {
    visa::ResourceManager::registerBackend(
        visa::InterfaceType::Sim,
        [](const visa::ResourceName& name, std::chrono::milliseconds)
            -> std::unique_ptr<visa::MessageSession> { return SimSession::open(name); });
}

} // namespace simbackend
