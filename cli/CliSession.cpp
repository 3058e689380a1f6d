#include "cli/CliSession.h"

#include "cli/ExitStatus.h"
#include "transport/ProgramEnd.h"
#include "transport/SCPI_DCPS.h"
#include "transport/UserNotice.h"

#include <mutex>

namespace cli {
namespace {

// The transport's notices are written for message boxes (CR LF line breaks); a terminal wants LF and
// the continuation lines indented under the first.
std::string forTerminal(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i];
        if (text[i] == '\n')
            out += "  ";
    }
    return out;
}

} // namespace

CliSession::CliSession(const std::string& resource, bool reset, std::ostream& err)
    : resource_(resource), err_(err) {
    transport::SetNoticeHandler([this](const std::string& text) { showNotice(text); });
    transport::SetLostCommunicationHandler([this] {
        throw CliFailure(kUnreachable,
                         "pinwright-cli: " + resource_ + ": " + step_ + ": the instrument stopped answering");
    });
    const std::int16_t skipReset = reset ? 0 : 1;
    bool opened = false;
    {
        // Opening replaces the transport's one shared resource manager object; one open at a time.
        static std::mutex openingOneAtATime;
        const std::lock_guard lock(openingOneAtATime);
        opened = SCPI_DCPS::OpenSession(resource, session_, skipReset);
    }
    if (!opened) {
        transport::SetNoticeHandler(nullptr);
        transport::SetLostCommunicationHandler(nullptr);
        throw CliFailure(kUnreachable, "pinwright-cli: " + resource_ + ": " + forTerminal(openingNotices_));
    }
    opening_ = false;
    step_.clear();
}

CliSession::~CliSession() {
    transport::SetNoticeHandler(nullptr);
    transport::SetLostCommunicationHandler(nullptr);
}

void CliSession::report(const std::string& message) {
    err_ << "pinwright-cli: " << resource_ << ": " << message << '\n';
    err_.flush();
}

void CliSession::showNotice(const std::string& text) {
    if (opening_) {
        // The identity notice of a good connection is no news to a script; only a failed opening
        // is told, once OpenSession has said why.
        openingNotices_ = text;
        return;
    }
    ++errorsSeen_;
    report((step_.empty() ? std::string() : step_ + ": ") + forTerminal(text));
}

} // namespace cli
