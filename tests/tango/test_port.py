"""A PinwrightPort device read and written as a facility's client would: every attribute, each setting,
the refusals (nothing sent), input-word events and the profile commands, on devices of a built-in SIM board,
of a pinwright-sim mainframe over a raw socket (recorded) and over HiSLIP with a port in its resource."""

import json
import threading
import time

import pytest
import tango

from tango_support import (RecordingProxy, ScpiClient, SimRack, TangoServer, description_of, reason_of,
                           wait_for)

POLL_MS = 250
ALL_PINS = range(1, 8)
FUNCTIONS = {
    1: ["Digital IO", "Digital Input", "Trigger Out", "Trigger In", "Fault"],
    2: ["Digital IO", "Digital Input", "Trigger Out", "Trigger In"],
    3: ["Digital IO", "Digital Input", "Trigger Out", "Trigger In", "Inhibit"],
    4: ["Digital IO", "Digital Input", "Trigger Out", "Trigger In", "On Couple", "Off Couple"],
}
FUNCTIONS.update({pin: FUNCTIONS[4] for pin in (5, 6, 7)})
ATTRIBUTES = (["Identity"] + ["Pin%dFunction" % p for p in ALL_PINS] + ["Pin%dPolarity" % p for p in ALL_PINS] +
              ["OutputWord", "InputWord", "InhibitMode"])
FACTORY = "DIG:OUTP:DATA 0;:OUTP:INH:MODE OFF;" + ";".join(
    ":DIG:PIN%d:FUNC DIO;:DIG:PIN%d:POL POS" % (p, p) for p in ALL_PINS)


class Port:
    """The module's server: SIM0 inside it, pinwright-sim mainframe 0 through a recording proxy and
    mainframe 1 over HiSLIP (its resource holds a comma, which the file database splits)."""

    def __init__(self, tmp):
        self.rack = SimRack(count=2, hislip=True)
        self.recorder = RecordingProxy(self.rack.raw_ports[0])
        self.hislip_resource = self.rack.hislip_resource(1)
        common = {"Timeout": "3000", "InputPollPeriod": str(POLL_MS)}
        self.server = TangoServer(tmp, {
            "test/port/board": dict(common, Resource="SIM0::INSTR"),
            "test/port/socket": dict(common, Resource=self.rack.socket_resource(port=self.recorder.port)),
            "test/port/hislip": dict(common, Resource=self.hislip_resource.split(",")),
        })
        self.scpi = [ScpiClient(port) for port in self.rack.raw_ports]

    def device(self, name):
        return self.server.proxy("test/port/" + name)

    def factory(self):
        for client in self.scpi:
            client.send(FACTORY)
            assert client.ask("SYST:ERR?").lstrip("+").startswith("0,")
        board = self.device("board")
        board.write_attribute("Pin1Function", 0)
        for attribute in ["Pin%dFunction" % p for p in ALL_PINS] + ["Pin%dPolarity" % p for p in ALL_PINS]:
            board.write_attribute(attribute, 0)
        board.write_attribute("OutputWord", 0)

    def close(self):
        for client in self.scpi:
            client.close()
        self.server.stop()
        self.recorder.close()
        self.rack.stop()


@pytest.fixture(scope="module")
def port(tmp_path_factory):
    port = Port(tmp_path_factory.mktemp("tango"))
    yield port
    port.close()


@pytest.fixture
def fresh(port):
    port.factory()
    return port


DEVICES = ["board", "socket", "hislip"]


@pytest.mark.parametrize("device", DEVICES)
def test_every_attribute_reads_with_the_windows_names(fresh, device):
    proxy = fresh.device(device)
    values = {a.name: a for a in proxy.read_attributes(ATTRIBUTES)}
    assert all(v.quality == tango.AttrQuality.ATTR_VALID for v in values.values()), values
    assert values["Identity"].value.startswith("Korvane,MF-7,")
    for pin in ALL_PINS:
        config = proxy.get_attribute_config("Pin%dFunction" % pin)
        assert list(config.enum_labels) == FUNCTIONS[pin]
        assert values["Pin%dFunction" % pin].value == 0  # Digital IO
        assert values["Pin%dPolarity" % pin].value == 0  # Positive
    assert list(proxy.get_attribute_config("Pin1Polarity").enum_labels) == ["Positive", "Negative"]
    assert list(proxy.get_attribute_config("InhibitMode").enum_labels) == ["Live", "Latching", "Off"]
    output = proxy.get_attribute_config("OutputWord")
    assert (output.min_value, output.max_value) == ("0", "127")
    assert values["InhibitMode"].value == 2  # Off
    assert values["OutputWord"].value == 0 and values["InputWord"].value == 0
    assert proxy.state() == tango.DevState.ON


