// _pinwright: the C++ half of the Python package `pinwright` (pinwright/__init__.py says what a user
// sees). It hands plain values to the package's Python half, which makes its dataclasses, enums and
// iterators of them. Every call that talks to an instrument runs without the GIL, so Python threads
// working on different mainframes run at once.
#include "port/PortFailure.h"
#include "port/PortNames.h"
#include "port/Profile.h"
#include "python/FailureObjects.h"
#include "python/Finding.h"
#include "python/GilFreeWait.h"
#include "python/MainframeSession.h"
#include "python/PortValues.h"
#include "python/RackRun.h"
#include "simbackend/SimBackend.h"
#include "simbackend/SimBoards.h"
#include "transport/Instrument.h"
#include "transport/InstrumentErrors.h"
#include "visa/TraceLog.h"

#include <pybind11/stl.h>

namespace py = pybind11;
using namespace pybind11::literals;
using pybinding::MainframeSession;

namespace {

using Milliseconds = std::chrono::milliseconds;

pybinding::OpenSettings openSettings(long timeoutMs, long lockTimeoutMs, bool reset,
                                     const std::optional<std::string>& trace) {
    if (timeoutMs <= 0 || lockTimeoutMs < 0)
        throw py::value_error("timeout must be above 0 ms and lock_timeout at least 0 ms");
    pybinding::OpenSettings settings;
    settings.timeouts.io = Milliseconds(timeoutMs);
    settings.timeouts.open = std::max(settings.timeouts.open, Milliseconds(timeoutMs));
    settings.lockTimeout = Milliseconds(lockTimeoutMs);
    settings.reset = reset;
    if (trace)
        settings.trace = visa::TraceLog::openFile(*trace);
    return settings;
}

void checkPin(int pin) {
    if (pin < 1 || pin > kPinCount)
        throw py::value_error("no pin " + std::to_string(pin) + "; the port's pins are 1 to 7");
}

// Whether the resource text can be opened at all: ResourceError (a ValueError) when it never can.
void checkResource(const std::string& resource) {
    try {
        transport::Instrument::checkResource(resource);
    } catch (const transport::InvalidResource& invalid) {
        throw PortFailure(PortFailure::Cause::InvalidResource, resource, "opening", invalid.reason());
    }
}

// Profile text to its set-up (Profile::Refusal, a ValueError naming the field, when it is wrong).
PortSetup profileOf(const std::string& text) {
    return Profile::parse(text);
}

// The call's result, the GIL released while it runs: instrument I/O holds up no other Python thread.
template <typename Call> auto withoutGil(Call&& call) {
    const py::gil_scoped_release release;
    return call();
}

py::object outcomeObject(const ProfileApply::ApplyOutcome& outcome) {
    return py::make_tuple(pybinding::changeList(outcome.changed), pybinding::changeList(outcome.remaining));
}

py::object changesObject(const std::vector<ApplyPlan::SettingChange>& changes) {
    return pybinding::changeList(changes);
}

// The same piece of work on every resource of a rack, each with a session of its own: one result per
// resource in order, the value or the exception instance.
template <typename Value>
py::list onEveryResource(const std::vector<std::string>& resources, std::size_t jobs,
                         const pybinding::OpenSettings& settings,
                         const std::function<Value(MainframeSession&)>& work,
                         const std::function<py::object(const Value&)>& toPython) {
    for (const auto& resource : resources)
        checkResource(resource);
    std::vector<std::optional<Value>> values(resources.size());
    std::vector<std::exception_ptr> failures(resources.size());
    {
        pybinding::RackRun run(resources, jobs, [&](std::size_t i) {
            try {
                MainframeSession session(resources[i], settings);
                values[i] = work(session);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        });
        pybinding::waitInSlices([&run](Milliseconds limit) { return run.waitFor(limit); },
                                [&run] { run.stop(); });
    }
    py::list results;
    for (std::size_t i = 0; i < resources.size(); ++i)
        results.append(failures[i] ? pybinding::failureObject(failures[i]) : toPython(*values[i]));
    return results;
}

void bindSession(py::module_& module) {
    py::class_<MainframeSession>(module, "Session",
                                 "One open mainframe; pinwright.Mainframe is what scripts use.")
        .def(py::init([](const std::string& resource, long timeout, long lockTimeout, bool reset,
                         const std::optional<std::string>& trace) {
                 const auto settings = openSettings(timeout, lockTimeout, reset, trace);
                 checkResource(resource);
                 const py::gil_scoped_release release;
                 return std::make_unique<MainframeSession>(resource, settings);
             }),
             "resource"_a, "timeout"_a, "lock_timeout"_a, "reset"_a, "trace"_a)
        .def_property_readonly("resource", &MainframeSession::resource)
        .def("identity", &MainframeSession::identity, py::call_guard<py::gil_scoped_release>())
        .def("read_port",
             [](MainframeSession& session, bool withInput) {
                 PortReading reading;
                 {
                     const py::gil_scoped_release release;
                     reading = session.readPort(withInput);
                 }
                 return pybinding::readingDict(reading);
             })
        .def("read_input_word", &MainframeSession::readInputWord, py::call_guard<py::gil_scoped_release>())
        .def(
            "set_pin",
            [](MainframeSession& session, int pin, const std::optional<std::string>& function,
               const std::optional<std::string>& polarity) {
                checkPin(pin);
                // Every name is checked before anything is sent.
                const auto name = function ? std::optional(pybinding::functionName(*function)) : std::nullopt;
                const auto value = polarity ? std::optional(pybinding::polarityOf(*polarity)) : std::nullopt;
                const py::gil_scoped_release release;
                session.setPin(pin, name, value);
            },
            "pin"_a, "function"_a, "polarity"_a)
        .def("set_output_word", &MainframeSession::setOutputWord, py::call_guard<py::gil_scoped_release>())
        .def("set_inhibit_mode",
             [](MainframeSession& session, const std::string& mode) {
                 const auto value = pybinding::inhibitModeOf(mode);
                 const py::gil_scoped_release release;
                 session.setInhibitMode(value);
             })
        .def("scpi", &MainframeSession::scpi, py::call_guard<py::gil_scoped_release>())
        .def("plan",
             [](MainframeSession& session, const std::string& profile) {
                 const auto setup = profileOf(profile);
                 return pybinding::stepList(withoutGil([&] { return session.plan(setup); }));
             })
        .def("apply",
             [](MainframeSession& session, const std::string& profile) {
                 const auto setup = profileOf(profile);
                 return outcomeObject(withoutGil([&] { return session.apply(setup); }));
             })
        .def("diff",
             [](MainframeSession& session, const std::string& profile) {
                 const auto setup = profileOf(profile);
                 return pybinding::changeList(withoutGil([&] { return session.diff(setup); }));
             })
        .def("close", &MainframeSession::close, py::call_guard<py::gil_scoped_release>())
        .def_property_readonly("is_open", &MainframeSession::isOpen,
                               py::call_guard<py::gil_scoped_release>());
}

// A rack call with a profile, which is checked whole before any mainframe is opened.
template <typename Value>
void defineProfileRack(py::module_& module, const char* name,
                       Value (MainframeSession::*work)(const PortSetup&),
                       py::object (*toPython)(const Value&)) {
    module.def(
        name,
        [work, toPython](const std::vector<std::string>& resources, std::size_t jobs, long timeout,
                         long lockTimeout, const std::string& profile) {
            const auto setup = profileOf(profile);
            return onEveryResource<Value>(
                resources, jobs, openSettings(timeout, lockTimeout, false, std::nullopt),
                [&setup, work](MainframeSession& session) { return (session.*work)(setup); }, toPython);
        },
        "resources"_a, "jobs"_a, "timeout"_a, "lock_timeout"_a, "profile"_a);
}

void bindRack(py::module_& module) {
    module.def(
        "rack_read_ports",
        [](const std::vector<std::string>& resources, std::size_t jobs, long timeout, long lockTimeout) {
            return onEveryResource<PortReading>(
                resources, jobs, openSettings(timeout, lockTimeout, false, std::nullopt),
                [](MainframeSession& session) { return session.readPort(true); },
                [](const PortReading& reading) { return py::object(pybinding::readingDict(reading)); });
        },
        "resources"_a, "jobs"_a, "timeout"_a, "lock_timeout"_a);
    defineProfileRack(module, "rack_apply", &MainframeSession::apply, &outcomeObject);
    defineProfileRack(module, "rack_diff", &MainframeSession::diff, &changesObject);
}

void bindValues(py::module_& module) {
    module.def("check_resource", &checkResource, "resource"_a);
    module.def(
        "parse_profile",
        [](const std::string& text) {
            const auto setup = profileOf(text);
            return py::make_tuple(Profile::write(setup), pybinding::setupDict(setup));
        },
        "text"_a, "The profile's canonical text and its values; ProfileError naming the field.");
    module.def("function_name", &pybinding::functionName, "text"_a);
    module.def(
        "polarity_name",
        [](const std::string& text) { return PortNames::polarityName(pybinding::polarityOf(text)); },
        "text"_a);
    module.def(
        "inhibit_mode_name",
        [](const std::string& text) { return PortNames::inhibitModeName(pybinding::inhibitModeOf(text)); },
        "text"_a);
    module.def(
        "find",
        [](long window, bool identify) { return pybinding::findInstruments(Milliseconds(window), identify); },
        "window"_a, "identify"_a);
}

} // namespace

PYBIND11_MODULE(_pinwright, module) {
    module.doc() = "The C++ half of pinwright; use the package pinwright.";
    module.attr("__version__") = PINWRIGHT_VERSION;
    pybinding::registerFailureTranslator();
    // SIM0::INSTR and the other built-in boards, made fresh for this interpreter: a script finds them as
    // it would a mainframe just switched on, and nothing another program left there.
    simbackend::registerSimBackend(std::make_shared<simbackend::SimBoards>());
    module.def(
        "renew_builtin_boards",
        [] { simbackend::registerSimBackend(std::make_shared<simbackend::SimBoards>()); },
        "Serves later sessions of SIM[n]::INSTR from boards just switched on (for tests).");
    bindSession(module);
    bindRack(module);
    bindValues(module);
}
