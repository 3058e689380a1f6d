# Shared by the module's tests: the module comes from the build tree's staging folder (PYTHONPATH), the
# pytest plugin through its entry point there, and pinwright-sim and pinwright-cli from PINWRIGHT_SIM and
# PINWRIGHT_CLI, as ctest sets them.
import os
import signal
import subprocess
import sys
import time

import pytest

import pinwright


def eventually(condition, bound=20.0):
    """Whether `condition` came true within `bound` seconds, asked again as the run goes: a slow run waits
    longer, and a condition that never comes true fails the caller."""
    deadline = time.monotonic() + bound
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.005)
    return True


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


def interrupted(script, *arguments):
    """Runs a Python script that prints "waiting" before its long call, sends it SIGINT (Ctrl-C) once it
    has, and returns its exit status, output and errors."""
    child = subprocess.Popen([sys.executable, "-c", script, *arguments], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "waiting\n"
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=30)
    finally:
        child.kill()
    return child.returncode, out, err
