#include "sim/ClientSession.h"

namespace sim {

ClientSession::ClientSession(Mainframe& mainframe) : mainframe_(mainframe) {
    mainframe_.attach(*this);
}

ClientSession::~ClientSession() {
    mainframe_.detach(*this);
}

void ClientSession::receive(std::string_view message) {
    mainframe_.receive(*this, message);
}

std::optional<Reply> ClientSession::takeReply() {
    return mainframe_.takeReply(*this);
}

bool ClientSession::replyPending() const {
    return mainframe_.replyPending(*this);
}

bool ClientSession::hangUpRequested() {
    return mainframe_.hangUpRequested(*this);
}

void ClientSession::discardReply() {
    mainframe_.discardReply(*this);
}

void ClientSession::queueError(const ScpiError& error) {
    mainframe_.queueError(error);
}

} // namespace sim
