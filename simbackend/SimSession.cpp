#include "simbackend/SimSession.h"

#include "base/Milliseconds.h"
#include "sim/Mainframe.h"
#include "simbackend/SimInstruments.h"

#include <thread>

namespace simbackend {

std::unique_ptr<SimSession> SimSession::open(const visa::ResourceName& name) {
    return std::make_unique<SimSession>(name.text, SimInstruments::board(name.board));
}

SimSession::SimSession(std::string resource, sim::Mainframe& mainframe)
    : resource_(std::move(resource)), mainframe_(&mainframe) {}

void SimSession::fail(visa::VisaError::Kind kind, const std::string& what) const {
    throw visa::VisaError(kind, resource_ + ": " + what);
}

void SimSession::requireUsable() {
    if (!open_)
        fail(visa::VisaError::Kind::Closed, "the session is closed");
    if (!hungUp_ && mainframe_->hangUpRequested()) {
        // The reply to the message before the hang-up went down with the connection.
        mainframe_->discardReply();
        hungUp_ = true;
    }
    if (hungUp_)
        fail(visa::VisaError::Kind::ConnectionLost, "the simulated mainframe closed the connection");
}

void SimSession::write(std::string_view message) {
    requireUsable();
    if (message.ends_with('\n'))
        message.remove_suffix(1);
    mainframe_->receive(message);
}

std::string SimSession::read() {
    requireUsable();
    auto reply = mainframe_->takeReply();
    const auto limit = timeout();
    const auto noReply = "no reply within " + base::milliseconds(limit);
    if (!reply)
        fail(visa::VisaError::Kind::Timeout, noReply);
    if (reply->delay > limit) {
        std::this_thread::sleep_for(limit);
        fail(visa::VisaError::Kind::Timeout, noReply);
    }
    std::this_thread::sleep_for(reply->delay);
    if (reply->bytes.size() > visa::kMaxReplyBytes)
        fail(visa::VisaError::Kind::Protocol,
             "reply longer than " + std::to_string(visa::kMaxReplyBytes) + " bytes; it was discarded");
    return std::move(reply->bytes);
}

void SimSession::flushRead() {
    requireUsable();
    // Discarded, not taken: the instrument never sent it, so the traffic record must not show it as sent.
    mainframe_->discardReply();
}

void SimSession::close() {
    open_ = false;
}

} // namespace simbackend
