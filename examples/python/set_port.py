#!/usr/bin/env python3
"""Sets up a mainframe's digital port and waits for its input, as a bench script would.

    python3 set_port.py [RESOURCE]      (default SIM0::INSTR, the simulated mainframe built in)
"""
import sys

import pinwright

resource = sys.argv[1] if len(sys.argv) > 1 else "SIM0::INSTR"
with pinwright.open(resource, timeout=5000) as mf:
    print(mf.identity)
    try:
        mf.set_pin(5, "On Couple", "positive")
    except pinwright.CouplingConflict as conflict:
        sys.exit(f"pin {conflict.pin} holds {conflict.function} already: {conflict}")
    mf.output_word = 85  # or mf.set_output_bits("1010101")
    mf.inhibit_mode = "latching"
    word = mf.wait_input("1xxxxx1", timeout=3000)  # pin 7 first; DIO pins read back what they drive
    port = mf.read_port()
    for number, pin in port.pins.items():
        print(f"pin {number}: {pin.function}, {pin.polarity}")
    print(f"output word {port.output_word}, input word {word} ({port.input_bits}), inhibit {port.inhibit_mode}")
