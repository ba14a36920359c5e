"""Runs every emulated check on one release DLL and reports. Exit status 0
only when every case passed."""

import os
import sys
import time

import pefile

from .checks import Runner
from .dialogChecks import checkDialogs
from .lifecycleChecks import checkLifecycle
from .machine import EmulationError
from .moduleChecks import checkModule
from .nameCodeChecks import checkNameCode
from .peImage import PeImage
from .scenarioFormatChecks import checkScenarioFormat
from .settingsChecks import checkSettings
from .sweepChecks import checkSweeps

SCENARIO_FILE = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), 'sweepScenarios.txt')


def main(dllPath, out=sys.stdout):
    started = time.monotonic()
    try:
        image = PeImage(dllPath)
    except (OSError, EmulationError, pefile.PEFormatError) as error:
        out.write('emulated: cannot load %s: %s\n' % (dllPath, error))
        return 1
    runner = Runner(out)
    runner.group('module, export, header and entry procedure', checkModule, image)
    runner.group('init and quit: settings file, timer and the period table', checkSettings, image)
    runner.group('scenario file: its grammar and digest', checkScenarioFormat, SCENARIO_FILE)
    runner.group('timer procedure: shared sweep scenarios', checkSweeps, image, SCENARIO_FILE)
    runner.group('timer procedure: 32-bit name code at every alignment and at a page end', checkNameCode, image)
    runner.group('config: the dialog as the user sees it, the timer and the period table', checkDialogs, image)
    runner.group('lifecycle', checkLifecycle, image)
    out.write('emulated run of %s took %.1f s\n' % (dllPath, time.monotonic() - started))
    return 0 if runner.report() else 1
