"""pinwright: the digital control port of a Korvane modular power mainframe from Python.

The same checks as the Pinwright window and pinwright-cli, on the same C++ objects: the error queue read
after every command, the port's rules (the one-pin rule of the coupling functions, each pin's functions)
refusing before anything is sent, profiles applied changing only what differs, locks, racks, finding.

    import pinwright
    with pinwright.open("TCPIP0::10.1.2.3::INSTR", timeout=5000) as mf:
        port = mf.read_port()                 # pins[1..7], output_word, input_word, inhibit_mode
        mf.set_pin(5, "On Couple", "positive")
        mf.output_word = 85
        mf.inhibit_mode = "latching"
        mf.wait_input("1xxxxx0", timeout=30000)

"SIM0::INSTR" is a simulated mainframe built in, fresh for each interpreter. Time-outs are in
milliseconds. Failures are exceptions with their facts as attributes (see PinwrightError); nothing is
printed. Calls that talk to instruments release the GIL; Ctrl-C ends waits, racks and finding between
exchanges, never in the middle of one.
"""

from __future__ import annotations

from . import _pinwright
from ._errors import (CouplingConflict, InstrumentError, InstrumentLost, InstrumentUnreachable,
                      LockNotGranted, PinwrightError, ProfileError, Refused, ResourceError, SessionClosed,
                      StillDiffers, WaitTimeout)
from ._mainframe import Mainframe, open
from ._profile import Profile
from ._rack import Rack
from ._values import (Change, FoundInstrument, FoundResource, Function, InhibitMode, InputChange, Pin,
                      PlanStep, Polarity, Port)

__version__ = _pinwright.__version__

__all__ = [
    "open", "find", "Mainframe", "Rack", "Profile",
    "Function", "Polarity", "InhibitMode", "Pin", "Port", "Change", "PlanStep", "InputChange",
    "FoundInstrument", "FoundResource",
    "PinwrightError", "ResourceError", "InstrumentUnreachable", "InstrumentLost", "LockNotGranted",
    "InstrumentError", "Refused", "CouplingConflict", "ProfileError", "WaitTimeout", "StillDiffers",
    "SessionClosed",
]


def find(timeout: float = 1000, identify: bool = True) -> list[FoundInstrument]:
    """The instruments that answer within `timeout` ms on every bus and LAN method there is, as
    pinwright-cli find lists them: each with its identity (asked *IDN? when `identify`) and every
    resource that reaches it, best first. The built-in simulated mainframe is among them. Ctrl-C ends
    the search."""
    found = _pinwright.find(int(timeout), bool(identify))
    return [FoundInstrument(resources=tuple(FoundResource(*r) for r in entry.pop("resources")), **entry)
            for entry in found]
