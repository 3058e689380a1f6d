# A mainframe lost in the middle of an apply: InstrumentLost, saying what was applied before the loss.
import os
import signal
import threading

import pytest

import pinwright

from conftest import eventually, setting_commands, writes_in

PROFILE = {"pins": [{"pin": n, "function": "Digital Input", "polarity": "negative"} for n in range(1, 8)],
           "outputWord": 99, "inhibitMode": "off"}


@pytest.mark.pinwright_sim(rack=True, args=["--reply-delay", "40"])
def test_loss_mid_apply_is_instrument_lost_with_what_was_applied(pinwright_sim, tmp_path):
    trace = tmp_path / "trace.log"
    mf = pinwright.open(pinwright_sim.resource, timeout=3000, trace=trace)
    planned = [step.setting for step in mf.plan(PROFILE)]
    outcome = []
    applying = threading.Thread(target=lambda: outcome.append(_apply(mf)))
    applying.start()
    # Killed once the trace shows the second setting sent: the loss falls in the middle of the apply.
    assert eventually(lambda: len(setting_commands(writes_in(trace))) >= 2), "no second setting was sent"
    os.kill(pinwright_sim.process.pid, signal.SIGKILL)
    applying.join(30)
    mf.close()

    lost = outcome[0]
    assert isinstance(lost, pinwright.InstrumentLost) and isinstance(lost, ConnectionError), lost
    assert 1 <= len(lost.applied) < len(planned)
    assert list(lost.applied) + [lost.failed] + list(lost.not_reached) == planned
    assert lost.resource == pinwright_sim.resource


def _apply(mf):
    try:
        return mf.apply(PROFILE)
    except pinwright.PinwrightError as error:
        return error
