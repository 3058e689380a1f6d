"""One mainframe: pinwright.open() gives it."""

from __future__ import annotations

import os
import re
import time
from typing import Iterator

from . import _pinwright
from ._errors import SessionClosed, WaitTimeout
from ._profile import Profile, ProfileLike, as_profile
from ._values import (Change, Function, InhibitMode, InputChange, PlanStep, Polarity, Port, port_of)

_PATTERN = re.compile(r"[01xX]{7}")
_BITS = re.compile(r"[01]{7}")


def _bits(word: int) -> str:
    return format(word, "07b")


def _matches(pattern: str, bits: str) -> bool:
    return all(p in "xX" or p == b for p, b in zip(pattern, bits))


def _name(value) -> str:
    return value.value if isinstance(value, (Function, Polarity, InhibitMode)) else str(value)


class Mainframe:
    """One open mainframe, used as a context manager (closed at its end), closed by close(), and closed
    when it is collected if a script forgets to.

    Every change is checked as the window checks it: the port's rules refuse before anything is sent
    (Refused, CouplingConflict), and the instrument's error queue is read after every command
    (InstrumentError). Each change takes the instrument's lock (VXI-11, HiSLIP) for as long as it lasts,
    waiting up to lock_timeout.

    Threads: a Mainframe may be shared by threads; its calls take turns (each holds the mainframe for
    its whole exchange, so no two interleave on the wire). Calls on different mainframes run at once: the
    GIL is released while an instrument is talked to.
    """

    def __init__(self, session: _pinwright.Session):
        self._session = session

    # --- life
    def close(self) -> None:
        """Closes the session; calls after it raise SessionClosed. Closing twice is harmless."""
        self._session.close()

    @property
    def closed(self) -> bool:
        return not self._session.is_open

    def __enter__(self) -> "Mainframe":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __del__(self) -> None:
        session = getattr(self, "_session", None)
        if session is not None:
            session.close()

    def __repr__(self) -> str:
        return f"<pinwright.Mainframe {self.resource!r}{' closed' if self.closed else ''}>"

    # --- reading
    @property
    def resource(self) -> str:
        return self._session.resource

    @property
    def identity(self) -> str:
        """The instrument's *IDN? reply (its own text, as it sent it)."""
        return self._session.identity()

    def read_port(self) -> Port:
        """The whole port: every pin's function and polarity, the output and input words, the inhibit
        mode."""
        return port_of(self._session.read_port(True))

    @property
    def input_word(self) -> int:
        return self._session.read_input_word()

    # --- changing
    def set_pin(self, pin: int, function: Function | str | None = None,
                polarity: Polarity | str | None = None) -> None:
        """Sets pin 1..7's function (display name or mnemonic, any case, or a Function), then its
        polarity if given. The port's rules refuse before anything is sent: a function the pin does not
        offer, pin 2 while pin 1 is "Fault" (Refused), a coupling function another pin holds
        (CouplingConflict)."""
        if function is None and polarity is None:
            raise ValueError("set_pin needs a function, a polarity or both")
        self._session.set_pin(pin, None if function is None else _name(function),
                              None if polarity is None else _name(polarity))

    @property
    def output_word(self) -> int | None:
        """The port's output word, 0 to 127 (bit n-1 is pin n); set it to change it."""
        return self.read_port().output_word

    @output_word.setter
    def output_word(self, word: int) -> None:
        if isinstance(word, bool) or not isinstance(word, int):
            raise TypeError("the output word is an int, 0 to 127")
        self._session.set_output_word(word)

    def set_output_bits(self, bits: str) -> None:
        """Sets the output word from seven digits, pin 7 first: "1010101" is 85."""
        if not isinstance(bits, str) or not _BITS.fullmatch(bits):
            raise ValueError(f"the output bits are seven of 0 or 1, pin 7 first, not {bits!r}")
        self._session.set_output_word(int(bits, 2))

    @property
    def inhibit_mode(self) -> InhibitMode | None:
        """The inhibit mode; set it by name ("latching", any case) or InhibitMode."""
        return self.read_port().inhibit_mode

    @inhibit_mode.setter
    def inhibit_mode(self, mode: InhibitMode | str) -> None:
        self._session.set_inhibit_mode(_name(mode))

    # --- the input word over time
    def wait_input(self, pattern: str, timeout: float = 30000, interval: float = 50) -> int:
        """Reads the input word every `interval` ms until it matches `pattern` (seven of 0, 1 or x, pin 7
        first, as pinwright-cli input --wait takes it) and returns the word; WaitTimeout (a TimeoutError)
        when none matched within `timeout` ms. Ctrl-C ends it between reads, the session usable."""
        if not isinstance(pattern, str) or not _PATTERN.fullmatch(pattern):
            raise ValueError(f"the pattern is seven of 0, 1 or x, pin 7 first, not {pattern!r}")
        deadline = time.monotonic() + timeout / 1000
        while True:
            word = self._session.read_input_word()
            bits = _bits(word)
            if _matches(pattern, bits):
                return word
            left = deadline - time.monotonic()
            if left <= 0:
                raise WaitTimeout(f"{self.resource}: input --wait {pattern}: no match within {timeout:g} ms "
                                  f"(last read {bits})", pattern=pattern, last=bits, resource=self.resource,
                                  step=f"input --wait {pattern}")
            # An interruptible sleep: Ctrl-C comes through it at once.
            time.sleep(min(interval / 1000, left))

    def watch_input(self, interval: float = 50) -> Iterator[InputChange]:
        """Yields the input word when first read and each time it changes, reading every `interval` ms;
        stops when the mainframe is closed (from another thread, say). A lost instrument raises
        InstrumentLost."""
        last = None
        while True:
            try:
                word = self._session.read_input_word()
            except SessionClosed:
                return
            if word != last:
                last = word
                yield InputChange(word, _bits(word), time.monotonic())
            time.sleep(interval / 1000)

    # --- anything else
    def scpi(self, text: str) -> str | None:
        """Sends SCPI text checked: a query (text with '?') returns the reply; a command returns None.
        Either way the error queue is read after it (InstrumentError with its entry)."""
        return self._session.scpi(text)

    # --- profiles
    def plan(self, profile: ProfileLike) -> list[PlanStep]:
        """The steps apply would send now, with their command text; sends nothing."""
        return [PlanStep(*step) for step in self._session.plan(as_profile(profile).text)]

    def apply(self, profile: ProfileLike) -> list[Change]:
        """Makes the port hold the profile, changing only what differs, checked whole before anything is
        sent; returns what changed (empty when nothing differed). Stopped part-way, the exception's
        `applied` names what was sent before it."""
        from ._rack import apply_outcome  # shared with Rack
        return apply_outcome(self.resource, self._session.apply(as_profile(profile).text), raise_it=True)

    def diff(self, profile: ProfileLike) -> list[Change]:
        """The settings of the profile that differ from the port now; empty when none."""
        return [Change(*change) for change in self._session.diff(as_profile(profile).text)]

    def save_profile(self, path: str | os.PathLike) -> Profile:
        """Saves the port as read now as a profile file, and returns it."""
        port = self.read_port()
        profile = Profile.from_port(port)
        profile.save(path)
        return profile


def open(resource: str, timeout: float = 5000, lock_timeout: float = 5000, reset: bool = False,
         trace: str | os.PathLike | None = None) -> Mainframe:
    """Opens a mainframe by its resource string, as pyvisa writes them: "TCPIP0::10.1.2.3::INSTR"
    (VXI-11), "TCPIP0::host::hislip0::INSTR", "TCPIP0::host::5025::SOCKET", "USB0::...::INSTR",
    "GPIB0::5::INSTR", "SIM0::INSTR" (the built-in simulated mainframe).

    timeout: every exchange's time-out in ms (also opening, at least 2000 ms). lock_timeout: how long a
    change waits for the instrument's lock, in ms. reset: send *RST;*CLS after the identity. trace: a
    file the traffic is appended to, one line per message.
    Raises ResourceError (a ValueError) for text that is no resource, InstrumentUnreachable (a
    ConnectionError) when it cannot be opened."""
    session = _pinwright.Session(resource, int(timeout), int(lock_timeout), reset,
                                 None if trace is None else os.fspath(trace))
    return Mainframe(session)
