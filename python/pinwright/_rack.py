"""Many mainframes at once."""

from __future__ import annotations

from typing import Sequence, Union

from . import _pinwright
from ._errors import PinwrightError, StillDiffers
from ._profile import ProfileLike, as_profile
from ._values import Change, Port, port_of


def apply_outcome(resource: str, outcome, raise_it: bool):
    changed = [Change(*c) for c in outcome[0]]
    remaining = [Change(*c) for c in outcome[1]]
    if not remaining:
        return changed
    error = StillDiffers(f"{resource}: apply: still differs after every step: "
                         + ", ".join(c.setting for c in remaining),
                         changes=changed, differences=remaining, resource=resource, step="apply")
    if raise_it:
        raise error
    return error


class Rack:
    """Mainframes worked on all at once, each with a session of its own, at most `jobs` at a time, as
    pinwright-cli does with several -r: a dead or silent mainframe costs its own time-outs and delays no
    other. Each call returns one result per resource, in order: the value, or the exception instance for
    that mainframe (check with isinstance(result, Exception)). Every resource is checked when the rack is
    made (ResourceError). Ctrl-C ends a call once the mainframes under way have finished their step.
    """

    def __init__(self, resources: Sequence[str], jobs: int = 32, timeout: float = 5000,
                 lock_timeout: float = 5000):
        if isinstance(resources, str):
            raise TypeError("a rack takes a list of resource strings")
        if jobs < 1:
            raise ValueError("jobs must be at least 1")
        self.resources = tuple(resources)
        for resource in self.resources:
            _pinwright.check_resource(resource)
        self.jobs = int(jobs)
        self._timeouts = (int(timeout), int(lock_timeout))

    def read_ports(self) -> list[Union[Port, PinwrightError]]:
        results = _pinwright.rack_read_ports(list(self.resources), self.jobs, *self._timeouts)
        return [r if isinstance(r, Exception) else port_of(r) for r in results]

    def apply(self, profile: ProfileLike) -> list[Union[list[Change], PinwrightError]]:
        results = _pinwright.rack_apply(list(self.resources), self.jobs, *self._timeouts,
                                        as_profile(profile).text)
        return [r if isinstance(r, Exception) else apply_outcome(res, r, raise_it=False)
                for res, r in zip(self.resources, results)]

    def diff(self, profile: ProfileLike) -> list[Union[list[Change], PinwrightError]]:
        results = _pinwright.rack_diff(list(self.resources), self.jobs, *self._timeouts,
                                       as_profile(profile).text)
        return [r if isinstance(r, Exception) else [Change(*c) for c in r] for r in results]

    def __repr__(self) -> str:
        return f"pinwright.Rack({list(self.resources)!r}, jobs={self.jobs})"
