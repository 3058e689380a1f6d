#include "transport/FoundInstrument.h"

#include "base/AsciiCase.h"
#include "base/WordTable.h"
#include "visa/Transport.h"

#include <algorithm>
#include <limits>

namespace transport {
namespace {

constexpr base::WordTable<IdentitySource, 4> kIdentitySourceNames{
    IdentitySource::NotAsked,
    {{{IdentitySource::Answered, "answered"},
      {IdentitySource::Finder, "finder"},
      {IdentitySource::NotIdentified, "none"},
      {IdentitySource::NotAsked, "not asked"}}}};

std::string join(std::initializer_list<std::pair<const char*, const std::string*>> parts) {
    std::string text;
    for (const auto& [label, value] : parts) {
        if (value->empty())
            continue;
        if (!text.empty())
            text += ", ";
        text += std::string(label) + *value;
    }
    return text;
}

} // namespace

std::string transportName(const std::string& resource) {
    const auto facts = visa::transportFacts(resource);
    return facts ? facts->name : "?";
}

int transportRank(const std::string& resource) {
    const auto facts = visa::transportFacts(resource);
    return facts ? facts->findRank : std::numeric_limits<int>::max();
}

bool isBuiltIn(const FoundInstrument& instrument) {
    return std::any_of(instrument.resources.begin(), instrument.resources.end(), [](const auto& resource) {
        const auto facts = visa::transportFacts(resource.resource);
        return facts && facts->transport == visa::Transport::Sim;
    });
}

std::string listingKey(const FoundInstrument& instrument) {
    // A field separator below every printable character, so that "ab","c" sorts before "abc","".
    constexpr char kSeparator = '\x01';
    std::string key = instrument.manufacturer.empty() ? "1" : "0";
    for (const auto* field :
         {&instrument.manufacturer, &instrument.model, &instrument.serial, &instrument.host})
        key += base::asciiLower(*field) + kSeparator;
    return key + (instrument.resources.empty() ? std::string() : base::asciiLower(instrument.bestResource()));
}

void sortForListing(std::vector<FoundInstrument>& instruments) {
    std::stable_sort(
        instruments.begin(), instruments.end(),
        [](const FoundInstrument& a, const FoundInstrument& b) { return listingKey(a) < listingKey(b); });
}

std::string describeIdentity(const FoundInstrument& instrument) {
    const std::string maker = instrument.manufacturer.empty() || instrument.model.empty()
                                  ? instrument.manufacturer + instrument.model
                                  : instrument.manufacturer + " " + instrument.model;
    std::string named =
        join({{"", &maker}, {"serial ", &instrument.serial}, {"firmware ", &instrument.firmware}});
    if (isBuiltIn(instrument))
        named += " (built in)";
    switch (instrument.source) {
    case IdentitySource::Answered:
        return named;
    case IdentitySource::Finder:
        return named + " (as announced)";
    case IdentitySource::NotIdentified:
        named = "no answer to *IDN?";
        break;
    case IdentitySource::NotAsked:
        named = "not identified";
        break;
    }
    return instrument.host.empty() ? named : named + " at " + instrument.host;
}

std::string identitySourceName(IdentitySource source) {
    return kIdentitySourceNames.wordFor(source);
}

} // namespace transport
