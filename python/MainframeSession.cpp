#include "python/MainframeSession.h"

#include "port/PortReader.h"
#include "port/PortSession.h"
#include "port/PortWrites.h"
#include "port/ProfileApply.h"

namespace pybinding {

MainframeSession::MainframeSession(const std::string& resource, const OpenSettings& settings)
    : resource_(resource), lockTimeout_(settings.lockTimeout) {
    SessionOptions options;
    options.timeouts = settings.timeouts;
    options.reset = settings.reset;
    options.trace = settings.trace;
    session_ = std::make_unique<PortSession>(resource, options);
}

MainframeSession::~MainframeSession() = default;

PortSession& MainframeSession::session() {
    if (!session_)
        throw SessionClosed(resource_);
    return *session_;
}

std::string MainframeSession::identity() {
    const std::lock_guard hold(mutex_);
    return session().identity();
}

PortReading MainframeSession::readPort(bool withInput) {
    const std::lock_guard hold(mutex_);
    return ::readPort(session(), withInput);
}

int MainframeSession::readInputWord() {
    const std::lock_guard hold(mutex_);
    return ::readInputWord(session());
}

void MainframeSession::setPin(int pin, const std::optional<std::string>& function,
                              std::optional<Polarity> polarity) {
    const std::lock_guard hold(mutex_);
    const auto lock = session().lockForChange(lockTimeout_);
    if (function)
        PortWrites::setPin(session(), pin, *function, polarity);
    else if (polarity)
        PortWrites::setPinPolarity(session(), pin, *polarity);
}

void MainframeSession::setOutputWord(int word) {
    const std::lock_guard hold(mutex_);
    const auto lock = session().lockForChange(lockTimeout_);
    PortWrites::setOutputWord(session(), word);
}

void MainframeSession::setInhibitMode(InhibitMode mode) {
    const std::lock_guard hold(mutex_);
    const auto lock = session().lockForChange(lockTimeout_);
    PortWrites::setInhibitMode(session(), mode);
}

std::optional<std::string> MainframeSession::scpi(const std::string& text) {
    const std::lock_guard hold(mutex_);
    if (text.find('?') != std::string::npos)
        return session().query(text, text);
    session().command(text, text);
    return std::nullopt;
}

std::vector<ApplyPlan::ApplyStep> MainframeSession::plan(const PortSetup& profile) {
    const std::lock_guard hold(mutex_);
    return ProfileApply::plan(session(), profile, {}, false).steps;
}

ProfileApply::ApplyOutcome MainframeSession::apply(const PortSetup& profile) {
    const std::lock_guard hold(mutex_);
    const auto lock = session().lockForChange(lockTimeout_);
    return ProfileApply::apply(session(), profile, {});
}

std::vector<ApplyPlan::SettingChange> MainframeSession::diff(const PortSetup& profile) {
    const std::lock_guard hold(mutex_);
    return ProfileApply::diff(session(), profile);
}

void MainframeSession::close() {
    const std::lock_guard hold(mutex_);
    session_.reset();
}

bool MainframeSession::isOpen() {
    const std::lock_guard hold(mutex_);
    return session_ != nullptr;
}

} // namespace pybinding
