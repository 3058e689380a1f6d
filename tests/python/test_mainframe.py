# One mainframe from Python: every call, on the built-in board and on pinwright-sim over a socket.
import gc
import threading

import pytest

import pinwright
from pinwright import Function, InhibitMode, Polarity

from conftest import setting_commands, writes_in


def test_identity_and_a_fresh_port(resource):
    with pinwright.open(resource, timeout=5000) as mf:
        assert mf.identity.startswith("Korvane,MF-7,SIM")
        port = mf.read_port()
    assert sorted(port.pins) == [1, 2, 3, 4, 5, 6, 7]
    assert all(pin.function is Function.DIGITAL_IO for pin in port.pins.values())
    assert all(isinstance(pin.polarity, Polarity) for pin in port.pins.values())
    assert (port.output_word, port.input_word) == (0, 0)
    assert isinstance(port.inhibit_mode, InhibitMode)
    with pytest.raises(Exception):
        port.output_word = 5  # frozen


@pytest.mark.parametrize("function, polarity, expected", [
    ("On Couple", "positive", (Function.ON_COUPLE, Polarity.POSITIVE)),
    ("on couple", "NEG", (Function.ON_COUPLE, Polarity.NEGATIVE)),
    ("OFFC", Polarity.POSITIVE, (Function.OFF_COUPLE, Polarity.POSITIVE)),
    (Function.TRIGGER_IN, "Negative", (Function.TRIGGER_IN, Polarity.NEGATIVE)),
    (None, "negative", (Function.DIGITAL_IO, Polarity.NEGATIVE)),
], ids=["window names", "any case and mnemonic", "mnemonic and enum", "enum and any case",
        "polarity alone"])
def test_set_pin_takes_names_and_enums(resource, function, polarity, expected):
    with pinwright.open(resource) as mf:
        mf.set_pin(5, function, polarity)
        pin = mf.read_port().pins[5]
    assert (pin.function, pin.polarity) == expected


def test_enums_take_the_window_names_in_any_case():
    assert Function("on COUPLE") is Function.ON_COUPLE
    assert Function("DINP") is Function.DIGITAL_INPUT
    assert InhibitMode("Latching") is InhibitMode.LATCHING
    assert str(Polarity.POSITIVE) == "positive"
    with pytest.raises(ValueError, match="Digital IO"):
        Function("Sideways")


def test_output_word_and_bits_and_inhibit_mode(resource):
    with pinwright.open(resource) as mf:
        mf.output_word = 85
        assert mf.output_word == 85
        mf.set_output_bits("0000011")
        assert mf.read_port().output_bits == "0000011"
        mf.inhibit_mode = "LATCHING"
        assert mf.inhibit_mode is InhibitMode.LATCHING
        mf.inhibit_mode = InhibitMode.OFF
        assert mf.inhibit_mode is InhibitMode.OFF


@pytest.mark.parametrize("call, error", [
    (lambda mf: mf.set_output_bits("101"), ValueError),
    (lambda mf: mf.set_output_bits("1010102"), ValueError),
    (lambda mf: setattr(mf, "output_word", "85"), TypeError),
    (lambda mf: mf.set_pin(8, "Digital IO"), ValueError),
    (lambda mf: mf.set_pin(4, "Sideways"), ValueError),
    (lambda mf: mf.set_pin(4, "Digital IO", "upwards"), ValueError),
    (lambda mf: setattr(mf, "inhibit_mode", "sometimes"), ValueError),
    (lambda mf: mf.wait_input("1x1", timeout=10), ValueError),
], ids=["short bits", "not bits", "word as text", "pin 8", "unknown function", "unknown polarity",
        "unknown mode", "short pattern"])
def test_arguments_refused_before_anything_is_sent(tmp_path, call, error):
    trace = tmp_path / "trace.log"
    with pinwright.open("SIM0::INSTR", trace=trace) as mf:
        with pytest.raises(error):
            call(mf)
    assert setting_commands(writes_in(trace)) == []