def test_hislip_resource_with_a_port_arrives_whole(fresh):
    proxy = fresh.device("hislip")
    assert fresh.hislip_resource in proxy.status()
    assert ",SIM0002," in proxy.read_attribute("Identity").value


WRITES = [  # attribute, value written, SCPI query on the mainframe, its answer
    ("Pin3Function", 4, "DIG:PIN3:FUNC?", "INH"),
    ("Pin1Function", 4, "DIG:PIN1:FUNC?", "FAUL"),
    ("Pin6Function", 5, "DIG:PIN6:FUNC?", "OFFC"),
    ("Pin6Polarity", 1, "DIG:PIN6:POL?", "NEG"),
    ("OutputWord", 85, "DIG:OUTP:DATA?", "+85"),
    ("InhibitMode", 1, "OUTP:INH:MODE?", "LATC"),
]


@pytest.mark.parametrize("device", DEVICES)
@pytest.mark.parametrize("attribute,value,query,answer", WRITES, ids=[w[0] for w in WRITES])
def test_each_setting_is_written_and_read_back(fresh, device, attribute, value, query, answer):
    proxy = fresh.device(device)
    proxy.write_attribute(attribute, value)
    assert proxy.read_attribute(attribute).value == value
    if device != "board":
        assert fresh.scpi[0 if device == "socket" else 1].ask(query) == answer


REFUSALS = [  # label, arrangement written first, attribute, value, reasons accepted, words of the description
    ("one-pin rule", [("Pin4Function", 4)], "Pin5Function", 4, {"PinwrightPort_Refused"}, ["pin 4", "On Couple"]),
    ("off couple held", [("Pin7Function", 5)], "Pin4Function", 5, {"PinwrightPort_Refused"}, ["pin 7"]),
    ("pin 2 is fault common", [("Pin1Function", 4)], "Pin2Function", 1, {"PinwrightPort_Refused"},
     ["pin 2", "common"]),
    ("output word over 127", [], "OutputWord", 128, {"API_WAttrOutsideLimit"}, []),
    ("function past the labels", [], "Pin3Function", 9, {"PinwrightPort_Refused", "API_WAttrOutsideLimit"}, []),
    ("polarity past the labels", [], "Pin3Polarity", 2, {"PinwrightPort_Refused", "API_WAttrOutsideLimit"}, []),
    ("mode past the labels", [], "InhibitMode", 3, {"PinwrightPort_Refused", "API_WAttrOutsideLimit"}, []),
]


@pytest.mark.parametrize("label,arranged,attribute,value,reasons,words", REFUSALS, ids=[r[0] for r in REFUSALS])
def test_refused_writes_send_nothing(fresh, label, arranged, attribute, value, reasons, words):
    for device in DEVICES:
        proxy = fresh.device(device)
        for name, arranged_value in arranged:
            proxy.write_attribute(name, arranged_value)
        before = proxy.read_attribute(attribute).value
        mark = fresh.recorder.mark()
        with pytest.raises(tango.DevFailed) as failure:
            proxy.write_attribute(attribute, value)
        assert reason_of(failure.value) in reasons, (device, failure.value)
        for word in words:
            assert word in description_of(failure.value), (device, failure.value)
        if device == "socket":
            assert fresh.recorder.commands_since(mark) == []
        assert proxy.read_attribute(attribute).value == before
        assert proxy.state() == tango.DevState.ON


def test_an_instrument_error_is_a_devfailed_carrying_the_scpi_error(fresh):
    proxy = fresh.device("socket")
    fresh.recorder.report_error_after("DIG:OUTP:DATA", '-221,"Settings conflict"')
    with pytest.raises(tango.DevFailed) as failure:
        proxy.write_attribute("OutputWord", 5)
    assert reason_of(failure.value) == "PinwrightPort_InstrumentError", failure.value
    assert "output word" in description_of(failure.value)
    assert '-221,"Settings conflict"' in description_of(failure.value)
    # An error the instrument reports leaves it answering: the device stays ON and goes on.
    assert proxy.state() == tango.DevState.ON
    proxy.write_attribute("OutputWord", 6)
    assert proxy.read_attribute("OutputWord").value == 6


