"""Init and quit as the host sees them: init asks for the settings path,
reads "Enabled" then "Period" from section "Kestwyn" of that very text (or of
"winamp.ini" when the answer is no address), and sets timer 1611 with period x
1000 ms modulo 2^32; quit kills the timer and writes "Enabled" with %d, then
"Period" with %u, to the same file."""

from .checks import Where, expectEqual
from .hostedPlugin import SWEEP_TIMER_ID, HostedPlugin
from .moduleChecks import inCode
from .simulatedHost import HOST_WINDOW
from .standIns import WM_USER

HOST_PATH = b'C:\\Program Files\\Winamp\\winamp.ini'
FALLBACK = b'winamp.ini'
SECTION = b'Kestwyn'


class Setup:
    """How the host answers 334 and what its profile holds."""

    def __init__(self, pathAt=None, rawAnswer=None, enabled=None, period=None):
        self.pathAt, self.rawAnswer, self.enabled, self.period = pathAt, rawAnswer, enabled, period

    @property
    def file(self):
        return FALLBACK if self.rawAnswer is not None else HOST_PATH

    def __call__(self, plugin):
        if self.rawAnswer is not None:
            plugin.host.settingsPathAnswer = self.rawAnswer
        else:
            plugin.host.setSettingsPath(HOST_PATH, self.pathAt)
        for key, text in ((b'Enabled', self.enabled), (b'Period', self.period)):
            if text is not None:
                plugin.platform.setProfileText(self.file, SECTION, key, text)


def expectedFile(plugin, setup):
    """The host's own pointer when it named a file; else any address of "winamp.ini"."""
    if setup.rawAnswer is None:
        return plugin.host.settingsPathAnswer
    return Where(lambda address: plugin.machine.readText(address) == FALLBACK, 'the address of "winamp.ini"')


INIT_CASES = [
    # title, setup, interval asked of the timer
    ('path in the host\'s memory, nothing stored', Setup(), 60000),
    ('path at 0x10000, the lowest address that is one', Setup(pathAt=0x00010000), 60000),
    ('path above 2 GiB: the bound is unsigned', Setup(pathAt=0x80000000), 60000),
    ('no path (0): winamp.ini', Setup(rawAnswer=0), 60000),
    ('no path (1): winamp.ini', Setup(rawAnswer=1), 60000),
    ('no path (0xFFFF): winamp.ini', Setup(rawAnswer=0xFFFF), 60000),
    ('no path, stored period read from winamp.ini', Setup(rawAnswer=0, period=b'15'), 15000),
    ('period 0 asks for a zero interval', Setup(period=b'0'), 0),
    ('period 4294968 wraps to 704 ms', Setup(period=b'4294968'), 704),
    ('period 4294967295 wraps to 4294966296 ms', Setup(period=b'4294967295'), 4294966296),
]


def checkInit(image, setup, interval):
    plugin = HostedPlugin(image, setup)
    mark = len(plugin.platform.calls)
    expectEqual(plugin.init(), 0, 'init result')
    file = expectedFile(plugin, setup)
    expectEqual(plugin.callsSince(mark), [
        ('SendMessageA', HOST_WINDOW, WM_USER, 0, 334),
        ('GetPrivateProfileIntA', SECTION, b'Enabled', 1, file),
        ('GetPrivateProfileIntA', SECTION, b'Period', 60, file),
        ('SetTimer', HOST_WINDOW, SWEEP_TIMER_ID, interval, inCode(image)),
    ], 'platform calls of init')


QUIT_CASES = [
    # title, setup, (Enabled, Period) values formatted, texts written
    ('nothing stored: the defaults are written', Setup(), (1, 60), (b'1', b'60')),
    ('stored 7 and 4294967295 are written back', Setup(enabled=b'7', period=b'4294967295'),
     (7, 4294967295), (b'7', b'4294967295')),
    ('an Enabled past 2^31 - 1 is a negative number', Setup(enabled=b'4294967295', period=b'0'),
     (0xFFFFFFFF, 0), (b'-1', b'0')),
    ('no path: written to winamp.ini', Setup(rawAnswer=0, enabled=b'0', period=b'30'), (0, 30), (b'0', b'30')),
]


def checkQuit(image, setup, values, texts):
    plugin = HostedPlugin(image, setup)
    plugin.init()
    mark = len(plugin.platform.calls)
    plugin.quit()
    file = expectedFile(plugin, setup)
    expectEqual(plugin.callsSince(mark), [
        ('KillTimer', HOST_WINDOW, SWEEP_TIMER_ID),
        ('wsprintfA', b'%d', (values[0],)),
        ('WritePrivateProfileStringA', SECTION, b'Enabled', texts[0], file),
        ('wsprintfA', b'%u', (values[1],)),
        ('WritePrivateProfileStringA', SECTION, b'Period', texts[1], file),
    ], 'platform calls of quit')
    expectEqual(plugin.platform.timers, {}, 'timers left after quit')


def checkSettings(case, image):
    for title, setup, interval in INIT_CASES:
        case('init: ' + title, checkInit, image, setup, interval)
    for title, setup, values, texts in QUIT_CASES:
        case('quit: ' + title, checkQuit, image, setup, values, texts)
