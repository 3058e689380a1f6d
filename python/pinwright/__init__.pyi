# Type stubs of the package pinwright (the docstrings are in the modules; help(pinwright) shows them).
import enum
import os
from dataclasses import dataclass
from typing import Any, Iterator, Mapping, Sequence, Union

__version__: str

class Function(str, enum.Enum):
    DIGITAL_IO = "Digital IO"
    DIGITAL_INPUT = "Digital Input"
    TRIGGER_OUT = "Trigger Out"
    TRIGGER_IN = "Trigger In"
    FAULT = "Fault"
    INHIBIT = "Inhibit"
    ON_COUPLE = "On Couple"
    OFF_COUPLE = "Off Couple"

class Polarity(str, enum.Enum):
    POSITIVE = "positive"
    NEGATIVE = "negative"

class InhibitMode(str, enum.Enum):
    LIVE = "live"
    LATCHING = "latching"
    OFF = "off"

@dataclass(frozen=True)
class Pin:
    function: Function | None
    polarity: Polarity | None

@dataclass(frozen=True)
class Port:
    pins: Mapping[int, Pin]
    output_word: int | None
    input_word: int | None
    inhibit_mode: InhibitMode | None
    @property
    def output_bits(self) -> str | None: ...
    @property
    def input_bits(self) -> str | None: ...

@dataclass(frozen=True)
class Change:
    setting: str
    old: str
    new: str

@dataclass(frozen=True)
class PlanStep(Change):
    command: str = ...

@dataclass(frozen=True)
class InputChange:
    word: int
    bits: str
    time: float

@dataclass(frozen=True)
class FoundResource:
    resource: str
    transport: str
    method: str

@dataclass(frozen=True)
class FoundInstrument:
    identity_source: str
    manufacturer: str
    model: str
    serial: str
    firmware: str
    host: str
    builtin: bool
    description: str
    resources: tuple[FoundResource, ...] = ...
    @property
    def resource(self) -> str: ...

class PinwrightError(Exception):
    resource: str | None
    step: str | None
    detail: str | None
    applied: tuple[str, ...]
    failed: str | None
    not_reached: tuple[str, ...]

class ResourceError(PinwrightError, ValueError): ...
class InstrumentUnreachable(PinwrightError, ConnectionError): ...
class InstrumentLost(PinwrightError, ConnectionError): ...
class LockNotGranted(PinwrightError): ...

class InstrumentError(PinwrightError):
    code: int | None
    text: str

class Refused(PinwrightError, ValueError):
    refusals: tuple[str, ...]

class CouplingConflict(Refused):
    pin: int
    function: str

class ProfileError(PinwrightError, ValueError):
    where: str
    problem: str

class WaitTimeout(PinwrightError, TimeoutError):
    pattern: str
    last: str

class StillDiffers(PinwrightError):
    changes: tuple[Change, ...]
    differences: tuple[Change, ...]

class SessionClosed(PinwrightError, ValueError): ...

class Profile:
    def __init__(self, text: str) -> None: ...
    @classmethod
    def load(cls, path: str | os.PathLike[str]) -> Profile: ...
    @classmethod
    def from_dict(cls, values: Mapping[str, Any]) -> Profile: ...
    @classmethod
    def from_port(cls, port: Port) -> Profile: ...
    def to_dict(self) -> dict[str, Any]: ...
    def save(self, path: str | os.PathLike[str]) -> None: ...
    @property
    def text(self) -> str: ...
    @property
    def pins(self) -> Mapping[int, Pin]: ...
    @property
    def output_word(self) -> int | None: ...
    @property
    def inhibit_mode(self) -> InhibitMode | None: ...

ProfileLike = Union[Profile, Mapping[str, Any]]

class Mainframe:
    def close(self) -> None: ...
    @property
    def closed(self) -> bool: ...
    def __enter__(self) -> Mainframe: ...
    def __exit__(self, *exc: object) -> None: ...
    @property
    def resource(self) -> str: ...
    @property
    def identity(self) -> str: ...
    def read_port(self) -> Port: ...
    @property
    def input_word(self) -> int: ...
    def set_pin(self, pin: int, function: Function | str | None = ...,
                polarity: Polarity | str | None = ...) -> None: ...
    @property
    def output_word(self) -> int | None: ...
    @output_word.setter
    def output_word(self, word: int) -> None: ...
    def set_output_bits(self, bits: str) -> None: ...
    @property
    def inhibit_mode(self) -> InhibitMode | None: ...
    @inhibit_mode.setter
    def inhibit_mode(self, mode: InhibitMode | str) -> None: ...
    def wait_input(self, pattern: str, timeout: float = ..., interval: float = ...) -> int: ...
    def watch_input(self, interval: float = ...) -> Iterator[InputChange]: ...
    def scpi(self, text: str) -> str | None: ...
    def plan(self, profile: ProfileLike) -> list[PlanStep]: ...
    def apply(self, profile: ProfileLike) -> list[Change]: ...
    def diff(self, profile: ProfileLike) -> list[Change]: ...
    def save_profile(self, path: str | os.PathLike[str]) -> Profile: ...

def open(resource: str, timeout: float = ..., lock_timeout: float = ..., reset: bool = ...,
         trace: str | os.PathLike[str] | None = ...) -> Mainframe: ...

class Rack:
    resources: tuple[str, ...]
    jobs: int
    def __init__(self, resources: Sequence[str], jobs: int = ..., timeout: float = ...,
                 lock_timeout: float = ...) -> None: ...
    def read_ports(self) -> list[Port | PinwrightError]: ...
    def apply(self, profile: ProfileLike) -> list[list[Change] | PinwrightError]: ...
    def diff(self, profile: ProfileLike) -> list[list[Change] | PinwrightError]: ...

def find(timeout: float = ..., identify: bool = ...) -> list[FoundInstrument]: ...
