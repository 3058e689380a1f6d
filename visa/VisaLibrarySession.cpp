#include "visa/VisaLibrarySession.h"

#include "base/Deadline.h"
#include "base/Milliseconds.h"
#include "visa/VisaError.h"

#include <algorithm>
#include <array>
#include <limits>

namespace visa {

namespace {

using namespace capi;

// Large enough for any reply of this instrument in one call; longer replies take several.
constexpr ViUInt32 kReadChunk = 64 * 1024;

// VI_TMO_INFINITE is the all-ones value: a time-out we are given must never turn into "wait forever".
constexpr ViAttrState kLongestTimeoutMs = 0xFFFFFFFEu;

VisaError::Kind kindOf(ViStatus status) {
    switch (status) {
    case VI_ERROR_TMO:
        return VisaError::Kind::Timeout;
    case VI_ERROR_RSRC_NFOUND:
    case VI_ERROR_NLISTENERS:
        return VisaError::Kind::NotFound;
    case VI_ERROR_RSRC_LOCKED:
    case VI_ERROR_RSRC_BUSY:
        return VisaError::Kind::Refused;
    case VI_ERROR_INV_RSRC_NAME:
        return VisaError::Kind::BadResource;
    case VI_ERROR_CONN_LOST:
        return VisaError::Kind::ConnectionLost;
    case VI_ERROR_NSUP_OPER:
        return VisaError::Kind::Unsupported;
    default:
        return VisaError::Kind::Other;
    }
}

} // namespace

VisaLibrarySession::VisaLibrarySession(std::shared_ptr<const VisaLibrary> library, std::string resource,
                                       std::chrono::milliseconds openTimeout)
    : library_(std::move(library)), resource_(std::move(resource)) {
    const auto& api = library_->api();
    ViStatus status = api.openDefaultRM(&resourceManager_);
    if (status < VI_SUCCESS) {
        fail(status, "the VISA library " + library_->name() + " could not start its resource manager");
    }
    resourceManagerOpen_ = true;
    try {
        auto openMs = static_cast<ViUInt32>(std::clamp<long long>(openTimeout.count(), 0, kLongestTimeoutMs));
        status = api.open(resourceManager_, resource_.c_str(), VI_NO_LOCK, openMs, &session_);
        if (status < VI_SUCCESS) {
            fail(status, status == VI_ERROR_TMO ? "no answer within " + base::milliseconds(openTimeout)
                                                : std::string("the VISA library could not open it"));
        }
        sessionOpen_ = true;
        applyTimeout(timeout());
        // END on the last byte of every write, and a read also ends at a line feed, the terminator
        // this instrument puts on every reply (serial ports have no END of their own).
        setAttribute(VI_ATTR_SEND_END_EN, VI_TRUE, "enable END on writes");
        setAttribute(VI_ATTR_TERMCHAR, '\n', "set the termination character");
        setAttribute(VI_ATTR_TERMCHAR_EN, VI_TRUE, "enable the termination character");
    } catch (...) {
        closeHandles();
        throw;
    }
}

VisaLibrarySession::~VisaLibrarySession() {
    closeHandles();
}

void VisaLibrarySession::write(std::string_view message) {
    requireOpen();
    if (message.size() > std::numeric_limits<ViUInt32>::max()) {
        throw VisaError(VisaError::Kind::Other, resource_ + ": the message is too long to send");
    }
    applyTimeout(timeout());
    ViUInt32 written = 0;
    const auto size = static_cast<ViUInt32>(message.size());
    ViStatus status = library_->api().write(session_, reinterpret_cast<const unsigned char*>(message.data()),
                                            size, &written);
    if (status < VI_SUCCESS) {
        fail(status, status == VI_ERROR_TMO
                         ? "the instrument did not take the message within " + base::milliseconds(timeout())
                         : std::string("sending the message failed"));
    }
    if (written != size) {
        throw VisaError(VisaError::Kind::Other, resource_ + ": only " + std::to_string(written) + " of " +
                                                    std::to_string(size) + " bytes of the message were sent");
    }
}

std::string VisaLibrarySession::read() {
    requireOpen();
    const base::Deadline deadline(timeout());
    applyTimeout(deadline.timeout());
    std::string reply;
    std::array<unsigned char, kReadChunk> chunk;
    for (;;) {
        ViUInt32 count = 0;
        ViStatus status = library_->api().read(session_, chunk.data(), kReadChunk, &count);
        if (status < VI_SUCCESS) {
            fail(status, status == VI_ERROR_TMO
                             ? "no complete reply within " + base::milliseconds(deadline.timeout())
                             : std::string("reading the reply failed"));
        }
        reply.append(reinterpret_cast<const char*>(chunk.data()), std::min(count, kReadChunk));
        if (reply.size() > kMaxReplyBytes) {
            throw VisaError(VisaError::Kind::Protocol, resource_ + ": the reply is longer than " +
                                                           std::to_string(kMaxReplyBytes) +
                                                           " bytes; it was not read to its end");
        }
        // Anything but "buffer full" means END or the termination character ended the reply.
        if (status != VI_SUCCESS_MAX_CNT) {
            return reply;
        }
        if (deadline.expired()) {
            throw VisaError(VisaError::Kind::Timeout, resource_ + ": no complete reply within " +
                                                          base::milliseconds(deadline.timeout()));
        }
        applyTimeout(deadline.remaining());
    }
}

void VisaLibrarySession::flushRead() {
    requireOpen();
    ViStatus status = library_->api().flush(session_, VI_READ_BUF_DISCARD | VI_IO_IN_BUF_DISCARD);
    if (status < VI_SUCCESS) {
        fail(status, "discarding the input buffer failed");
    }
}

void VisaLibrarySession::close() {
    closeHandles();
}

void VisaLibrarySession::setAttribute(ViAttr attribute, ViAttrState value, const char* purpose) {
    ViStatus status = library_->api().setAttribute(session_, attribute, value);
    if (status < VI_SUCCESS) {
        fail(status, std::string("the session refused to ") + purpose);
    }
}

void VisaLibrarySession::applyTimeout(std::chrono::milliseconds timeout) {
    if (appliedTimeout_ == timeout) {
        return;
    }
    auto value = static_cast<ViAttrState>(std::clamp<long long>(timeout.count(), 0, kLongestTimeoutMs));
    setAttribute(VI_ATTR_TMO_VALUE, value, ("take the time-out of " + base::milliseconds(timeout)).c_str());
    appliedTimeout_ = timeout;
}

void VisaLibrarySession::requireOpen() const {
    if (!sessionOpen_) {
        throw VisaError(VisaError::Kind::Closed, resource_ + ": the session is closed");
    }
}

void VisaLibrarySession::closeHandles() noexcept {
    const auto& api = library_->api();
    if (sessionOpen_) {
        api.close(session_);
        sessionOpen_ = false;
    }
    if (resourceManagerOpen_) {
        api.close(resourceManager_);
        resourceManagerOpen_ = false;
    }
}

void VisaLibrarySession::fail(ViStatus status, const std::string& what) const {
    // Before the session exists the resource manager is the object whose status text applies.
    ViObject object = sessionOpen_ ? session_ : resourceManager_;
    throw VisaError(kindOf(status), resource_ + ": " + what + " (" + library_->name() + ": " +
                                        library_->describeStatus(object, status) + ")");
}

} // namespace visa
