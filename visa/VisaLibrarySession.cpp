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

// How each status the resource manager and the session report is classified; any other is Kind::Other.
constexpr std::pair<ViStatus, VisaError::Kind> kStatusKinds[] = {
    {VI_ERROR_TMO, VisaError::Kind::Timeout},
    {VI_ERROR_RSRC_NFOUND, VisaError::Kind::NotFound},
    {VI_ERROR_NLISTENERS, VisaError::Kind::NotFound},
    {VI_ERROR_RSRC_LOCKED, VisaError::Kind::Refused},
    {VI_ERROR_RSRC_BUSY, VisaError::Kind::Refused},
    {VI_ERROR_INV_RSRC_NAME, VisaError::Kind::BadResource},
    {VI_ERROR_CONN_LOST, VisaError::Kind::ConnectionLost},
    {VI_ERROR_NSUP_OPER, VisaError::Kind::Unsupported},
};

} // namespace

std::unique_ptr<VisaLibrarySession> VisaLibrarySession::open(std::shared_ptr<const VisaLibrary> library,
                                                             std::string resource,
                                                             std::chrono::milliseconds openTimeout) {
    return std::unique_ptr<VisaLibrarySession>(
        new VisaLibrarySession(std::move(library), std::move(resource), openTimeout));
}

VisaLibrarySession::VisaLibrarySession(std::shared_ptr<const VisaLibrary> library, std::string resource,
                                       std::chrono::milliseconds openTimeout)
    : BackendSession(std::move(resource)), library_(std::move(library)) {
    const auto& api = library_->api();
    ViSession handle = 0;
    ViStatus status = api.openDefaultRM(&handle);
    if (status < VI_SUCCESS) {
        failStatus(status, "the VISA library " + library_->name() + " could not start its resource manager");
    }
    resourceManager_ = adopt(handle);
    auto openMs = static_cast<ViUInt32>(std::clamp<long long>(openTimeout.count(), 0, kLongestTimeoutMs));
    status =
        api.open(resourceManager_.get(), BackendSession::resource().c_str(), VI_NO_LOCK, openMs, &handle);
    if (status < VI_SUCCESS) {
        failStatus(status, status == VI_ERROR_TMO ? "no answer within " + base::milliseconds(openTimeout)
                                                  : std::string("the VISA library could not open it"));
    }
    session_ = adopt(handle);
    applyTimeout(timeout());
    // END on the last byte of every write, and a read also ends at a line feed, the terminator
    // this instrument puts on every reply (serial ports have no END of their own).
    setAttribute(VI_ATTR_SEND_END_EN, VI_TRUE, "enable END on writes");
    setAttribute(VI_ATTR_TERMCHAR, '\n', "set the termination character");
    setAttribute(VI_ATTR_TERMCHAR_EN, VI_TRUE, "enable the termination character");
}

VisaLibrarySession::Handle VisaLibrarySession::adopt(ViSession handle) const {
    return Handle(library_, handle,
                  [](const VisaLibrary& visa, ViSession object) { visa.api().close(object); });
}

void VisaLibrarySession::write(std::string_view message) {
    requireOpen();
    if (message.size() > std::numeric_limits<ViUInt32>::max()) {
        fail(VisaError::Kind::Other, "the message is too long to send");
    }
    applyTimeout(timeout());
    ViUInt32 written = 0;
    const auto size = static_cast<ViUInt32>(message.size());
    ViStatus status = library_->api().write(
        session_.get(), reinterpret_cast<const unsigned char*>(message.data()), size, &written);
    if (status < VI_SUCCESS) {
        failStatus(status, status == VI_ERROR_TMO ? "the instrument did not take the message within " +
                                                        base::milliseconds(timeout())
                                                  : std::string("sending the message failed"));
    }
    if (written != size) {
        fail(VisaError::Kind::Other, "only " + std::to_string(written) + " of " + std::to_string(size) +
                                         " bytes of the message were sent");
    }
}

std::string VisaLibrarySession::read() {
    requireOpen();
    const auto applyLimit = [this](std::chrono::milliseconds limit) {
        applyTimeout(limit);
    };
    return readInPieces(applyLimit, [this](std::string& reply, const base::Deadline& deadline) {
        std::array<unsigned char, kReadChunk> chunk;
        ViUInt32 count = 0;
        ViStatus status = library_->api().read(session_.get(), chunk.data(), kReadChunk, &count);
        if (status < VI_SUCCESS) {
            failStatus(status, status == VI_ERROR_TMO
                                   ? "no complete reply within " + base::milliseconds(deadline.timeout())
                                   : std::string("reading the reply failed"));
        }
        reply.append(reinterpret_cast<const char*>(chunk.data()), std::min(count, kReadChunk));
        // Anything but "buffer full" means END or the termination character ended the reply.
        return status != VI_SUCCESS_MAX_CNT;
    });
}

void VisaLibrarySession::flushRead() {
    requireOpen();
    ViStatus status = library_->api().flush(session_.get(), VI_READ_BUF_DISCARD | VI_IO_IN_BUF_DISCARD);
    if (status < VI_SUCCESS) {
        failStatus(status, "discarding the input buffer failed");
    }
}

void VisaLibrarySession::close() {
    session_.reset();
    resourceManager_.reset();
}

void VisaLibrarySession::setAttribute(ViAttr attribute, ViAttrState value, const char* purpose) {
    ViStatus status = library_->api().setAttribute(session_.get(), attribute, value);
    if (status < VI_SUCCESS) {
        failStatus(status, std::string("the session refused to ") + purpose);
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

void VisaLibrarySession::failStatus(ViStatus status, const std::string& what) const {
    // Before the session exists the resource manager is the object whose status text applies.
    ViObject object = session_.valid() ? session_.get() : resourceManager_.get();
    fail(kindOf(kStatusKinds, status),
         what + " (" + library_->name() + ": " + library_->describeStatus(object, status) + ")");
}

} // namespace visa
