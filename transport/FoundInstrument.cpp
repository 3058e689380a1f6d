#include "transport/FoundInstrument.h"

#include "base/WordTable.h"
#include "visa/ResourceName.h"
#include "visa/VisaError.h"

#include <array>

namespace transport {
namespace {

enum class Transport { Hislip, Vxi11, Usb, Socket, Gpib, Asrl, Sim, Unknown };

constexpr std::array<const char*, 8> kTransportNames{"HiSLIP", "VXI-11", "USB", "SOCKET",
                                                     "GPIB",   "ASRL",   "SIM", "?"};

Transport transportOf(const std::string& resource) {
    try {
        const auto name = visa::ResourceName::parse(resource);
        switch (name.interfaceType) {
        case visa::InterfaceType::Tcpip:
            if (name.resourceClass == visa::ResourceClass::Socket)
                return Transport::Socket;
            return name.isHislip() ? Transport::Hislip : Transport::Vxi11;
        case visa::InterfaceType::Usb:
            return Transport::Usb;
        case visa::InterfaceType::Gpib:
            return Transport::Gpib;
        case visa::InterfaceType::Asrl:
            return Transport::Asrl;
        case visa::InterfaceType::Sim:
            return Transport::Sim;
        }
    } catch (const visa::VisaError&) {
    }
    return Transport::Unknown;
}

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
    return kTransportNames[static_cast<std::size_t>(transportOf(resource))];
}

int transportRank(const std::string& resource) {
    return static_cast<int>(transportOf(resource));
}

std::string describeIdentity(const FoundInstrument& instrument) {
    const std::string maker = instrument.manufacturer.empty() || instrument.model.empty()
                                  ? instrument.manufacturer + instrument.model
                                  : instrument.manufacturer + " " + instrument.model;
    std::string named =
        join({{"", &maker}, {"serial ", &instrument.serial}, {"firmware ", &instrument.firmware}});
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
