"""The port's values: names as enums, readings and changes as frozen dataclasses."""

from __future__ import annotations

import enum
import types
from dataclasses import dataclass, field
from typing import Mapping

from . import _pinwright


class _NamedEnum(str, enum.Enum):
    """An enum whose values are the window's names; any letter case (and the instrument's mnemonic)
    finds the member: Function("on couple") is Function.ON_COUPLE."""

    @classmethod
    def _canonical(cls, text: str) -> str:
        raise NotImplementedError

    @classmethod
    def _missing_(cls, value):
        if isinstance(value, str):
            canonical = cls._canonical(value)  # ValueError listing the choices
            for member in cls:
                if member.value == canonical:
                    return member
        return None

    def __str__(self) -> str:
        return self.value


class Function(_NamedEnum):
    """A pin's function, by the window's display name."""

    DIGITAL_IO = "Digital IO"
    DIGITAL_INPUT = "Digital Input"
    TRIGGER_OUT = "Trigger Out"
    TRIGGER_IN = "Trigger In"
    FAULT = "Fault"
    INHIBIT = "Inhibit"
    ON_COUPLE = "On Couple"
    OFF_COUPLE = "Off Couple"

    @classmethod
    def _canonical(cls, text: str) -> str:
        return _pinwright.function_name(text)


class Polarity(_NamedEnum):
    POSITIVE = "positive"
    NEGATIVE = "negative"

    @classmethod
    def _canonical(cls, text: str) -> str:
        return _pinwright.polarity_name(text)


class InhibitMode(_NamedEnum):
    LIVE = "live"
    LATCHING = "latching"
    OFF = "off"

    @classmethod
    def _canonical(cls, text: str) -> str:
        return _pinwright.inhibit_mode_name(text)


def _member(kind, value):
    return None if value is None else kind(value)


@dataclass(frozen=True)
class Pin:
    """One pin: None where the instrument answered in no known form (or a profile leaves it out)."""

    function: Function | None
    polarity: Polarity | None


@dataclass(frozen=True)
class Port:
    """The port as read: ``pins[1]`` to ``pins[7]``, the output and input words (0 to 127, bit n-1 is
    pin n) and the inhibit mode. None where the instrument answered in no known form."""

    pins: Mapping[int, Pin]
    output_word: int | None
    input_word: int | None
    inhibit_mode: InhibitMode | None

    @property
    def output_bits(self) -> str | None:
        """The output word as seven digits, pin 7 first."""
        return None if self.output_word is None else format(self.output_word, "07b")

    @property
    def input_bits(self) -> str | None:
        """The input word as seven digits, pin 7 first."""
        return None if self.input_word is None else format(self.input_word, "07b")


def _pins(values) -> Mapping[int, Pin]:
    return types.MappingProxyType(
        {n: Pin(_member(Function, f), _member(Polarity, p)) for n, (f, p) in enumerate(values, start=1)})


def port_of(values: dict) -> Port:
    return Port(_pins(values["pins"]), values["output_word"], values.get("input_word"),
                _member(InhibitMode, values["inhibit_mode"]))


@dataclass(frozen=True)
class Change:
    """One setting that differs or changed: ``setting`` ("pin 5 function"), ``old`` (the instrument's, or
    "unknown") and ``new`` (the profile's)."""

    setting: str
    old: str
    new: str

    def __str__(self) -> str:
        return f"{self.setting}: {self.old} -> {self.new}"


@dataclass(frozen=True)
class PlanStep(Change):
    """A step an apply would send: the change and the command text the instrument would receive."""

    command: str = ""


@dataclass(frozen=True)
class InputChange:
    """The input word as watch_input saw it change, with time.monotonic() of the read."""

    word: int
    bits: str
    time: float


@dataclass(frozen=True)
class FoundResource:
    resource: str
    transport: str  # "SOCKET", "VXI-11", "HiSLIP", "USB", "GPIB", "SIM"...
    method: str  # how it was found


@dataclass(frozen=True)
class FoundInstrument:
    """An instrument find() saw: what it said of itself and every resource that reaches it, best first."""

    identity_source: str  # "answered", "finder", "none", "not asked"
    manufacturer: str
    model: str
    serial: str
    firmware: str
    host: str
    builtin: bool
    description: str
    resources: tuple[FoundResource, ...] = field(default=())

    @property
    def resource(self) -> str:
        """The best resource to open it by."""
        return self.resources[0].resource
