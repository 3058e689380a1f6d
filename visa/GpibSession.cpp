#include "visa/GpibSession.h"

#include "base/Deadline.h"
#include "base/Milliseconds.h"
#include "base/PrintableText.h"
#include "visa/VisaError.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace visa {

namespace {

constexpr long kReadChunk = 4096;
constexpr unsigned kHighestAddress = 30;
// The library's error text goes into messages: a bounded excerpt only.
constexpr std::size_t kMaxShownText = 200;

} // namespace

GpibSession::GpibSession(std::shared_ptr<const GpibLibrary> library, const ResourceName& name)
    : library_(std::move(library)), resource_(name.text), board_(name.board),
      primaryAddress_(name.primaryAddress) {
    if (name.primaryAddress > kHighestAddress ||
        (name.secondaryAddress && *name.secondaryAddress > kHighestAddress)) {
        throw VisaError(VisaError::Kind::BadResource,
                        resource_ + ": GPIB addresses run from 0 to " + std::to_string(kHighestAddress));
    }
    const int secondary =
        name.secondaryAddress ? gpib::kSecondaryAddressBase + static_cast<int>(*name.secondaryAddress) : 0;
    const int step = gpib::timeoutStep(timeout());
    ud_ = library_->api().ibdev(static_cast<int>(board_), static_cast<int>(primaryAddress_), secondary, step,
                                1, gpib::kReadEndsAtEos | '\n');
    if (ud_ < 0) {
        ud_ = -1;
        fail(gpib::kStatusError, "linux-gpib could not open the device", timeout());
    }
    appliedStep_ = step;
}

GpibSession::~GpibSession() {
    close();
}

void GpibSession::write(std::string_view message) {
    requireOpen();
    if (message.size() > static_cast<std::size_t>(std::numeric_limits<long>::max())) {
        throw VisaError(VisaError::Kind::Other, resource_ + ": the message is too long to send");
    }
    applyTimeout(timeout());
    const int status = library_->api().ibwrt(ud_, message.data(), static_cast<long>(message.size()));
    if (status & gpib::kStatusError) {
        fail(status, "sending the message failed", timeout());
    }
    const long sent = library_->lastCount();
    if (sent != static_cast<long>(message.size())) {
        throw VisaError(VisaError::Kind::Other, resource_ + ": only " + std::to_string(sent) + " of " +
                                                    std::to_string(message.size()) +
                                                    " bytes of the message were sent");
    }
}

std::string GpibSession::read() {
    requireOpen();
    const base::Deadline deadline(timeout());
    applyTimeout(deadline.timeout());
    std::string reply;
    std::array<char, kReadChunk> chunk;
    for (;;) {
        const int status = library_->api().ibrd(ud_, chunk.data(), kReadChunk);
        if (status & gpib::kStatusError) {
            fail(status, "reading the reply failed", deadline.timeout());
        }
        const long count = std::clamp(library_->lastCount(), 0L, kReadChunk);
        reply.append(chunk.data(), static_cast<std::size_t>(count));
        if (reply.size() > kMaxReplyBytes) {
            throw VisaError(VisaError::Kind::Protocol, resource_ + ": the reply is longer than " +
                                                           std::to_string(kMaxReplyBytes) +
                                                           " bytes; it was not read to its end");
        }
        // With the end-of-string mode set, linux-gpib reports a line feed as END too; the check on the
        // last byte keeps a reply whole should a board report only the count.
        if ((status & gpib::kStatusEnd) || (!reply.empty() && reply.back() == '\n')) {
            return reply;
        }
        if (deadline.expired()) {
            throw VisaError(VisaError::Kind::Timeout, resource_ + ": no complete reply within " +
                                                          base::milliseconds(deadline.timeout()));
        }
        applyTimeout(deadline.remaining());
    }
}

// Reads stop exactly at EOI or the line feed and nothing is kept between them, so no input waits here.
void GpibSession::flushRead() {
    requireOpen();
}

void GpibSession::close() {
    if (ud_ >= 0) {
        library_->api().ibonl(ud_, 0);
        ud_ = -1;
    }
}

void GpibSession::applyTimeout(std::chrono::milliseconds timeout) {
    const int step = gpib::timeoutStep(timeout);
    if (step == appliedStep_) {
        return;
    }
    const int status = library_->api().ibtmo(ud_, step);
    if (status & gpib::kStatusError) {
        fail(status, "the device refused the time-out of " + base::milliseconds(timeout), timeout);
    }
    appliedStep_ = step;
}

void GpibSession::requireOpen() const {
    if (ud_ < 0) {
        throw VisaError(VisaError::Kind::Closed, resource_ + ": the session is closed");
    }
}

void GpibSession::fail(int status, const std::string& what, std::chrono::milliseconds timeout) const {
    const int error = library_->lastError();
    const std::string board = "board " + std::to_string(board_);
    const std::string address = "primary address " + std::to_string(primaryAddress_);
    VisaError::Kind kind = VisaError::Kind::Other;
    std::string advice;
    if ((status & gpib::kStatusTimeout) || error == gpib::EABO) {
        kind = VisaError::Kind::Timeout;
        advice = "no answer within " + base::milliseconds(timeout);
    } else {
        switch (error) {
        case gpib::ENOL:
            kind = VisaError::Kind::NotFound;
            advice = "no instrument listens at " + address + ": is it switched on, connected and set to " +
                     "that address?";
            break;
        case gpib::ENEB:
            kind = VisaError::Kind::NotFound;
            advice = "GPIB " + board + " does not exist or is offline: is the interface plugged in and " +
                     "configured with gpib_config?";
            break;
        case gpib::EDVR: {
            kind = VisaError::Kind::NotFound;
            const long code = library_->lastCount();
            const std::string system = code > 0 && code < std::numeric_limits<int>::max()
                                           ? std::strerror(static_cast<int>(code))
                                           : "system error";
            advice = "the GPIB driver cannot be reached (" + system +
                     "): is the linux-gpib kernel module loaded and gpib_config run for " + board + "?";
            break;
        }
        case gpib::ECIC:
        case gpib::ESAC:
            advice = "GPIB " + board + " is not the system controller in charge of the bus";
            break;
        case gpib::EARG:
            kind = VisaError::Kind::BadResource;
            advice = "linux-gpib rejected an argument (address or time-out)";
            break;
        case gpib::EBUS:
            advice = "a bus error occurred: check the cable and that no other controller is active";
            break;
        default:
            advice = "GPIB error " + std::to_string(error);
            break;
        }
    }
    std::string libraryText;
    if (library_->api().errorString != nullptr) {
        if (const char* text = library_->api().errorString(error)) {
            libraryText = base::printableText(text, kMaxShownText, base::Unprintable::Blank);
        }
    }
    std::string description = resource_ + ": " + what + ": " + advice;
    if (!libraryText.empty()) {
        description += " (" + library_->name() + ": " + libraryText + ")";
    }
    throw VisaError(kind, description);
}

} // namespace visa
