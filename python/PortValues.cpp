#include "python/PortValues.h"

#include "port/PortNames.h"

#include <pybind11/stl.h>

namespace py = pybind11;

namespace pybinding {
namespace {

py::object polarityObject(const std::optional<Polarity>& polarity) {
    if (!polarity || *polarity == Polarity::None)
        return py::none();
    return py::str(PortNames::polarityName(*polarity));
}

} // namespace

py::dict setupDict(const PortSetup& setup) {
    py::list pins;
    for (const auto& pin : setup.pins) {
        const py::object function =
            pin.function && !pin.function->empty() ? py::object(py::str(*pin.function)) : py::none();
        pins.append(py::make_tuple(function, polarityObject(pin.polarity)));
    }
    py::dict values;
    values["pins"] = pins;
    values["output_word"] = setup.outputWord;
    values["inhibit_mode"] = setup.inhibitMode && *setup.inhibitMode != InhibitMode::None
                                 ? py::object(py::str(PortNames::inhibitModeName(*setup.inhibitMode)))
                                 : py::none();
    return values;
}

py::dict readingDict(const PortReading& reading) {
    py::dict values = setupDict(reading.setup);
    values["input_word"] = reading.inputWord;
    return values;
}

py::list changeList(const std::vector<ApplyPlan::SettingChange>& changes) {
    py::list list;
    for (const auto& change : changes)
        list.append(py::make_tuple(change.setting, change.from, change.to));
    return list;
}

py::list stepList(const std::vector<ApplyPlan::ApplyStep>& steps) {
    py::list list;
    for (const auto& step : steps)
        list.append(
            py::make_tuple(step.change.setting, step.change.from, step.change.to, step.commandText()));
    return list;
}

std::string functionName(const std::string& text) {
    if (auto name = PortNames::functionFromName(text))
        return *name;
    throw py::value_error("no pin function \"" + text + "\"; one of " + PortNames::functionChoices());
}

Polarity polarityOf(const std::string& text) {
    if (auto polarity = PortNames::polarityFromName(text))
        return *polarity;
    throw py::value_error("no polarity \"" + text + "\"; " + PortNames::polarityChoices());
}

InhibitMode inhibitModeOf(const std::string& text) {
    if (auto mode = PortNames::inhibitModeFromName(text))
        return *mode;
    throw py::value_error("no inhibit mode \"" + text + "\"; " + PortNames::inhibitModeChoices());
}

} // namespace pybinding
