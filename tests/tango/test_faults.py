"""A mainframe that goes away: its device turns FAULT with the resource and the reason in its status,
the server and its other devices go on answering, and Init after the mainframe is back makes it ON."""

import threading

import pytest
import tango

from tango_support import TangoServer, reason_of, wait_for


def test_a_killed_mainframe_faults_its_device_alone_and_init_brings_it_back(tmp_path, sim_rack):
    doomed = sim_rack(count=1)
    other = sim_rack(count=1)
    port = doomed.raw_ports[0]
    resource = doomed.socket_resource()
    common = {"Timeout": "1000", "InputPollPeriod": "100"}
    server = TangoServer(tmp_path, {
        "test/fault/doomed": dict(common, Resource=resource),
        "test/fault/other": dict(common, Resource=other.socket_resource()),
        "test/fault/board": dict(common, Resource="SIM0::INSTR"),
    })
    try:
        device = server.proxy("test/fault/doomed")
        assert device.state() == tango.DevState.ON
        doomed.kill()

        # The poller finds it gone by itself; a read finds the same.
        wait_for(lambda: device.state() == tango.DevState.FAULT, 20, "the device to turn FAULT")
        assert resource in device.status()
        with pytest.raises(tango.DevFailed) as failure:
            device.read_attribute("OutputWord")
        assert reason_of(failure.value) == "PinwrightPort_Lost", failure.value

        for name in ("test/fault/other", "test/fault/board"):
            neighbour = server.proxy(name)
            assert neighbour.state() == tango.DevState.ON
            assert neighbour.read_attribute("OutputWord").value == 0

        # Init while it is still away: FAULT, saying why, and the server goes on.
        device.command_inout("Init")
        assert device.state() == tango.DevState.FAULT
        assert resource in device.status()

        sim_rack(count=1, raw_port=port)
        device.command_inout("Init")
        assert device.state() == tango.DevState.ON
        assert device.read_attribute("OutputWord").value == 0
        assert server.process.poll() is None
    finally:
        server.stop()


MISSET = [  # device, properties, what its status names, the reason its calls meet
    ("unset", {"InputPollPeriod": "0"}, "Resource", "PinwrightPort_InvalidResource"),
    ("nothing-there", {"Resource": "TCPIP0::127.0.0.1::1::SOCKET"}, "TCPIP0::127.0.0.1::1::SOCKET",
     "PinwrightPort_Unreachable"),
    ("not-a-resource", {"Resource": "nonsense"}, "nonsense", "PinwrightPort_InvalidResource"),
    ("bad-timeout", {"Resource": "SIM0::INSTR", "Timeout": "soon"}, "Timeout", "PinwrightPort_InvalidProperty"),
    ("negative-period", {"Resource": "SIM0::INSTR", "InputPollPeriod": "-5"}, "InputPollPeriod",
     "PinwrightPort_InvalidProperty"),
]


def test_a_misset_device_faults_saying_what_to_set_and_the_server_goes_on(tmp_path):
    server = TangoServer(tmp_path, dict({"test/fault/" + m[0]: m[1] for m in MISSET},
                                        **{"test/fault/fine": {"Resource": "SIM0::INSTR"}}))
    try:
        for name, _, named, reason in MISSET:
            device = server.proxy("test/fault/" + name)
            assert device.state() == tango.DevState.FAULT, name
            assert named in device.status(), (name, device.status())
            for attribute in ("Identity", "OutputWord"):
                with pytest.raises(tango.DevFailed) as failure:
                    device.read_attribute(attribute)
                assert reason_of(failure.value) == reason, (name, failure.value)
            with pytest.raises(tango.DevFailed) as failure:
                device.write_attribute("OutputWord", 1)
            assert reason_of(failure.value) == reason, (name, failure.value)
        assert server.proxy("test/fault/fine").state() == tango.DevState.ON
    finally:
        server.stop()


def test_a_silent_mainframe_holds_up_no_other_device(tmp_path, sim_rack, recording_proxy):
    rack = sim_rack(count=2)
    silent = recording_proxy(rack.raw_ports[0])
    common = {"Timeout": "3000", "InputPollPeriod": "0"}
    server = TangoServer(tmp_path, {"test/silent/quiet": dict(common, Resource=rack.socket_resource(port=silent.port)),
                                    "test/silent/other": dict(common, Resource=rack.socket_resource(1))})
    try:
        quiet, other = server.proxy("test/silent/quiet"), server.proxy("test/silent/other")
        silent.holding.set()
        asked = silent.mark()
        outcome = []
        reader = threading.Thread(target=lambda: outcome.append(_read_or_failure(quiet, "OutputWord")))
        reader.start()
        wait_for(lambda: silent.mark() > asked, 10, "the quiet device to ask its mainframe")
        # Its device waits for an answer that never comes; the other answers meanwhile, every time.
        for _ in range(5):
            assert other.read_attribute("OutputWord").value == 0
        assert reader.is_alive() and outcome == []
        reader.join()
        assert outcome[0] == "PinwrightPort_Lost", outcome
        assert quiet.state() == tango.DevState.FAULT
        assert other.state() == tango.DevState.ON
    finally:
        server.stop()


def _read_or_failure(device, attribute):
    try:
        return device.read_attribute(attribute).value
    except tango.DevFailed as failure:
        return reason_of(failure)
