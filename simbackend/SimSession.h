#pragma once

#include "visa/MessageSession.h"
#include "visa/ResourceName.h"
#include "visa/VisaError.h"

#include <memory>
#include <string>

namespace sim {
class Mainframe;
}

namespace simbackend {

// SIM[board]::INSTR: messages go straight into the built-in simulated mainframe of that board, replies come
// straight out of it. Nothing can arrive later in-process, so a read with no reply fails at once.
class SimSession final : public visa::MessageSession {
public:
    static std::unique_ptr<SimSession> open(const visa::ResourceName& name);

    SimSession(std::string resource, sim::Mainframe& mainframe);

    void write(std::string_view message) override;
    std::string read() override;
    void flushRead() override;
    void close() override;

private:
    void requireUsable();
    [[noreturn]] void fail(visa::VisaError::Kind kind, const std::string& what) const;

    std::string resource_;
    sim::Mainframe* mainframe_;
    bool open_ = true;
    bool hungUp_ = false; // the mainframe dropped the connection (an injected fault)
};

} // namespace simbackend
