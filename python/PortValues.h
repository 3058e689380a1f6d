#pragma once

#include "port/ApplyPlan.h"
#include "port/PortSetup.h"

#include <pybind11/pybind11.h>
#include <string>
#include <vector>

// The port's values as the package's Python side takes them (pinwright/_values.py makes its dataclasses
// and enums of these): plain dicts, lists and tuples of names as the window prints them. Need the GIL.
namespace pybinding {

// {"pins": [(function or None, polarity or None)] * 7, "output_word", "inhibit_mode"}; a value the
// instrument gave in no known form is None.
pybind11::dict setupDict(const PortSetup& setup);
// The same, and "input_word".
pybind11::dict readingDict(const PortReading& reading);
// (setting, old, new) each.
pybind11::list changeList(const std::vector<ApplyPlan::SettingChange>& changes);
// (setting, old, new, command) each.
pybind11::list stepList(const std::vector<ApplyPlan::ApplyStep>& steps);

// Names as typed, in any letter case, mnemonics too, to the canonical ones; ValueError listing the
// choices for anything else.
std::string functionName(const std::string& text);
Polarity polarityOf(const std::string& text);
InhibitMode inhibitModeOf(const std::string& text);

} // namespace pybinding
