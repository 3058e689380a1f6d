#include "transport/InstrumentList.h"

#include "base/PrintableText.h"

#include <algorithm>
#include <cctype>

namespace transport {
namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Several instruments answer "0" or nothing for a serial number; that tells two of one model apart no
// better than nothing.
bool tellsApart(const std::string& serial) {
    return serial.find_first_not_of("0 ") != std::string::npos;
}

// Resources of one host without an identity are most likely one instrument over several transports; one of
// them that answered belongs with whatever else answered the same.
std::string mergeKey(const visa::FoundResource& resource, const std::optional<InstrumentIdentity>& identity) {
    const std::string place =
        resource.host.empty() ? "resource:" + lower(resource.resource) : "host:" + lower(resource.host);
    if (!identity)
        return place;
    const std::string who = "id:" + lower(identity->manufacturer) + "|" + lower(identity->model);
    return tellsApart(identity->serial) ? who + "|" + lower(identity->serial) : who + "@" + place;
}

// What a finding method carried (a TXT record) is a peer's text like any reply.
InstrumentIdentity announcedIdentity(const visa::FoundResource& resource) {
    const auto printable = [](const std::string& text) {
        return base::printableText(text, kMaxIdentityFieldChars, base::Unprintable::Question);
    };
    return {printable(resource.manufacturer), printable(resource.model), printable(resource.serial), {}};
}

void takeIdentity(FoundInstrument& instrument, const InstrumentIdentity& identity) {
    instrument.manufacturer = identity.manufacturer;
    instrument.model = identity.model;
    instrument.serial = identity.serial;
    instrument.firmware = identity.firmware;
}

void addResource(FoundInstrument& instrument, const visa::FoundResource& resource) {
    const int rank = transportRank(resource.resource);
    const auto after = std::find_if(
        instrument.resources.begin(), instrument.resources.end(),
        [&](const visa::FoundResource& listed) { return transportRank(listed.resource) > rank; });
    instrument.resources.insert(after, resource);
    if (instrument.host.empty())
        instrument.host = resource.host;
}

} // namespace

std::optional<std::size_t> InstrumentList::place(const visa::FoundResource& resource,
                                                 const std::optional<InstrumentIdentity>& identity,
                                                 IdentitySource unanswered) {
    const std::string name = lower(resource.resource);
    if (std::find(resources_.begin(), resources_.end(), name) != resources_.end())
        return std::nullopt;
    resources_.push_back(name);

    const std::string key = mergeKey(resource, identity);
    auto slot = std::find(keys_.begin(), keys_.end(), key);
    const auto index = static_cast<std::size_t>(slot - keys_.begin());
    if (slot == keys_.end()) {
        keys_.push_back(key);
        instruments_.emplace_back().source = unanswered;
    }
    FoundInstrument& instrument = instruments_[index];
    addResource(instrument, resource);
    if (identity) {
        if (instrument.source != IdentitySource::Answered)
            takeIdentity(instrument, *identity);
        instrument.source = IdentitySource::Answered;
    } else if (instrument.source != IdentitySource::Answered && instrument.source != IdentitySource::Finder &&
               !(resource.manufacturer.empty() && resource.model.empty())) {
        takeIdentity(instrument, announcedIdentity(resource));
        instrument.source = IdentitySource::Finder;
    }
    return index;
}

} // namespace transport
