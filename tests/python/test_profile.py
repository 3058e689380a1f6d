# Profiles from Python: checked whole when made, planned, applied changing only what differs, compared.
import json

import pytest

import pinwright
from pinwright import Function, InhibitMode, Polarity

from conftest import setting_commands, writes_in

COUPLED = {"pins": [{"pin": 1, "function": "fault"}, {"pin": 5, "function": "On Couple", "polarity": "NEG"}],
           "outputWord": 21, "inhibitMode": "latching"}


def test_from_dict_reads_names_as_typed_and_writes_them_canonically(tmp_path):
    profile = pinwright.Profile.from_dict(COUPLED)
    assert profile.pins[1].function is Function.FAULT
    assert profile.pins[5] == pinwright.Pin(Function.ON_COUPLE, Polarity.NEGATIVE)
    assert profile.pins[3] == pinwright.Pin(None, None)
    assert (profile.output_word, profile.inhibit_mode) == (21, InhibitMode.LATCHING)
    written = profile.to_dict()
    assert written["format"] == "pinwright-profile" and written["inhibitMode"] == "latching"
    path = tmp_path / "coupled.json"
    profile.save(path)
    assert json.loads(path.read_text()) == written
    assert pinwright.Profile.load(path) == profile


@pytest.mark.parametrize("values, where", [
    ({"pins": [{"pin": 9}]}, "pins[0].pin"),
    ({"pins": [{"pin": 2}, {"pin": 3, "function": "On Couple"}]}, "pins[1].function"),
    ({"pins": [{"pin": 4, "function": "ONC"}, {"pin": 6, "function": "On Couple"}]}, "pins[1].function"),
    ({"pins": [{"pin": 4, "polarity": "up"}]}, "pins[0].polarity"),
    ({"outputWord": 200}, "outputWord"),
    ({"inhibitMode": "sometimes"}, "inhibitMode"),
    ({"colour": "red"}, "colour"),
    ({"version": 2}, "version"),
], ids=["pin 9", "function not offered", "one-pin rule", "polarity", "word over 127", "mode", "unknown field",
        "version"])
def test_a_wrong_profile_is_a_value_error_naming_the_field(values, where):
    with pytest.raises(ValueError) as refused:
        pinwright.Profile.from_dict(values)
    assert isinstance(refused.value, pinwright.ProfileError)
    assert refused.value.where == where
    assert str(refused.value).startswith(where + ": ")


def test_load_names_the_file_and_line(tmp_path):
    path = tmp_path / "broken.json"
    path.write_text('{"format": "pinwright-profile",\n "version": 1,\n "pins": [}\n')
    with pytest.raises(pinwright.ProfileError) as refused:
        pinwright.Profile.load(path)
    assert refused.value.where == "line 3"
    assert str(refused.value).startswith(str(path))


def test_plan_apply_and_diff(resource, tmp_path):
    profile = pinwright.Profile.from_dict(COUPLED)
    trace = tmp_path / "trace.log"
    with pinwright.open(resource, trace=trace) as mf:
        steps = mf.plan(profile)
    assert setting_commands(writes_in(trace)) == []  # a plan sends nothing
    assert {"pin 1 function", "pin 5 function", "output word"} <= {s.setting for s in steps}
    assert any(s.command == "DIG:PIN5:FUNC ONC" for s in steps)
    with pinwright.open(resource) as mf:
        assert [c.setting for c in mf.diff(profile)] == [c.setting for c in steps]
        changed = mf.apply(profile)
        assert [c.setting for c in changed] == [s.setting for s in steps]
        assert mf.apply(profile) == []  # unchanged the second time
        assert mf.diff(COUPLED) == []  # a dict does as well
        assert mf.read_port().pins[5].function is Function.ON_COUPLE


def test_a_profile_the_port_refuses_sends_nothing(resource, tmp_path):
    with pinwright.open(resource) as mf:
        mf.set_pin(4, "On Couple")
    trace = tmp_path / "trace.log"
    # Pin 6 takes On Couple, which pin 4 holds and the profile leaves there.
    with pinwright.open(resource, trace=trace) as mf:
        with pytest.raises(pinwright.Refused) as refused:
            mf.apply({"pins": [{"pin": 6, "function": "On Couple"}], "outputWord": 5})
        assert mf.output_word == 0
    assert refused.value.refusals and "pin 4" in refused.value.refusals[0]
    assert setting_commands(writes_in(trace)) == []
