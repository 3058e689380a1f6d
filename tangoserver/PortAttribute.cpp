#include "tangoserver/PortAttribute.h"

#include "port/PortRules.h"
#include "tangoserver/PinwrightPort.h"
#include "tangoserver/PortLabels.h"

#include <tango.h>

namespace tangoserver {
namespace {

using Kind = PortAttribute::Kind;

Tango::CmdArgType typeOf(Kind kind) {
    switch (kind) {
    case Kind::Identity:
        return Tango::DEV_STRING;
    case Kind::OutputWord:
    case Kind::InputWord:
        return Tango::DEV_USHORT;
    case Kind::PinFunction:
    case Kind::PinPolarity:
    case Kind::InhibitMode:
        break;
    }
    return Tango::DEV_ENUM;
}

Tango::AttrWriteType writeTypeOf(Kind kind) {
    return kind == Kind::Identity || kind == Kind::InputWord ? Tango::READ : Tango::READ_WRITE;
}

// One attribute of the device; reading and writing are the device's.
class PortAttr : public Tango::Attr {
public:
    explicit PortAttr(PortAttribute attribute)
        : Tango::Attr(attribute.name().c_str(), typeOf(attribute.kind), writeTypeOf(attribute.kind)),
          attribute_(attribute) {}

    void read(Tango::DeviceImpl* device, Tango::Attribute& value) override {
        static_cast<PinwrightPort*>(device)->readAttribute(attribute_, value);
    }
    void write(Tango::DeviceImpl* device, Tango::WAttribute& value) override {
        static_cast<PinwrightPort*>(device)->writeAttribute(attribute_, value);
    }

private:
    PortAttribute attribute_;
};

void describe(const PortAttribute& attribute, Tango::UserDefaultAttrProp& properties) {
    const std::string pin = "pin " + std::to_string(attribute.pin);
    std::vector<std::string> labels;
    switch (attribute.kind) {
    case Kind::Identity:
        properties.set_description("The instrument's identity, its *IDN? reply as opened");
        break;
    case Kind::PinFunction:
        labels = PortLabels::functions(attribute.pin);
        properties.set_description(("The function of " + pin +
                                    ", one of those it offers; On Couple and Off Couple are held by one of "
                                    "pins 4 to 7 at most")
                                       .c_str());
        break;
    case Kind::PinPolarity:
        labels = PortLabels::polarities();
        properties.set_description(("The polarity of " + pin).c_str());
        break;
    case Kind::OutputWord:
        properties.set_description("The port's output word, one bit per pin (bit 0 is pin 1)");
        properties.set_min_value("0");
        properties.set_max_value(std::to_string(PortRules::kMaxOutputWord).c_str());
        properties.set_format("%3d");
        break;
    case Kind::InputWord:
        properties.set_description("The port's input word, one bit per pin (bit 0 is pin 1), read every "
                                   "InputPollPeriod ms; a change is pushed as a change event");
        properties.set_min_value("0");
        properties.set_max_value(std::to_string(PortRules::kMaxOutputWord).c_str());
        properties.set_format("%3d");
        break;
    case Kind::InhibitMode:
        labels = PortLabels::inhibitModes();
        properties.set_description("The mainframe's inhibit mode");
        break;
    }
    if (!labels.empty())
        properties.set_enum_labels(labels);
    properties.set_label(attribute.name().c_str());
}

} // namespace

std::string PortAttribute::name() const {
    switch (kind) {
    case Kind::Identity:
        return "Identity";
    case Kind::PinFunction:
        return "Pin" + std::to_string(pin) + "Function";
    case Kind::PinPolarity:
        return "Pin" + std::to_string(pin) + "Polarity";
    case Kind::OutputWord:
        return "OutputWord";
    case Kind::InputWord:
        return "InputWord";
    case Kind::InhibitMode:
        break;
    }
    return "InhibitMode";
}

std::vector<Tango::Attr*> makePortAttributes() {
    std::vector<PortAttribute> attributes{{Kind::Identity}};
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin)
        attributes.push_back({Kind::PinFunction, pin});
    for (std::int16_t pin = 1; pin <= kPinCount; ++pin)
        attributes.push_back({Kind::PinPolarity, pin});
    attributes.insert(attributes.end(), {{Kind::OutputWord}, {Kind::InputWord}, {Kind::InhibitMode}});
    std::vector<Tango::Attr*> made;
    for (const auto& attribute : attributes) {
        auto attr = std::make_unique<PortAttr>(attribute);
        Tango::UserDefaultAttrProp properties;
        describe(attribute, properties);
        attr->set_default_properties(properties);
        if (attribute.kind != Kind::Identity)
            attr->set_change_event(true, false);
        made.push_back(attr.release());
    }
    return made;
}

} // namespace tangoserver
