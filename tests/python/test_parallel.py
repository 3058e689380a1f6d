# Threads on separate mainframes run at once: the GIL is released while each waits for its replies.
import threading
import time

import pytest

import pinwright

COUNT = 4


def read_ports(mainframes, threaded):
    start = time.monotonic()
    if threaded:
        threads = [threading.Thread(target=mf.read_port) for mf in mainframes]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    else:
        for mf in mainframes:
            mf.read_port()
    return time.monotonic() - start


@pytest.mark.pinwright_sim(rack=True, count=COUNT, args=["--reply-delay", "60"])
def test_threads_on_separate_mainframes_overlap(pinwright_sim):
    mainframes = [pinwright_sim.open(i, timeout=5000) for i in range(COUNT)]
    try:
        one_after_another = read_ports(mainframes, threaded=False)
        at_once = read_ports(mainframes, threaded=True)
    finally:
        for mf in mainframes:
            mf.close()
    # Four waits for replies at once take about one: well under the sum, with room for a loaded machine.
    assert at_once < one_after_another * 0.6, (at_once, one_after_another)


@pytest.mark.pinwright_sim(rack=True, count=1, args=["--reply-delay", "20"])
def test_threads_sharing_one_mainframe_take_turns(pinwright_sim):
    errors = []
    with pinwright_sim.open() as mf:
        def work(word):
            try:
                for _ in range(5):
                    mf.output_word = word
                    assert 0 <= mf.read_port().output_word <= 127
            except Exception as error:  # collected for the main thread
                errors.append(error)

        threads = [threading.Thread(target=work, args=(w,)) for w in (1, 2, 3)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert errors == []
        assert int(mf.scpi("SYST:ERR?").split(",")[0]) == 0  # no exchange was interleaved with another
