"""The timer procedure that init registered, called as the platform calls it,
over the sweep scenarios shared with the sweep tests of the test build: each
tick must send the requests the table lists, in its order, and leave the
entries it lists."""

from .checks import expectEqual, expectTrue
from .hostedPlugin import HostedPlugin
from .simulatedHost import EDITOR_WINDOW, HOST_WINDOW
from .standIns import WM_USER
from .sweepScenarios import readSweepScenarios

SETTINGS_FILE = b'C:\\Winamp\\winamp.ini'


def prepareScenario(scenario):
    def prepare(plugin):
        host = plugin.host
        host.setSettingsPath(SETTINGS_FILE)
        # The plug-in learns enabled as always, from the file at init; written
        # unsigned, any 32-bit value arrives whole (a negative text reads as 0).
        plugin.platform.setProfileText(SETTINGS_FILE, b'Kestwyn', b'Enabled', b'%d' % (scenario.enabled & 0xFFFFFFFF))
        host.playlist = list(scenario.entries)
        host.currentIndex = scenario.current
        host.overrideCount, host.reportedCount = scenario.overrideCount, scenario.count
        host.nullEditor = scenario.nullEditor
        host.nullNameIndices = set(scenario.nullNames)
    return prepare


def checkScenario(image, scenario):
    plugin = HostedPlugin(image, prepareScenario(scenario))
    plugin.init()
    requestMark, callMark = len(plugin.host.requests), len(plugin.platform.calls)
    plugin.tick()
    expected = [(EDITOR_WINDOW if code == 104 else HOST_WINDOW, code, argument)
                for code, argument in scenario.requests]
    expectEqual(plugin.host.requests[requestMark:], expected, 'requests of one tick (window, code, argument)')
    expectEqual(plugin.host.playlist, [scenario.entries[k] for k in scenario.remaining], 'entries left')
    # Nothing but host requests; with a null editor, removals go to no window.
    windows = {HOST_WINDOW, EDITOR_WINDOW} | ({0} if scenario.nullEditor else set())
    strays = [c for c in plugin.callsSince(callMark)
              if c[0] != 'SendMessageA' or c[1] not in windows or c[2] != WM_USER]
    expectEqual(strays, [], 'platform calls of the tick other than host requests')


def checkSweeps(case, image, scenarioFile):
    scenarios = readSweepScenarios(scenarioFile)
    # Too few would mean the table was read wrong, not that there is little to check.
    expectTrue(len(scenarios) > 40, 'only %d scenarios read from %s' % (len(scenarios), scenarioFile))
    for scenario in scenarios:
        case(scenario.title, checkScenario, image, scenario)
