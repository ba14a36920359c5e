"""One whole session on one process, as a user lives it: start, a sweeping
tick, the dialog turning sweeps off with a new period, a silent tick, the
dialog turning them on again, a sweeping tick, stop, unload. Settings change
at once in memory, reach the timer when the dialog closes and reach the file
only at quit."""

from .checks import expectEqual, expectTrue
from .hostedPlugin import DLL_PROCESS_DETACH, HostedPlugin
from .settingsChecks import HOST_PATH, SECTION, Setup


def checkSession(image):
    plugin = HostedPlugin(image, Setup())
    host, platform = plugin.host, plugin.platform
    plugin.init()
    timerProcedure = plugin.sweepTimer()[1]

    host.playlist = [b'a', b'b', b'A']
    plugin.tick()
    expectEqual(host.playlist, [b'a', b'b'], 'entries after the first tick')

    plugin.config([('type', 1007, b'5'), ('click', 1000), ('enter',)])
    expectEqual(plugin.sweepTimer(), (5000, timerProcedure), 'timer after sweeps were turned off')
    host.playlist = [b'a', b'b', b'a']
    mark = len(host.requests)
    plugin.tick()
    expectEqual(host.requests[mark:], [], 'requests of a tick with sweeps off')
    expectEqual(platform.profileText(HOST_PATH, SECTION, b'Enabled'), None, 'Enabled in the file before quit')

    plugin.config([('click', 1000), ('escape',)])
    plugin.tick()
    expectEqual(host.playlist, [b'a', b'b'], 'entries after sweeps were turned on again')

    plugin.quit()
    expectEqual((platform.profileText(HOST_PATH, SECTION, b'Enabled'), platform.profileText(HOST_PATH, SECTION, b'Period')),
                (b'1', b'5'), 'Enabled and Period in the file after quit')
    expectEqual(platform.timers, {}, 'timers after quit')
    expectTrue(plugin.callEntry(DLL_PROCESS_DETACH, 0) != 0, 'the entry procedure refused the unload')


def checkLifecycle(case, image):
    case('a whole session: start, ticks, two dialogs, stop, unload', checkSession, image)
