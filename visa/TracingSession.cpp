#include "visa/TracingSession.h"

namespace visa {

TracingSession::TracingSession(std::unique_ptr<MessageSession> inner, std::string resource,
                               std::shared_ptr<TraceLog> log)
    : inner_(std::move(inner)), resource_(std::move(resource)), log_(std::move(log)) {
    setTimeout(inner_->timeout());
}

MessageSession& TracingSession::inner() {
    inner_->setTimeout(timeout());
    return *inner_;
}

void TracingSession::write(std::string_view message) {
    log_->record(resource_, TraceDirection::Write, message);
    inner().write(message);
}

std::string TracingSession::read() {
    std::string reply = inner().read();
    log_->record(resource_, TraceDirection::Read, reply);
    return reply;
}

void TracingSession::flushRead() {
    inner().flushRead();
}

void TracingSession::close() {
    inner_->close();
}

std::string TracingSession::writeAndRead(std::initializer_list<std::string_view> messages) {
    for (const auto message : messages)
        log_->record(resource_, TraceDirection::Write, message);
    std::string reply = inner().writeAndRead(messages);
    log_->record(resource_, TraceDirection::Read, reply);
    return reply;
}

} // namespace visa
