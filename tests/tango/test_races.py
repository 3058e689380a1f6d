"""Two clients racing for a coupling function on pins 4 and 5 of one mainframe, through two devices of the
server and through the server and pinwright-cli at once: the instrument's lock keeps the one-pin rule, so
exactly one wins every round and the other is refused naming the pin that holds it."""

import threading

import pytest
import tango

from tango_support import ScpiClient, SimRack, TangoServer, reason_of, run_cli, description_of

ROUNDS = 20
ON_COUPLE = 4  # its index in pins 4 to 7's labels


@pytest.fixture(scope="module")
def mainframe(tmp_path_factory):
    rack = SimRack(count=1, hislip=True)
    resource = rack.hislip_resource(0)
    common = {"Resource": resource.split(","), "LockTimeout": "5000", "Timeout": "5000", "InputPollPeriod": "0"}
    server = TangoServer(tmp_path_factory.mktemp("race"), {"test/race/a": common, "test/race/b": common})
    scpi = ScpiClient(rack.raw_ports[0])
    yield rack, server, scpi, resource
    scpi.close()
    server.stop()
    rack.stop()


def free_pins(scpi):
    scpi.send("DIG:PIN4:FUNC DIO;:DIG:PIN5:FUNC DIO")
    assert scpi.ask("DIG:PIN4:FUNC?;:DIG:PIN5:FUNC?") == "DIO;DIO"


def race(*contenders):
    """Runs each contender at once; each returns True when it won, or the refusal it met."""
    start = threading.Barrier(len(contenders))
    results = [None] * len(contenders)

    def run(index, contender):
        start.wait()
        results[index] = contender()

    threads = [threading.Thread(target=run, args=(i, c)) for i, c in enumerate(contenders)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return results


def tango_writer(proxy, pin):
    def write():
        try:
            proxy.write_attribute("Pin%dFunction" % pin, ON_COUPLE)
            return True
        except tango.DevFailed as failure:
            return (reason_of(failure), description_of(failure))
    return write


def cli_writer(resource, pin):
    def write():
        result = run_cli("-r", resource, "--lock-timeout", "5000", "pin", str(pin), "onc")
        return True if result.returncode == 0 else (result.returncode, result.stderr)
    return write


def check_round(scpi, results, other_pins):
    winners = [r for r in results if r is True]
    assert len(winners) == 1, results
    loser = next(r for r in results if r is not True)
    functions = scpi.ask("DIG:PIN4:FUNC?;:DIG:PIN5:FUNC?").split(";")
    assert sorted(functions) == ["DIO", "ONC"], functions
    holder = 4 if functions[0] == "ONC" else 5
    assert "pin %d" % holder in str(loser), loser
    return loser


def test_two_devices_of_one_mainframe(mainframe):
    rack, server, scpi, _ = mainframe
    a, b = server.proxy("test/race/a"), server.proxy("test/race/b")
    for _ in range(ROUNDS):
        free_pins(scpi)
        loser = check_round(scpi, race(tango_writer(a, 4), tango_writer(b, 5)), (4, 5))
        assert loser[0] == "PinwrightPort_Refused", loser


def test_a_device_and_pinwright_cli(mainframe):
    rack, server, scpi, resource = mainframe
    a = server.proxy("test/race/a")
    for _ in range(ROUNDS):
        free_pins(scpi)
        check_round(scpi, race(tango_writer(a, 4), cli_writer(resource, 5)), (4, 5))
