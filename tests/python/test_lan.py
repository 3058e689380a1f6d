# What reaches beyond one socket: finding, and another client's lock. ctest runs this file in a network
# namespace of its own with only loopback up (tests/support/own-network), so that nothing leaves the
# machine and the simulator's portmapper can take port 111.
import subprocess
import sys
import textwrap

import pytest

import pinwright

from conftest import interrupted


def test_find_lists_the_builtin_mainframe_as_the_cli_does():
    found = pinwright.find(timeout=300, identify=True)
    builtin = [i for i in found if i.builtin]
    assert len(builtin) == 1
    assert builtin[0].resource == "SIM0::INSTR"
    assert builtin[0].resources[0].transport == "SIM"
    assert builtin[0].identity_source == "answered" and builtin[0].model == "MF-7"
    assert "(built in)" in builtin[0].description


HOLDER = textwrap.dedent("""
    import sys, time, pyvisa
    rm = pyvisa.ResourceManager('@py')
    i = rm.open_resource(sys.argv[1], open_timeout=5000)
    i.lock_excl()
    print('locked', flush=True)
    sys.stdin.readline()
    i.unlock()
    i.close()
""")


@pytest.mark.pinwright_sim(rack=True, args=["--vxi11"])
def test_a_lock_another_client_holds_is_lock_not_granted_and_nothing_is_sent(pinwright_sim):
    resource = "TCPIP0::127.0.0.1::inst0::INSTR"
    # Opened first: an instrument locked by another link refuses every write, the open's *IDN? too.
    mf = pinwright.open(resource, lock_timeout=200)
    holder = subprocess.Popen([sys.executable, "-c", HOLDER, resource], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, text=True)
    try:
        assert holder.stdout.readline() == "locked\n"
        with pytest.raises(pinwright.LockNotGranted):
            mf.output_word = 5
        holder.stdin.write("\n")
        holder.stdin.flush()
        assert holder.wait(10) == 0
    finally:
        holder.kill()
    with mf:
        assert mf.output_word == 0  # nothing was sent
        mf.output_word = 5  # granted once the holder let go
        assert mf.output_word == 5


FINDER = textwrap.dedent("""
    import pinwright
    try:
        print("waiting", flush=True)
        pinwright.find(timeout=60000)
        print("ended", flush=True)
    except KeyboardInterrupt:
        print("interrupted", len(pinwright.find(timeout=100, identify=False)) >= 1, flush=True)
""")


def test_ctrl_c_ends_a_search():
    status, out, err = interrupted(FINDER)
    assert (status, out) == (0, "interrupted True\n"), err
