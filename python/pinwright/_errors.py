"""The exceptions of pinwright: each failure's facts as attributes, nothing printed.

PinwrightError is the base of all. A failure of one step on one mainframe also says where:
``resource``, ``step`` (the setting or query, "pin 5 function") and ``detail`` (the instrument's error or
the transport's reason). An apply that stopped part-way says what it did: ``applied`` (the settings sent
before the failure), ``failed`` and ``not_reached``.

Refusals (a ValueError) are decided before anything is sent: the port's rules, a profile, a name. A
CouplingConflict is one of them, not an InstrumentError: the one-pin rule is checked against the pins
just read, and the instrument never sees the command.
"""

from __future__ import annotations


class PinwrightError(Exception):
    """Any failure of pinwright."""

    def __init__(self, message: str, *, resource: str | None = None, step: str | None = None,
                 detail: str | None = None, applied=(), failed: str | None = None, not_reached=()):
        super().__init__(message)
        self.resource = resource
        self.step = step
        self.detail = detail
        self.applied = tuple(applied)
        self.failed = failed
        self.not_reached = tuple(not_reached)


class ResourceError(PinwrightError, ValueError):
    """The resource text can never be opened (it is no resource string); nothing was sent."""


class InstrumentUnreachable(PinwrightError, ConnectionError):
    """Not opened, not a mainframe whose port is known, or its port did not read back whole."""


class InstrumentLost(PinwrightError, ConnectionError):
    """The instrument stopped answering or went away mid-way; ``applied`` says what was sent before."""


class LockNotGranted(PinwrightError):
    """Another client held the instrument's lock past the lock time-out; nothing was changed."""


class InstrumentError(PinwrightError):
    """The instrument reported an error: ``code`` and ``text`` of its error-queue entry, at ``step``."""

    def __init__(self, message: str, *, code: int | None = None, text: str = "", **facts):
        super().__init__(message, **facts)
        self.code = code
        self.text = text


class Refused(PinwrightError, ValueError):
    """The port's rules refuse it (pin offers, pin 2 as fault common, range, a profile against the port
    as read); nothing was sent. ``refusals`` holds one sentence per broken rule."""

    def __init__(self, message: str, *, refusals=(), **facts):
        super().__init__(message, **facts)
        self.refusals = tuple(refusals) if refusals else (facts.get("detail") or message,)


class CouplingConflict(Refused):
    """The one-pin rule: ``function`` ("On Couple", "Off Couple") is held by pin ``pin`` already, so the
    pin asked for was not changed; nothing was sent."""

    def __init__(self, message: str, *, pin: int, function: str, **facts):
        super().__init__(message, **facts)
        self.pin = pin
        self.function = function


class ProfileError(PinwrightError, ValueError):
    """A profile that is wrong in itself: ``where`` names the field ("pins[2].function") or line,
    ``problem`` what is wrong there."""

    def __init__(self, message: str, where: str = "", problem: str = ""):
        super().__init__(message)
        self.where = where
        self.problem = problem


class WaitTimeout(PinwrightError, TimeoutError):
    """wait_input saw no match in time; ``last`` holds the bits last read (pin 7 first)."""

    def __init__(self, message: str, *, pattern: str, last: str, **facts):
        super().__init__(message, **facts)
        self.pattern = pattern
        self.last = last


class StillDiffers(PinwrightError):
    """An apply that sent every step, after which the port still differs from the profile: ``changes``
    what it changed, ``differences`` what still differs (Change values)."""

    def __init__(self, message: str, *, changes=(), differences=(), **facts):
        super().__init__(message, **facts)
        self.changes = tuple(changes)
        self.differences = tuple(differences)


class SessionClosed(PinwrightError, ValueError):
    """A call on a mainframe that was closed."""


_BY_CAUSE = {
    "InvalidResource": ResourceError,
    "Unreachable": InstrumentUnreachable,
    "LockNotGranted": LockNotGranted,
    "Lost": InstrumentLost,
}


def from_failure(*, cause: str, message: str, resource: str, step: str, detail: str, code=None, text="",
                 applied=(), failed=None, not_reached=(), refusals=(), holder_pin=None, function=None):
    """The exception for one failure of the C++ side, by its cause (used by the extension)."""
    facts = dict(resource=resource, step=step, detail=detail, applied=applied, failed=failed,
                 not_reached=not_reached)
    if cause == "InstrumentError":
        return InstrumentError(message, code=code, text=text, **facts)
    if cause == "Refused":
        if holder_pin is not None:
            return CouplingConflict(message, pin=holder_pin, function=function, refusals=refusals, **facts)
        return Refused(message, refusals=refusals, **facts)
    return _BY_CAUSE.get(cause, PinwrightError)(message, **facts)
