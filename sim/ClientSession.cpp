#include "sim/ClientSession.h"

namespace sim {

ClientSession::ClientSession(Mainframe& mainframe) : mainframe_(mainframe) {
    mainframe_.join(*this);
}

ClientSession::~ClientSession() {
    mainframe_.leave(*this);
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

LockOutcome ClientSession::lock(std::chrono::milliseconds timeout, const StillWanted& stillWanted) {
    return mainframe_.lock(*this, timeout, stillWanted);
}

bool ClientSession::unlock() {
    return mainframe_.unlock(*this);
}

bool ClientSession::holdsLock() const {
    return mainframe_.holdsLock(*this);
}

bool ClientSession::awaitAccess(std::optional<std::chrono::milliseconds> timeout,
                                const StillWanted& stillWanted) {
    return mainframe_.awaitAccess(*this, timeout, stillWanted);
}

bool ClientSession::receiveWhenUnlocked(std::string_view message,
                                        std::optional<std::chrono::milliseconds> timeout,
                                        const StillWanted& stillWanted) {
    return mainframe_.receiveWhenUnlocked(*this, message, timeout, stillWanted);
}

} // namespace sim
