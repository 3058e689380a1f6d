#include "port/PortFailure.h"

#include "base/PrintableText.h"

#include <charconv>

namespace {

// Long enough for any error the instrument queues, short enough to keep a message on one screen line
// group when an instrument answers with garbage.
constexpr std::size_t kMaxDetailChars = 1000;

std::string shown(const std::string& detail) {
    return base::printableText(detail, kMaxDetailChars, base::Unprintable::HexEscape);
}

std::string messageOf(PortFailure::Cause cause, const std::string& resource, const std::string& step,
                      const std::string& detail) {
    if (cause == PortFailure::Cause::InvalidResource)
        return detail;
    return resource + ": " + step + ": " + shown(detail);
}

std::string listOf(const std::vector<std::string>& settings) {
    std::string text;
    for (const auto& setting : settings)
        text += (text.empty() ? "" : ", ") + setting;
    return text.empty() ? "none" : text;
}

} // namespace

const char* causeName(PortFailure::Cause cause) {
    switch (cause) {
    case PortFailure::Cause::InvalidResource:
        return "InvalidResource";
    case PortFailure::Cause::Unreachable:
        return "Unreachable";
    case PortFailure::Cause::LockNotGranted:
        return "LockNotGranted";
    case PortFailure::Cause::Lost:
        return "Lost";
    case PortFailure::Cause::InstrumentError:
        return "InstrumentError";
    case PortFailure::Cause::Refused:
        break;
    }
    return "Refused";
}

PortFailure::PortFailure(Cause cause, std::string resource, std::string step, std::string detail)
    : base::UserError(messageOf(cause, resource, step, detail)), cause_(cause),
      resource_(std::move(resource)), step_(std::move(step)), detail_(std::move(detail)) {}

PortFailure::PortFailure(const PortFailure& failure, const std::string& addedText)
    : base::UserError(failure.what() + addedText), cause_(failure.cause_), resource_(failure.resource_),
      step_(failure.step_), detail_(failure.detail_) {}

std::string PortFailure::reason() const {
    return step_ + ": " + shown(detail_);
}

std::optional<int> PortFailure::errorCode() const {
    if (cause_ != Cause::InstrumentError)
        return std::nullopt;
    const auto comma = detail_.find(',');
    if (comma == std::string::npos)
        return std::nullopt;
    int code = 0;
    const char* first = detail_.data();
    if (*first == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, detail_.data() + comma, code);
    if (error != std::errc() || end != detail_.data() + comma)
        return std::nullopt;
    return code;
}

std::string PortFailure::errorText() const {
    if (!errorCode())
        return detail_;
    std::string text = detail_.substr(detail_.find(',') + 1);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return text;
}

ProfileRefused::ProfileRefused(const std::string& resource, std::vector<std::string> refusals)
    : PortFailure(Cause::Refused, resource, "apply",
                  [&] {
                      std::string text;
                      for (const auto& refusal : refusals)
                          text += refusal + "; ";
                      return text + "nothing was sent";
                  }()),
      refusals_(std::move(refusals)) {}

ApplyFailure::ApplyFailure(const PortFailure& failure, std::vector<std::string> applied, std::string failed,
                           std::vector<std::string> notReached)
    : PortFailure(failure,
                  "; applied before it: " + listOf(applied) + "; not reached: " + listOf(notReached)),
      applied_(std::move(applied)), failed_(std::move(failed)), notReached_(std::move(notReached)) {}
