#pragma once

#include <tango.h>

namespace tangoserver {

// The PinwrightPort device class: its attributes, its commands (Apply, Diff, Plan) and its devices, one
// per name the database (or -dlist) gives.
class PinwrightPortClass : public Tango::DeviceClass {
public:
    explicit PinwrightPortClass(std::string name);

protected:
    void command_factory() override;
    void attribute_factory(std::vector<Tango::Attr*>& attributes) override;
    void device_factory(const Tango::DevVarStringArray* names) override;
};

} // namespace tangoserver
