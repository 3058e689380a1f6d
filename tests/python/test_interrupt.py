# Ctrl-C ends a long wait between exchanges and leaves the session usable, in a script run as a user runs it.
import textwrap

import pytest

from conftest import interrupted

WAITER = textwrap.dedent("""
    import sys, pinwright
    with pinwright.open(sys.argv[1]) as mf:
        try:
            print("waiting", flush=True)
            {call}
            print("matched", flush=True)
        except KeyboardInterrupt:
            mf.output_word = 7
            print("interrupted", mf.read_port().output_word, flush=True)
""")

CALLS = {
    "wait_input": "mf.wait_input('1111111', timeout=60000, interval=20)",
    "watch_input": "for change in mf.watch_input(interval=20): pass",
    # Slow replies: the rack is still at work when the signal comes.
    "rack apply": "pinwright.Rack([sys.argv[1]] * 20, jobs=1).apply({'outputWord': 1})",
}


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
@pytest.mark.pinwright_sim(rack=True, args=["--reply-delay", "30"])
def test_ctrl_c_ends_the_call_and_the_session_goes_on(pinwright_sim, call):
    status, out, err = interrupted(WAITER.format(call=call), pinwright_sim.resource)
    assert (status, out) == (0, "interrupted 7\n"), err
