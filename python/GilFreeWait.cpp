#include "python/GilFreeWait.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace pybinding {

void waitInSlices(const std::function<bool(std::chrono::milliseconds)>& waitSlice,
                  const std::function<void()>& stop) {
    for (;;) {
        bool ended = false;
        {
            const py::gil_scoped_release release;
            ended = waitSlice(kSignalSlice);
        }
        if (ended)
            return;
        if (PyErr_CheckSignals() != 0) {
            // The exception the handler raised stays set while the work winds down.
            py::error_already_set interrupted;
            stop();
            {
                const py::gil_scoped_release release;
                while (!waitSlice(kSignalSlice)) {
                }
            }
            throw interrupted;
        }
    }
}

} // namespace pybinding
