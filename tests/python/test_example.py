# The example script and the README's example, run as a user runs them.
import os
import re
import subprocess
import sys

import pytest

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")


def run(arguments):
    return subprocess.run([sys.executable, *arguments], capture_output=True, text=True, timeout=60)


@pytest.mark.pinwright_sim(rack=True)
@pytest.mark.parametrize("where", ["builtin", "simulator"])
def test_the_example_script_sets_up_the_port(pinwright_sim, where):
    script = os.path.join(ROOT, "examples", "python", "set_port.py")
    done = run([script] + ([pinwright_sim.resource] if where == "simulator" else []))
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0].startswith("Korvane,MF-7,SIM")
    assert "pin 5: On Couple, positive" in lines
    assert lines[-1] == "output word 85, input word 69 (1000101), inhibit latching"


def test_the_readme_example_runs_as_written():
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as readme:
        text = readme.read()
    section = text[text.index("## From Python"):]
    example = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    done = run(["-c", example])
    assert done.returncode == 0, done.stderr