@pytest.mark.parametrize("device", ["socket", "hislip"])
def test_input_word_changes_arrive_as_events_within_two_poll_periods(fresh, device):
    proxy = fresh.device(device)
    client = fresh.scpi[0 if device == "socket" else 1]
    events = []
    arrived = threading.Event()

    def received(event):
        if not event.err and event.attr_value is not None:
            events.append((time.monotonic(), event.attr_value.value))
            arrived.set()

    subscription = proxy.subscribe_event("InputWord", tango.EventType.CHANGE_EVENT, received)
    try:
        wait_for(lambda: events, 10, "the first event, on subscription")
        for word in (5, 96, 0):
            count = len(events)
            sent = time.monotonic()
            client.send("DIG:OUTP:DATA %d" % word)  # Digital IO pins read back what they drive
            wait_for(lambda: any(v == word for _, v in events[count:]), 10, "an event with %d" % word)
            at = next(t for t, v in events[count:] if v == word)
            assert at - sent <= 2 * POLL_MS / 1000.0, "event after %.3f s" % (at - sent)
    finally:
        proxy.unsubscribe_event(subscription)


def test_written_settings_push_change_events(fresh):
    proxy = fresh.device("board")
    seen = []
    subscription = proxy.subscribe_event("Pin6Function", tango.EventType.CHANGE_EVENT,
                                         lambda e: seen.append(None if e.err else e.attr_value.value))
    try:
        wait_for(lambda: seen, 10, "the first event")
        proxy.write_attribute("Pin6Function", 4)
        wait_for(lambda: 4 in seen, 10, "the written value's event (seen: %r)" % seen)
    finally:
        proxy.unsubscribe_event(subscription)


def profile(**fields):
    return json.dumps(dict({"format": "pinwright-profile", "version": 1}, **fields))


COUPLED = profile(pins=[{"pin": 4, "function": "On Couple"}, {"pin": 5, "function": "Off Couple",
                                                              "polarity": "negative"}], outputWord=3)
SETTINGS_OF_COUPLED = ["pin 4 function", "pin 5 function", "pin 5 polarity", "output word"]


def test_plan_and_diff_send_nothing_and_apply_makes_the_profile_hold(fresh):
    proxy = fresh.device("socket")
    mark = fresh.recorder.mark()
    plan = json.loads(proxy.command_inout("Plan", COUPLED))
    assert plan["result"] == "planned"
    assert [step["setting"] for step in plan["plan"]] == SETTINGS_OF_COUPLED
    assert plan["plan"][0] == {"setting": "pin 4 function", "old": "Digital IO", "new": "On Couple",
                               "command": "DIG:PIN4:FUNC ONC"}
    diff = json.loads(proxy.command_inout("Diff", COUPLED))
    assert diff["result"] == "differs"
    assert [change["setting"] for change in diff["changes"]] == SETTINGS_OF_COUPLED
    assert fresh.recorder.commands_since(mark) == []

    applied = json.loads(proxy.command_inout("Apply", COUPLED))
    assert applied["result"] == "changed" and applied["differences"] == []
    assert [change["setting"] for change in applied["changes"]] == SETTINGS_OF_COUPLED
    assert fresh.scpi[0].ask("DIG:PIN5:FUNC?;POL?") == "OFFC;NEG"
    assert json.loads(proxy.command_inout("Apply", COUPLED))["result"] == "unchanged"
    assert json.loads(proxy.command_inout("Diff", COUPLED)) == {"result": "same", "changes": []}
    assert json.loads(proxy.command_inout("Plan", COUPLED)) == {"result": "unchanged", "plan": []}


PROFILE_REFUSALS = [  # label, arranged through SCPI, profile, reason, words of the description
    ("not JSON", "", "{pins", "PinwrightPort_InvalidProfile", ["line 1"]),
    ("two pins coupled", "", profile(pins=[{"pin": 4, "function": "ONC"}, {"pin": 6, "function": "ONC"}]),
     "PinwrightPort_InvalidProfile", ["On Couple"]),
    ("pin 2 while pin 1 is fault", "DIG:PIN1:FUNC FAUL", profile(pins=[{"pin": 2, "function": "Trigger In"}]),
     "PinwrightPort_Refused", ["pin 2", "nothing was sent"]),
]


@pytest.mark.parametrize("label,arranged,text,reason,words", PROFILE_REFUSALS, ids=[r[0] for r in PROFILE_REFUSALS])
def test_a_refused_profile_sends_nothing(fresh, label, arranged, text, reason, words):
    if arranged:
        fresh.scpi[0].send(arranged)
    proxy = fresh.device("socket")
    mark = fresh.recorder.mark()
    for command in ("Apply", "Plan"):
        with pytest.raises(tango.DevFailed) as failure:
            proxy.command_inout(command, text)
        assert reason_of(failure.value) == reason, failure.value
        for word in words:
            assert word in description_of(failure.value)
    assert fresh.recorder.commands_since(mark) == []
