"""Port profiles: the same file pinwright-cli save and apply use."""

from __future__ import annotations

import builtins
import json
import os
import tempfile
from typing import Any, Mapping, Union

from . import _pinwright
from ._errors import ProfileError
from ._values import InhibitMode, Port, port_of

FORMAT = "pinwright-profile"
VERSION = 1


class Profile:
    """A port profile, checked whole when it is made (ProfileError, a ValueError, naming the field:
    ``err.where`` is "pins[2].function", say) and so before anything is sent. Every field but format and
    version may be left out; apply leaves such settings as they are.

    ``pins`` maps 1..7 to Pin values (None for what the profile leaves out), ``output_word`` and
    ``inhibit_mode`` are None when left out.
    """

    __slots__ = ("_text", "_port")

    def __init__(self, text: str):
        """From the profile's JSON text (Profile.load reads a file, Profile.from_dict takes a dict)."""
        canonical, values = _pinwright.parse_profile(text)
        self._text = canonical
        self._port = port_of(values)

    @classmethod
    def load(cls, path: str | os.PathLike) -> "Profile":
        with builtins.open(path, encoding="utf-8") as file:
            text = file.read()
        try:
            return cls(text)
        except ProfileError as error:
            raise ProfileError(f"{os.fspath(path)}: {error}", error.where, error.problem) from None

    @classmethod
    def from_dict(cls, values: Mapping[str, Any]) -> "Profile":
        """From a dict as the file holds it; "format" and "version" may be left out here."""
        values = {"format": FORMAT, "version": VERSION, **values}
        return cls(json.dumps(values))

    @classmethod
    def from_port(cls, port: Port) -> "Profile":
        """The profile of a port as read: every setting it holds."""
        pins = []
        for number, pin in port.pins.items():
            entry: dict[str, Any] = {"pin": number}
            if pin.function is not None:
                entry["function"] = pin.function.value
            if pin.polarity is not None:
                entry["polarity"] = pin.polarity.value
            pins.append(entry)
        values: dict[str, Any] = {"pins": pins}
        if port.output_word is not None:
            values["outputWord"] = port.output_word
        if port.inhibit_mode is not None:
            values["inhibitMode"] = port.inhibit_mode.value
        return cls.from_dict(values)

    def to_dict(self) -> dict[str, Any]:
        return json.loads(self._text)

    @property
    def text(self) -> str:
        """The profile as the file holds it, names written canonically."""
        return self._text

    def save(self, path: str | os.PathLike) -> None:
        """Writes the file beside its place and renames it there, so a failure never leaves half a
        profile."""
        target = os.fspath(path)
        directory = os.path.dirname(os.path.abspath(target))
        handle, temporary = tempfile.mkstemp(dir=directory, prefix=".profile-", suffix=".tmp")
        try:
            with os.fdopen(handle, "w", encoding="utf-8") as file:
                file.write(self._text)
            os.replace(temporary, target)
        except BaseException:
            os.unlink(temporary)
            raise

    @property
    def pins(self):
        return self._port.pins

    @property
    def output_word(self) -> int | None:
        return self._port.output_word

    @property
    def inhibit_mode(self) -> InhibitMode | None:
        return self._port.inhibit_mode

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Profile) and other._text == self._text

    def __hash__(self) -> int:
        return hash(self._text)

    def __repr__(self) -> str:
        return f"Profile.from_dict({self.to_dict()!r})"


ProfileLike = Union[Profile, Mapping[str, Any]]


def as_profile(profile: ProfileLike) -> Profile:
    if isinstance(profile, Profile):
        return profile
    if isinstance(profile, Mapping):
        return Profile.from_dict(profile)
    raise TypeError("a profile is a pinwright.Profile or a dict (Profile.load reads a file)")

