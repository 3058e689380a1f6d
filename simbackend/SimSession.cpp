#include "simbackend/SimSession.h"

#include "sim/ClientSession.h"
#include "simbackend/BoardStateFile.h"
#include "simbackend/SimBoards.h"

#include <stdexcept>
#include <thread>

namespace simbackend {

std::unique_ptr<SimSession> SimSession::open(const visa::ResourceName& name, SimBoards& boards) {
    return std::unique_ptr<SimSession>(
        new SimSession(name.text, boards.shared(name.board), boards.stateFile(name.board)));
}

SimSession::SimSession(std::string resource, std::shared_ptr<sim::Mainframe> mainframe,
                       std::shared_ptr<const BoardStateFile> stateFile)
    : BackendSession(std::move(resource)), mainframe_(std::move(mainframe)), stateFile_(std::move(stateFile)),
      session_(std::make_unique<sim::ClientSession>(*mainframe_)) {}

SimSession::~SimSession() = default;

void SimSession::requireUsable() {
    requireOpen();
    if (!hungUp_ && session_->hangUpRequested()) {
        // The reply to the message before the hang-up went down with the connection.
        session_->discardReply();
        hungUp_ = true;
    }
    if (hungUp_)
        fail(visa::VisaError::Kind::ConnectionLost, "the simulated mainframe closed the connection");
}

void SimSession::write(std::string_view message) {
    requireUsable();
    if (message.ends_with('\n'))
        message.remove_suffix(1);
    if (!stateFile_) {
        session_->receive(message);
        return;
    }
    try {
        stateFile_->update(*mainframe_, [&] { session_->receive(message); });
    } catch (const std::runtime_error& error) {
        fail(visa::VisaError::Kind::Other,
             std::string("cannot keep the built-in mainframe's settings: ") + error.what());
    }
}

std::string SimSession::read() {
    requireUsable();
    auto reply = session_->takeReply();
    const auto limit = timeout();
    if (!reply)
        failTimeout("no reply", limit);
    if (reply->delay > limit) {
        std::this_thread::sleep_for(limit);
        failTimeout("no reply", limit);
    }
    std::this_thread::sleep_for(reply->delay);
    if (reply->bytes.size() > visa::kMaxReplyBytes)
        failReplyTooLong();
    return std::move(reply->bytes);
}

void SimSession::flushRead() {
    requireUsable();
    // Discarded, not taken: the instrument never sent it, so the traffic record must not show it as sent.
    session_->discardReply();
}

void SimSession::close() {
    open_ = false;
}

} // namespace simbackend
