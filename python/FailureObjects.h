#pragma once

#include <exception>
#include <pybind11/pybind11.h>

namespace pybinding {

// The Python exception (pinwright._errors) that stands for a failure of ours: a PortFailure by its
// cause, with its facts as attributes; a refused profile; a closed mainframe. Anything else becomes a
// PinwrightError with its text. Needs the GIL.
pybind11::object failureObject(std::exception_ptr failure);

// Makes every failure of ours that leaves a bound call that Python exception.
void registerFailureTranslator();

} // namespace pybinding
