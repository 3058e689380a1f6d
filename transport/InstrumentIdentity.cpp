#include "transport/InstrumentIdentity.h"

#include "base/PrintableText.h"
#include "transport/Instrument.h"

#include <array>

namespace transport {
namespace {

// An identity is four short fields; anything past this is not part of one.
constexpr std::size_t kMaxReplyChars = 256;
constexpr std::size_t kFields = 4;

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, std::min(last - first + 1, kMaxIdentityFieldChars)));
}

} // namespace

std::optional<InstrumentIdentity> parseIdentity(std::string_view reply) {
    std::string text = base::printableText(reply, kMaxReplyChars, base::Unprintable::Blank);
    std::array<std::string, kFields> fields;
    std::size_t field = 0;
    std::size_t start = 0;
    // The last field takes the rest: a firmware text may hold commas of its own.
    while (field + 1 < kFields) {
        const auto comma = text.find(',', start);
        if (comma == std::string::npos)
            break;
        fields[field++] = trimmed(std::string_view(text).substr(start, comma - start));
        start = comma + 1;
    }
    fields[field] = trimmed(std::string_view(text).substr(start));
    if (field == 0 || fields[0].empty())
        return std::nullopt;
    return InstrumentIdentity{fields[0], fields[1], fields[2], fields[3]};
}

std::optional<InstrumentIdentity> askIdentity(const std::string& resource,
                                              std::chrono::milliseconds timeout) {
    // The same exchange as every open: finding identifies an instrument as connecting to it would.
    OpenOptions options;
    options.timeouts = {timeout, timeout};
    try {
        return parseIdentity(Instrument::open(resource, options)->identity());
    } catch (const std::exception&) {
        // Not opened, no identity, out of memory or threads in one session: that resource stays
        // unidentified.
        return std::nullopt;
    }
}

} // namespace transport
