#include "python/FailureObjects.h"

#include "port/PortFailure.h"
#include "port/PortWrites.h"
#include "port/Profile.h"
#include "python/MainframeSession.h"

#include <pybind11/stl.h>

namespace py = pybind11;

namespace pybinding {
namespace {

py::dict factsOf(const PortFailure& failure) {
    py::dict facts;
    facts["cause"] = causeName(failure.cause());
    facts["message"] = std::string(failure.what());
    facts["resource"] = failure.resource();
    facts["step"] = failure.step();
    facts["detail"] = failure.detail();
    facts["code"] = failure.errorCode();
    facts["text"] = failure.errorText();
    if (const auto* coupling = dynamic_cast<const CouplingRefused*>(&failure);
        coupling && !coupling->holders().empty()) {
        facts["holder_pin"] = coupling->holders().front();
        facts["function"] = coupling->function();
    }
    if (const auto* stopped = dynamic_cast<const ApplyFailure*>(&failure)) {
        facts["applied"] = stopped->applied();
        facts["failed"] = stopped->failed();
        facts["not_reached"] = stopped->notReached();
    }
    if (const auto* refused = dynamic_cast<const ProfileRefused*>(&failure))
        facts["refusals"] = refused->refusals();
    return facts;
}

} // namespace

py::object failureObject(std::exception_ptr failure) {
    const auto errors = py::module_::import("pinwright._errors");
    try {
        std::rethrow_exception(failure);
    } catch (const PortFailure& portFailure) {
        return errors.attr("from_failure")(**factsOf(portFailure));
    } catch (const Profile::Refusal& refusal) {
        return errors.attr("ProfileError")(std::string(refusal.what()), refusal.where(), refusal.problem());
    } catch (const SessionClosed& closed) {
        return errors.attr("SessionClosed")(std::string(closed.what()));
    } catch (const std::exception& other) {
        return errors.attr("PinwrightError")(std::string(other.what()));
    }
}

void registerFailureTranslator() {
    py::register_exception_translator([](std::exception_ptr failure) {
        const auto raise = [&failure] {
            const py::object error = failureObject(failure);
            PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
        };
        try {
            std::rethrow_exception(failure);
        } catch (const PortFailure&) {
            raise();
        } catch (const Profile::Refusal&) {
            raise();
        } catch (const SessionClosed&) {
            raise();
        }
    });
}

} // namespace pybinding
