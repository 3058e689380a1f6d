#pragma once

#include "visa/BackendSession.h"
#include "visa/ResourceName.h"
#include "visa/VisaError.h"

#include <memory>
#include <string>

namespace sim {
class ClientSession;
class Mainframe;
} // namespace sim

namespace simbackend {

class BoardStateFile;
class SimBoards;

// SIM[board]::INSTR: messages go straight into the built-in simulated mainframe of that board, replies come
// straight out of it. Nothing can arrive later in-process, so a read with no reply fails at once. Where the
// boards keep their settings between programs, each message runs with the board's saved settings loaded
// first and saved after.
class SimSession final : public visa::BackendSession {
public:
    static std::unique_ptr<SimSession> open(const visa::ResourceName& name, SimBoards& boards);

    void write(std::string_view message) override;
    std::string read() override;
    void flushRead() override;
    void close() override;
    ~SimSession() override;

private:
    SimSession(std::string resource, std::shared_ptr<sim::Mainframe> mainframe,
               std::shared_ptr<const BoardStateFile> stateFile);
    bool isOpen() const override { return open_; }
    void requireUsable();

    std::shared_ptr<sim::Mainframe> mainframe_; // before session_, which must not outlive it
    std::shared_ptr<const BoardStateFile> stateFile_;
    std::unique_ptr<sim::ClientSession> session_; // one more client of the board's mainframe
    bool open_ = true;
    bool hungUp_ = false; // the mainframe dropped the connection (an injected fault)
};

} // namespace simbackend
