#include "tests/local/fakes/FakeInstrument.h"

#include "sim/ClientSession.h"

#include <algorithm>

namespace fake {

FakeInstrument& FakeInstrument::instance() {
    static FakeInstrument instrument;
    return instrument;
}

void FakeInstrument::record(std::string call) {
    std::lock_guard lock(mutex_);
    log_ += call;
    log_ += '\n';
}

std::string FakeInstrument::callLog() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void FakeInstrument::reset() {
    std::lock_guard lock(mutex_);
    mainframe_.reset();
    log_.clear();
    failures_.clear();
    readChunk_ = 0;
    unread_.reset();
    openHandles_ = 0;
}

void FakeInstrument::failNext(std::string call, int code) {
    std::lock_guard lock(mutex_);
    failures_[std::move(call)] = code;
}

std::optional<int> FakeInstrument::takeFailure(const std::string& call) {
    std::lock_guard lock(mutex_);
    auto found = failures_.find(call);
    if (found == failures_.end()) {
        return std::nullopt;
    }
    int code = found->second;
    failures_.erase(found);
    return code;
}

void FakeInstrument::setReadChunk(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    readChunk_ = bytes;
}

void FakeInstrument::queueRawReply(std::string bytes) {
    std::lock_guard lock(mutex_);
    unread_ = std::move(bytes);
}

void FakeInstrument::receive(std::string_view message) {
    std::lock_guard lock(mutex_);
    unread_.reset();
    mainframe_.receive(message);
}

std::optional<std::string> FakeInstrument::readPiece(std::size_t max, std::chrono::milliseconds timeout,
                                                     bool& last) {
    std::lock_guard lock(mutex_);
    if (!unread_) {
        auto reply = mainframe_.session().takeReply();
        if (!reply) {
            return std::nullopt;
        }
        // A slow instrument: its reply is there for the next read that waits long enough.
        if (reply->delay > timeout) {
            unread_ = std::move(reply->bytes);
            return std::nullopt;
        }
        unread_ = std::move(reply->bytes);
    }
    std::size_t size = std::min(max, unread_->size());
    if (readChunk_ != 0) {
        size = std::min(size, readChunk_);
    }
    std::string piece = unread_->substr(0, size);
    unread_->erase(0, size);
    last = unread_->empty();
    if (last) {
        unread_.reset();
    }
    return piece;
}

int FakeInstrument::openHandles() const {
    std::lock_guard lock(mutex_);
    return openHandles_;
}

void FakeInstrument::addOpenHandles(int delta) {
    std::lock_guard lock(mutex_);
    openHandles_ += delta;
}

} // namespace fake

extern "C" {

const char* fakeCallLog() {
    // The caller copies the text at once; the buffer lives until the next call.
    static std::string copy;
    copy = fake::FakeInstrument::instance().callLog();
    return copy.c_str();
}

void fakeReset() {
    fake::FakeInstrument::instance().reset();
}

void fakeFailNext(const char* call, int code) {
    fake::FakeInstrument::instance().failNext(call, code);
}

void fakeSetReadChunk(unsigned bytes) {
    fake::FakeInstrument::instance().setReadChunk(bytes);
}

void fakeQueueRawReply(const char* bytes, unsigned size) {
    fake::FakeInstrument::instance().queueRawReply(std::string(bytes, size));
}

int fakeOpenHandles() {
    return fake::FakeInstrument::instance().openHandles();
}
}
