import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from tango_support import RecordingProxy, SimRack  # noqa: E402


def _made_for_one_test(make, close):
    """A fixture's maker: what it makes during the test, closed after it."""
    made = []

    def maker(*arguments, **options):
        made.append(make(*arguments, **options))
        return made[-1]

    yield maker
    for thing in made:
        close(thing)


@pytest.fixture
def sim_rack():
    """pinwright-sim racks, stopped after the test."""
    yield from _made_for_one_test(SimRack, SimRack.stop)


@pytest.fixture
def recording_proxy():
    """Recording proxies in front of a mainframe's raw socket, closed after the test."""
    yield from _made_for_one_test(RecordingProxy, RecordingProxy.close)
