#include "transport/ExclusiveLock.h"

#include "transport/InstrumentErrors.h"
#include "visa/MessageSession.h"
#include "visa/VisaError.h"

#include <utility>

namespace transport {

ExclusiveLock::ExclusiveLock(visa::MessageSession& session, std::string resource)
    : session_(&session), resource_(std::move(resource)) {}

ExclusiveLock::~ExclusiveLock() {
    try {
        release();
    } catch (const InstrumentError&) {
        // Nothing more to do: the lock goes with the session when it closes.
    }
}

ExclusiveLock::ExclusiveLock(ExclusiveLock&& other) noexcept
    : session_(std::exchange(other.session_, nullptr)), resource_(std::move(other.resource_)) {}

ExclusiveLock& ExclusiveLock::operator=(ExclusiveLock&& other) noexcept {
    if (this != &other) {
        try {
            release();
        } catch (const InstrumentError&) {
        }
        session_ = std::exchange(other.session_, nullptr);
        resource_ = std::move(other.resource_);
    }
    return *this;
}

void ExclusiveLock::release() {
    auto* session = std::exchange(session_, nullptr);
    if (session == nullptr)
        return;
    try {
        session->unlock();
    } catch (const visa::VisaError& failure) {
        throw InstrumentLost(resource_, failure.what(), InstrumentLost::Cause::Failed);
    }
}

} // namespace transport
