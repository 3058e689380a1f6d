# Shared by the module's tests: the module comes from the build tree's staging folder (PYTHONPATH), the
# pytest plugin through its entry point there, and pinwright-sim and pinwright-cli from PINWRIGHT_SIM and
# PINWRIGHT_CLI, as ctest sets them.
import os

import pytest

import pinwright


def writes_in(trace_file):
    """The messages written to instruments, from a trace file (one "<time> <resource> -> <text>" line
    each)."""
    if not os.path.exists(trace_file):
        return []
    with open(trace_file, encoding="utf-8") as text:
        return [line.split(" -> ", 1)[1].rstrip("\n") for line in text if " -> " in line]


def setting_commands(writes):
    """The writes among them that change a setting of the port."""
    return [w for w in writes if any(k in w for k in (":FUNC ", ":POL ", ":DATA ", ":MODE "))]


@pytest.fixture(params=["builtin", "socket"])
def resource(request, pinwright_sim):
    """One mainframe, fresh for the test: the built-in board, and pinwright-sim over a raw socket."""
    if request.param == "builtin":
        return pinwright_sim.resource
    simulator = pinwright.pytest_plugin.start_simulator()
    request.addfinalizer(lambda: (pinwright.pytest_plugin.stop_simulator(simulator.process),
                                  os.unlink(simulator.log)))
    return simulator.resource
