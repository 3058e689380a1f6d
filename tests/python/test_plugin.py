# The pytest plugin as a user's own tests meet it: found through its entry point, its fixture in both forms.
from importlib import metadata

import pytest

import pinwright


def test_the_plugin_is_announced_as_pytest_finds_plugins():
    names = {entry.name: entry.value for entry in metadata.entry_points(group="pytest11")}
    assert names.get("pinwright") == "pinwright.pytest_plugin"


def test_the_builtin_board_is_fresh_for_each_test_first(pinwright_sim):
    with pinwright_sim.open() as mf:
        assert mf.output_word == 0
        mf.output_word = 127


def test_the_builtin_board_is_fresh_for_each_test_second(pinwright_sim):
    assert pinwright_sim.resource == "SIM0::INSTR"
    with pinwright_sim.open() as mf:
        assert mf.output_word == 0
        mf.output_word = 127


@pytest.mark.pinwright_sim(rack=True, count=2)
def test_a_marked_test_gets_a_simulator_of_its_own(pinwright_sim):
    assert len(pinwright_sim.resources) == 2
    assert all(r.startswith("TCPIP0::127.0.0.1::") and r.endswith("::SOCKET") for r in pinwright_sim.resources)
    serials = {mf.identity.split(",")[2] for mf in map(pinwright.open, pinwright_sim.resources)}
    assert serials == {"SIM0001", "SIM0002"}
