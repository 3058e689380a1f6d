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

std::unique_ptr<GpibSession> GpibSession::open(std::shared_ptr<const GpibLibrary> library,
                                               const ResourceName& name) {
    return std::unique_ptr<GpibSession>(new GpibSession(std::move(library), name));
}

GpibSession::GpibSession(std::shared_ptr<const GpibLibrary> library, const ResourceName& name)
    : BackendSession(name.text), library_(std::move(library)), board_(name.board),
      primaryAddress_(name.primaryAddress) {
    if (name.primaryAddress > kHighestAddress ||
        (name.secondaryAddress && *name.secondaryAddress > kHighestAddress)) {
        fail(VisaError::Kind::BadResource, "GPIB addresses run from 0 to " + std::to_string(kHighestAddress));
    }
    const int secondary =
        name.secondaryAddress ? gpib::kSecondaryAddressBase + static_cast<int>(*name.secondaryAddress) : 0;
    const int step = gpib::timeoutStep(timeout());
    const int ud = library_->api().ibdev(static_cast<int>(board_), static_cast<int>(primaryAddress_),
                                         secondary, step, 1, gpib::kReadEndsAtEos | '\n');
    if (ud < 0) {
        // ibdev returns no status of its own, only the descriptor.
        failGpib(library_->lastStatus() | gpib::kStatusError, "linux-gpib could not open the device",
                 timeout());
    }
    device_ = LibraryHandle<GpibLibrary, int>(
        library_, ud, [](const GpibLibrary& gpib, int handle) { gpib.api().ibonl(handle, 0); });
    appliedStep_ = step;
}

void GpibSession::write(std::string_view message) {
    requireOpen();
    if (message.size() > static_cast<std::size_t>(std::numeric_limits<long>::max())) {
        fail(VisaError::Kind::Other, "the message is too long to send");
    }
    applyTimeout(timeout());
    const int status =
        library_->api().ibwrt(device_.get(), message.data(), static_cast<long>(message.size()));
    if (status & gpib::kStatusError) {
        failGpib(status, "sending the message failed", timeout());
    }
    const long sent = library_->lastCount();
    if (sent != static_cast<long>(message.size())) {
        fail(VisaError::Kind::Other, "only " + std::to_string(sent) + " of " +
                                         std::to_string(message.size()) + " bytes of the message were sent");
    }
}

std::string GpibSession::read() {
    requireOpen();
    const auto applyStep = [this](std::chrono::milliseconds limit) {
        applyTimeout(limit);
    };
    return readInPieces(applyStep, [this](std::string& reply, const base::Deadline& deadline) {
        std::array<char, kReadChunk> chunk;
        const int status = library_->api().ibrd(device_.get(), chunk.data(), kReadChunk);
        if (status & gpib::kStatusError) {
            failGpib(status, "reading the reply failed", deadline.timeout());
        }
        const long count = std::clamp(library_->lastCount(), 0L, kReadChunk);
        reply.append(chunk.data(), static_cast<std::size_t>(count));
        // With the end-of-string mode set, linux-gpib reports a line feed as END too; the check on the
        // last byte keeps a reply whole should a board report only the count.
        return (status & gpib::kStatusEnd) || (!reply.empty() && reply.back() == '\n');
    });
}

// Reads stop exactly at EOI or the line feed and nothing is kept between them, so no input waits here.
void GpibSession::close() {
    device_.reset();
}

void GpibSession::applyTimeout(std::chrono::milliseconds timeout) {
    const int step = gpib::timeoutStep(timeout);
    if (step == appliedStep_) {
        return;
    }
    const int status = library_->api().ibtmo(device_.get(), step);
    if (status & gpib::kStatusError) {
        failGpib(status, "the device refused the time-out of " + base::milliseconds(timeout), timeout);
    }
    appliedStep_ = step;
}

void GpibSession::failGpib(int status, const std::string& what, std::chrono::milliseconds timeout) const {
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
    std::string description = what + ": " + advice;
    if (!libraryText.empty()) {
        description += " (" + library_->name() + ": " + libraryText + ")";
    }
    fail(kind, description);
}

} // namespace visa
