#include "python/Finding.h"

#include "python/GilFreeWait.h"
#include "transport/FoundInstrument.h"
#include "transport/InstrumentFinder.h"

#include <future>
#include <thread>

namespace py = pybind11;

namespace pybinding {
namespace {

py::dict instrumentDict(const transport::FoundInstrument& instrument) {
    py::dict entry;
    entry["identity_source"] = transport::identitySourceName(instrument.source);
    entry["manufacturer"] = instrument.manufacturer;
    entry["model"] = instrument.model;
    entry["serial"] = instrument.serial;
    entry["firmware"] = instrument.firmware;
    entry["host"] = instrument.host;
    entry["builtin"] = transport::isBuiltIn(instrument);
    entry["description"] = transport::describeIdentity(instrument);
    py::list resources;
    for (const auto& resource : instrument.resources)
        resources.append(
            py::make_tuple(resource.resource, transport::transportName(resource.resource), resource.method));
    entry["resources"] = resources;
    return entry;
}

} // namespace

py::list findInstruments(std::chrono::milliseconds window, bool identify) {
    transport::InstrumentFinderOptions options;
    options.window = window;
    options.identify = identify;
    std::promise<std::vector<transport::FoundInstrument>> promise;
    auto found = promise.get_future();
    std::jthread search([&promise, options](std::stop_token stop) {
        try {
            promise.set_value(transport::InstrumentFinder(options, {}).run(stop));
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
    });
    waitInSlices(
        [&found](std::chrono::milliseconds limit) {
            return found.wait_for(limit) == std::future_status::ready;
        },
        [&search] { search.request_stop(); });
    py::list list;
    for (const auto& instrument : found.get())
        list.append(instrumentDict(instrument));
    return list;
}

} // namespace pybinding
