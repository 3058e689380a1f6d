#pragma once

// Built-in simulated boards of one test alone: made fresh and registered as the SIM backend's while the
// test runs, so that no test finds what another left on a board, whatever board number each picks.

#include "sim/Mainframe.h"
#include "simbackend/SimBackend.h"
#include "simbackend/SimBoards.h"

#include <memory>

class FreshBoards {
public:
    FreshBoards() { simbackend::registerSimBackend(boards_); }
    FreshBoards(const FreshBoards&) = delete;
    FreshBoards& operator=(const FreshBoards&) = delete;

    sim::Mainframe& board(unsigned number) { return boards_->board(number); }

private:
    std::shared_ptr<simbackend::SimBoards> boards_ = std::make_shared<simbackend::SimBoards>();
};
