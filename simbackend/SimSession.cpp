#include "simbackend/SimSession.h"

#include "sim/ClientSession.h"
#include "simbackend/SimInstruments.h"

#include <thread>

namespace simbackend {

std::unique_ptr<SimSession> SimSession::open(const visa::ResourceName& name) {
    return std::unique_ptr<SimSession>(new SimSession(name.text, SimInstruments::board(name.board)));
}

SimSession::SimSession(std::string resource, sim::Mainframe& mainframe)
    : BackendSession(std::move(resource)), session_(std::make_unique<sim::ClientSession>(mainframe)) {}

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
    session_->receive(message);
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
