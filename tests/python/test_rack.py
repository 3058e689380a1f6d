# Racks: one result per resource in order, a dead member costing only its own result.
import pytest

import pinwright

DEAD = "TCPIP0::127.0.0.1::1::SOCKET"  # nothing listens on port 1 of loopback
PROFILE = {"pins": [{"pin": 6, "function": "Off Couple"}], "outputWord": 9}


@pytest.mark.pinwright_sim(rack=True, count=3)
def test_apply_diff_and_read_ports_with_a_dead_member(pinwright_sim):
    pinwright._pinwright.renew_builtin_boards()
    resources = pinwright_sim.resources[:2] + [DEAD] + pinwright_sim.resources[2:] + ["SIM3::INSTR"]
    rack = pinwright.Rack(resources, jobs=4, timeout=2000)

    differences = rack.diff(PROFILE)
    applied = rack.apply(PROFILE)
    again = rack.apply(PROFILE)
    ports = rack.read_ports()

    for results in (differences, applied, again, ports):
        assert len(results) == len(resources)
        assert isinstance(results[2], pinwright.InstrumentUnreachable)
        assert results[2].resource == DEAD
    for i in (0, 1, 3, 4):
        assert [c.setting for c in differences[i]] == ["pin 6 function", "output word"]
        assert [str(c) for c in applied[i]] == ["pin 6 function: Digital IO -> Off Couple", "output word: 0 -> 9"]
        assert again[i] == []
        assert ports[i].pins[6].function is pinwright.Function.OFF_COUPLE and ports[i].output_word == 9


@pytest.mark.pinwright_sim(rack=True, count=2)
def test_each_member_fails_on_its_own(pinwright_sim):
    first, second = pinwright_sim.resources
    with pinwright.open(second) as mf:
        mf.set_pin(4, "Off Couple")
    results = pinwright.Rack([first, second], jobs=1).apply(PROFILE)
    assert [c.setting for c in results[0]] == ["pin 6 function", "output word"]
    assert isinstance(results[1], pinwright.Refused)
    with pinwright.open(second) as mf:
        assert mf.output_word == 0  # refused whole: nothing was sent to it


@pytest.mark.parametrize("resources, error", [
    (["SIM0::INSTR", "nonsense"], pinwright.ResourceError),
    ("SIM0::INSTR", TypeError),
], ids=["one invalid", "a string, not a list"])
def test_a_rack_refuses_what_can_never_be_opened_when_made(resources, error):
    with pytest.raises(error):
        pinwright.Rack(resources)


def test_a_wrong_profile_is_refused_before_any_member_is_opened():
    rack = pinwright.Rack([DEAD])
    with pytest.raises(pinwright.ProfileError):
        rack.apply({"outputWord": -1})
