#include "tangoserver/PinwrightPortClass.h"

#include "tangoserver/PinwrightPort.h"
#include "tangoserver/PortAttribute.h"

namespace tangoserver {
namespace {

// Apply, Diff and Plan: a profile as JSON text in, the report as JSON text out.
class ProfileCommand : public Tango::Command {
public:
    ProfileCommand(const char* name, PinwrightPort::ProfileAction action, const char* out)
        : Tango::Command(name, Tango::DEV_STRING, Tango::DEV_STRING,
                         "A port profile as JSON text, as pinwright-cli reads it", out, Tango::OPERATOR),
          action_(action) {}

    CORBA::Any* execute(Tango::DeviceImpl* device, const CORBA::Any& input) override {
        Tango::DevString profile = nullptr;
        extract(input, profile);
        const std::string report = static_cast<PinwrightPort*>(device)->runProfile(action_, profile);
        return insert(CORBA::string_dup(report.c_str()));
    }

private:
    PinwrightPort::ProfileAction action_;
};

} // namespace

PinwrightPortClass::PinwrightPortClass(std::string name) : Tango::DeviceClass(name) {}

void PinwrightPortClass::command_factory() {
    using Action = PinwrightPort::ProfileAction;
    command_list.push_back(new ProfileCommand(
        "Apply", Action::Apply,
        "The apply report as JSON: result changed, unchanged or differs, changes, differences"));
    command_list.push_back(new ProfileCommand(
        "Diff", Action::Diff, "The differences as JSON: result same or differs, changes; nothing is sent"));
    command_list.push_back(new ProfileCommand(
        "Plan", Action::Plan, "The steps an apply would send as JSON: result unchanged or planned, plan"));
}

void PinwrightPortClass::attribute_factory(std::vector<Tango::Attr*>& attributes) {
    for (auto* attribute : makePortAttributes())
        attributes.push_back(attribute);
}

void PinwrightPortClass::device_factory(const Tango::DevVarStringArray* names) {
    for (CORBA::ULong i = 0; i < names->length(); ++i) {
        std::string name((*names)[i].in());
        auto* device = new PinwrightPort(this, name);
        device_list.push_back(device);
        if (Tango::Util::_UseDb && !Tango::Util::_FileDb)
            export_device(device);
        else
            export_device(device, device->get_name().c_str());
    }
}

} // namespace tangoserver
