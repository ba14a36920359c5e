#!/usr/bin/python3
"""Executes the shipped 32-bit plug-in's own machine code under a CPU
emulator (Unicorn) with stand-ins for its imports and a simulated host, and
checks its whole contract with the host: export, header, entry procedure,
init and quit with the settings file, the timer procedure over the shared
sweep scenarios and over names handed over at every alignment and at a page
end, and config's dialog. It also holds the scenario file to its grammar.
Usage: check_emulated.py path/to/gen_zanq.dll"""
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

try:
    from emulated.contractSuite import main
except ImportError as error:
    sys.exit('check_emulated: %s; it needs Debian\'s python3-unicorn and python3-pefile '
             '(scripts/setup.sh installs them) and /usr/bin/python3' % error)

if len(sys.argv) != 2:
    sys.exit('usage: check_emulated.py path/to/gen_zanq.dll')
sys.exit(main(sys.argv[1]))
