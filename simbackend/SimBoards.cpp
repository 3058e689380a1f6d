#include "simbackend/SimBoards.h"

#include "simbackend/BoardStateFile.h"

namespace simbackend {

SimBoards::SimBoards(std::filesystem::path stateDirectory) : stateDirectory_(std::move(stateDirectory)) {}

SimBoards::~SimBoards() = default;

std::shared_ptr<sim::Mainframe> SimBoards::shared(unsigned number) {
    const std::lock_guard lock(mutex_);
    auto& slot = boards_[number];
    if (!slot)
        slot = std::make_shared<sim::Mainframe>(sim::Mainframe::serialNumberFor(number));
    return slot;
}

std::shared_ptr<const BoardStateFile> SimBoards::stateFile(unsigned number) const {
    if (!stateDirectory_)
        return nullptr;
    return std::make_shared<const BoardStateFile>(*stateDirectory_, number);
}

} // namespace simbackend
