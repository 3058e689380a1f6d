"""pytest support for pinwright (announced through the pytest11 entry point, so installing the package
is enough): the fixture ``pinwright_sim`` gives a test simulated mainframes.

By default it is the built-in board, SIM0::INSTR, fresh for each test. A test marked
``@pytest.mark.pinwright_sim(rack=True, count=4, args=["--reply-delay", "5"])`` gets a pinwright-sim
started on loopback for it alone (stopped after it), serving `count` mainframes over raw SCPI sockets;
``--pinwright-sim=rack`` makes that the default for every test. pinwright-sim is looked up on PATH, or
named by the PINWRIGHT_SIM environment variable.

    def test_fault_pin(pinwright_sim):
        with pinwright_sim.open() as mf:
            mf.set_pin(1, "Fault")
            assert mf.read_port().pins[1].function is pinwright.Function.FAULT
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import tempfile
import time
from dataclasses import dataclass, field

import pytest

import pinwright
from . import _pinwright

_LISTENING = re.compile(r"raw SCPI on (\S+) port (\d+)")
_SERVING = "; Ctrl-C stops"


@dataclass
class SimulatedMainframes:
    """What the fixture gives: the resources to open, and the simulator process when there is one."""

    resources: list[str]
    process: subprocess.Popen | None = None
    log: str | None = None  # the simulator's output, a file
    extra: dict = field(default_factory=dict)

    @property
    def resource(self) -> str:
        return self.resources[0]

    def open(self, index: int = 0, **options) -> pinwright.Mainframe:
        return pinwright.open(self.resources[index], **options)

    def rack(self, **options) -> pinwright.Rack:
        return pinwright.Rack(self.resources, **options)


def _simulator_program() -> str:
    program = os.environ.get("PINWRIGHT_SIM") or shutil.which("pinwright-sim")
    if not program:
        pytest.fail("pinwright_sim: pinwright-sim is neither on PATH nor named by PINWRIGHT_SIM")
    return program


def start_simulator(count: int = 1, args=(), ready_within: float = 10.0) -> SimulatedMainframes:
    """Starts pinwright-sim on 127.0.0.1 with free ports and waits until it listens on all of them."""
    log = tempfile.NamedTemporaryFile(prefix="pinwright-sim-", suffix=".log", delete=False)
    process = subprocess.Popen(
        [_simulator_program(), "--port", "0", "--count", str(count), "--no-announce", *map(str, args)],
        stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
    log.close()
    deadline = time.monotonic() + ready_within
    while True:
        with open(log.name, encoding="utf-8", errors="replace") as text:
            output = text.read()
        ports = _LISTENING.findall(output)
        # Said once every server it was asked for listens (a VXI-11 portmapper starts after the sockets).
        if len(ports) >= count and _SERVING in output:
            break
        if process.poll() is not None or time.monotonic() > deadline:
            stop_simulator(process)
            with open(log.name, encoding="utf-8", errors="replace") as text:
                output = text.read()
            os.unlink(log.name)
            pytest.fail(f"pinwright-sim did not start: {output}")
        time.sleep(0.02)  # polls the simulator's own announcement of its ports
    resources = [f"TCPIP0::{address}::{port}::SOCKET" for address, port in ports[:count]]
    return SimulatedMainframes(resources, process, log.name)


def stop_simulator(process: subprocess.Popen) -> None:
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def pytest_addoption(parser):
    group = parser.getgroup("pinwright")
    group.addoption("--pinwright-sim", choices=("builtin", "rack"), default="builtin",
                    help="what the pinwright_sim fixture gives unmarked tests: the built-in board "
                         "(default) or a pinwright-sim on loopback")
    group.addoption("--pinwright-sim-count", type=int, default=1,
                    help="how many mainframes pinwright_sim gives unmarked tests (default 1)")


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "pinwright_sim(rack=False, count=1, args=()): what the pinwright_sim fixture gives this "
                   "test: built-in boards SIM0::INSTR..., or with rack=True a pinwright-sim of its own "
                   "started with these extra arguments")


@pytest.fixture
def pinwright_sim(request):
    """Simulated mainframes for this test alone: .resource, .resources, .open(index=0, **options),
    .rack(**options)."""
    marker = request.node.get_closest_marker("pinwright_sim")
    options = dict(marker.kwargs) if marker else {}
    rack = options.get("rack", request.config.getoption("--pinwright-sim") == "rack")
    count = int(options.get("count", request.config.getoption("--pinwright-sim-count")))
    if not rack:
        _pinwright.renew_builtin_boards()
        yield SimulatedMainframes([f"SIM{n}::INSTR" for n in range(count)])
        return
    simulator = start_simulator(count, options.get("args", ()))
    try:
        yield simulator
    finally:
        stop_simulator(simulator.process)
        os.unlink(simulator.log)
