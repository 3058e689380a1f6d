#include "simbackend/SimBackend.h"

#include "simbackend/SimBoards.h"
#include "simbackend/SimSession.h"
#include "visa/ResourceManager.h"

namespace simbackend {

void registerSimBackend(std::shared_ptr<SimBoards> boards) {
    visa::ResourceManager::registerBackend(
        visa::InterfaceType::Sim,
        [boards = std::move(boards)](const visa::ResourceName& name, std::chrono::milliseconds)
            -> std::unique_ptr<visa::MessageSession> { return SimSession::open(name, *boards); });
    // Only the first board is offered: the others exist as soon as they are named, so there is no end
    // to them to list.
    visa::ResourceManager::registerFinder(visa::InterfaceType::Sim, kSimFinder,
                                          [](const visa::FindOptions&, visa::FindSink& sink) {
                                              visa::FoundResource found;
                                              found.resource = "SIM0::INSTR";
                                              found.method = "built-in simulator";
                                              sink.found(found);
                                          });
}

} // namespace simbackend
