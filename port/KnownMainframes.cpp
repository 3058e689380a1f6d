#include "port/KnownMainframes.h"

#include "base/AsciiCase.h"
#include "base/PrintableText.h"
#include "transport/InstrumentIdentity.h"

#include <array>

namespace KnownMainframes {
namespace {

constexpr const char* kMaker = "Korvane";
constexpr std::array<const char*, 1> kModels{"MF-7"};
constexpr std::size_t kShownChars = 120;

std::string modelList() {
    std::string text;
    for (const char* model : kModels)
        text += (text.empty() ? "" : ", ") + std::string(model);
    return text;
}

} // namespace

std::optional<std::string> whyUnknown(const std::string& identityReply) {
    if (const auto identity = transport::parseIdentity(identityReply);
        identity && base::asciiEqualIgnoringCase(identity->manufacturer, kMaker))
        for (const char* model : kModels)
            if (base::asciiEqualIgnoringCase(identity->model, model))
                return std::nullopt;
    std::string reply = identityReply;
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r'))
        reply.pop_back();
    return "the identity \"" + base::printableText(reply, kShownChars, base::Unprintable::HexEscape) +
           "\" is not a " + kMaker + " mainframe with a known port (" + modelList() + ")";
}

} // namespace KnownMainframes