@pytest.mark.parametrize("arrange, call, expected, holder", [
    (lambda mf: mf.set_pin(4, "On Couple"), lambda mf: mf.set_pin(6, "On Couple"),
     pinwright.CouplingConflict, 4),
    (lambda mf: mf.set_pin(7, "Off Couple"), lambda mf: mf.set_pin(5, "offc"), pinwright.CouplingConflict, 7),
    (lambda mf: None, lambda mf: mf.set_pin(3, "On Couple"), pinwright.Refused, None),
    (lambda mf: mf.set_pin(1, "Fault"), lambda mf: mf.set_pin(2, "Trigger In"), pinwright.Refused, None),
    (lambda mf: None, lambda mf: setattr(mf, "output_word", 128), pinwright.Refused, None),
], ids=["one-pin rule, On Couple", "one-pin rule, Off Couple by mnemonic", "not offered on pin 3",
        "pin 2 as fault common", "word over 127"])
def test_port_rules_refuse_and_send_nothing(resource, tmp_path, arrange, call, expected, holder):
    trace = tmp_path / "trace.log"
    with pinwright.open(resource) as mf:
        arrange(mf)
        before = mf.read_port()
    with pinwright.open(resource, trace=trace) as mf:
        with pytest.raises(expected) as refused:
            call(mf)
        assert mf.read_port() == before
    assert isinstance(refused.value, ValueError)
    if holder is not None:
        assert (refused.value.pin, refused.value.function) == (holder, before.pins[holder].function.value)
        assert f"pin {holder}" in str(refused.value)
    assert setting_commands(writes_in(trace)) == []


def test_scpi_checks_commands_and_queries(resource):
    with pinwright.open(resource) as mf:
        assert mf.scpi("*IDN?") == mf.identity
        assert mf.scpi("DIG:OUTP:DATA 21") is None
        assert int(mf.scpi("DIG:OUTP:DATA?")) == 21
        with pytest.raises(pinwright.InstrumentError) as failure:
            mf.scpi("DIG:SIDEWAYS 1")
        assert failure.value.code == -113
        assert failure.value.text and failure.value.step == "DIG:SIDEWAYS 1"
        # The queue was read: the next command is not blamed for the last one's error.
        assert mf.scpi("DIG:OUTP:DATA 3") is None


def test_wait_input_returns_the_matching_word_or_times_out(resource):
    with pinwright.open(resource) as mf:
        mf.output_word = 0b1000001  # DIO pins read back what they drive
        assert mf.wait_input("1xxxxx1", timeout=2000) == 65
        with pytest.raises(TimeoutError) as late:
            mf.wait_input("0xxxxxx", timeout=120, interval=20)
        assert isinstance(late.value, pinwright.WaitTimeout)
        assert late.value.last == "1000001"
        assert mf.input_word == 65  # still usable


def test_watch_input_yields_changes_and_stops_when_closed(resource):
    mf = pinwright.open(resource)
    seen = []
    changed = threading.Event()

    def watch():
        for change in mf.watch_input(interval=10):
            seen.append(change.bits)
            if len(seen) == 2:
                changed.set()

    watcher = threading.Thread(target=watch)
    watcher.start()
    while not seen:
        changed.wait(0.01)
    mf.output_word = 3
    assert changed.wait(10)
    mf.close()
    watcher.join(10)
    assert not watcher.is_alive()
    assert seen == ["0000000", "0000011"]


@pytest.mark.parametrize("text", ["nonsense", "TCPIP0::", "", "SIM::INSTR::x"])
def test_text_that_is_no_resource_is_a_resource_error(text):
    with pytest.raises(pinwright.ResourceError) as refused:
        pinwright.open(text)
    assert isinstance(refused.value, ValueError)


def test_a_mainframe_that_does_not_answer_is_unreachable():
    with pytest.raises(pinwright.InstrumentUnreachable) as failure:
        pinwright.open("TCPIP0::127.0.0.1::1::SOCKET", timeout=500)
    assert isinstance(failure.value, ConnectionError)
    assert failure.value.resource == "TCPIP0::127.0.0.1::1::SOCKET"


def test_closed_mainframe_refuses_calls_and_closes_once():
    mf = pinwright.open("SIM0::INSTR")
    with mf:
        pass
    assert mf.closed
    mf.close()
    with pytest.raises(pinwright.SessionClosed):
        mf.read_port()


@pytest.mark.pinwright_sim(rack=True, args=["--socket-clients", "1"])
def test_a_forgotten_mainframe_is_closed_when_collected(pinwright_sim):
    mf = pinwright.open(pinwright_sim.resource)
    mf.output_word = 5
    del mf
    gc.collect()
    # The simulator serves one client at a time: the next open works only if the first was closed.
    with pinwright.open(pinwright_sim.resource, timeout=2000) as again:
        assert again.output_word == 5
