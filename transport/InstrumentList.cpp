#include "transport/InstrumentList.h"

#include "base/AsciiCase.h"
#include "base/PrintableText.h"
#include "visa/Transport.h"

#include <algorithm>

namespace transport {
namespace {

// Several instruments answer "0" or nothing for a serial number; that tells two of one model apart no
// better than nothing.
bool tellsApart(const std::string& serial) {
    return serial.find_first_not_of("0 ") != std::string::npos;
}

// Where a resource leads, for merging: the host of a LAN resource, the resource itself for the built-in
// simulator (whose boards all share one identity with every pinwright-sim), nothing for a bus (USB, GPIB,
// a serial port), which only its identity can tie to the instrument's other resources.
std::string placeOf(const visa::FoundResource& resource) {
    if (!resource.host.empty())
        return "host:" + base::asciiLower(resource.host);
    const auto facts = visa::transportFacts(resource.resource);
    return facts && facts->transport == visa::Transport::Sim
               ? "resource:" + base::asciiLower(resource.resource)
               : std::string();
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

// The instrument a resource belongs to, or nullopt for a new one. Resources that answered one identity
// with a serial number belong together on one host or on a bus; on two hosts they are two instruments
// (cloned identities, simulators), which is better than hiding one of them. Without a usable serial, or
// without an answer, only one place holds them together.
std::optional<std::size_t> InstrumentList::findEntry(const std::string& identity, bool serialKnown,
                                                     const std::string& place) const {
    std::optional<std::size_t> unplaced;
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        const Entry& entry = entries_[index];
        if (entry.identity != identity)
            continue;
        if (entry.place == place || (serialKnown && place.empty()))
            return index;
        if (serialKnown && entry.place.empty() && !unplaced)
            unplaced = index;
    }
    return unplaced;
}

std::optional<std::size_t> InstrumentList::place(const visa::FoundResource& resource,
                                                 const std::optional<InstrumentIdentity>& identity,
                                                 IdentitySource unanswered) {
    const std::string name = base::asciiLower(resource.resource);
    if (std::find(resources_.begin(), resources_.end(), name) != resources_.end())
        return std::nullopt;
    resources_.push_back(name);

    // Unasked, or unanswered, a resource is still tied to its instrument by what its finder announced:
    // two mainframes announced by one host are two entries, whatever was asked.
    const bool announced = !(resource.manufacturer.empty() && resource.model.empty());
    const std::optional<InstrumentIdentity> known = identity    ? identity
                                                    : announced ? std::optional(announcedIdentity(resource))
                                                                : std::nullopt;
    const bool serialKnown = known && tellsApart(known->serial);
    std::string place = placeOf(resource);
    if (place.empty() && !serialKnown)
        place = "resource:" + name;
    const std::string who = known ? base::asciiLower(known->manufacturer) + "|" +
                                        base::asciiLower(known->model) +
                                        (serialKnown ? "|" + base::asciiLower(known->serial) : std::string())
                                  : std::string();

    const auto found = findEntry(who, serialKnown, place);
    const std::size_t index = found ? *found : instruments_.size();
    if (!found) {
        entries_.push_back({who, place});
        instruments_.emplace_back().source = unanswered;
    } else if (entries_[index].place.empty()) {
        entries_[index].place = place;
    }
    FoundInstrument& instrument = instruments_[index];
    addResource(instrument, resource);
    if (identity) {
        if (instrument.source != IdentitySource::Answered)
            takeIdentity(instrument, *identity);
        instrument.source = IdentitySource::Answered;
    } else if (instrument.source != IdentitySource::Answered && instrument.source != IdentitySource::Finder &&
               announced) {
        takeIdentity(instrument, *known);
        instrument.source = IdentitySource::Finder;
    }
    return index;
}

} // namespace transport
