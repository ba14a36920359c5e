"""Init and quit as the host and the user see them: init asks the host for
its settings file (request 334, and nothing else), reads section "Kestwyn" of
that file, or of "winamp.ini" when the answer is no address, and starts
timer 1611 with period x 1000 ms modulo 2^32; quit stops the timer and leaves
both settings in the same file, and no other file changes. The other file
holds values of its own, so reading or writing the wrong one shows.

PERIOD_INTERVALS is the one table of periods and the timer intervals they
give; the dialog checks run it through the field as well."""

import copy

from .checks import expectEqual
from .hostedPlugin import HostedPlugin
from .moduleChecks import inCode
from .simulatedHost import HOST_WINDOW

HOST_PATH = b'C:\\Program Files\\Winamp\\winamp.ini'
FALLBACK = b'winamp.ini'
SECTION = b'Kestwyn'
DECOY = {b'enabled': b'5', b'period': b'99'}  # in the file that must not be used


class Setup:
    """How the host answers 334 and what its profile holds."""

    def __init__(self, pathAt=None, rawAnswer=None, enabled=None, period=None):
        self.pathAt, self.rawAnswer, self.enabled, self.period = pathAt, rawAnswer, enabled, period

    @property
    def file(self):
        return FALLBACK if self.rawAnswer is not None else HOST_PATH

    @property
    def otherFile(self):
        return HOST_PATH if self.rawAnswer is not None else FALLBACK

    def __call__(self, plugin):
        if self.rawAnswer is not None:
            plugin.host.settingsPathAnswer = self.rawAnswer
        else:
            plugin.host.setSettingsPath(HOST_PATH, self.pathAt)
        for key, text in ((b'Enabled', self.enabled), (b'Period', self.period)):
            if text is not None:
                plugin.platform.setProfileText(self.file, SECTION, key, text)
        for key, text in DECOY.items():
            plugin.platform.setProfileText(self.otherFile, SECTION, key, text)

    def profilesAfterQuit(self, enabled, period):
        """Every profile file's content once quit wrote these texts."""
        return {self.file.lower(): {SECTION.lower(): {b'enabled': enabled, b'period': period}},
                self.otherFile.lower(): {SECTION.lower(): dict(DECOY)}}


# period in seconds -> the interval asked of the timer, in ms (modulo 2^32)
PERIOD_INTERVALS = [(60, 60000), (1, 1000), (0, 0), (4294967, 4294967000),
                    (4294968, 704), (4294967295, 4294966296)]

STORE_CASES = [
    # title, setup, timer interval after init, (Enabled, Period) in the file after quit
    ('nothing stored: the defaults', Setup(), 60000, (b'1', b'60')),
    ('stored values are read and written back', Setup(enabled=b'0', period=b'15'), 15000, (b'0', b'15')),
    ('a stored Enabled of 7 stays 7', Setup(enabled=b'7'), 60000, (b'7', b'60')),
    ('an Enabled past 2^31 - 1 is written as a negative number', Setup(enabled=b'4294967295'), 60000,
     (b'-1', b'60')),
    ('values that are no plain number are written back as read', Setup(enabled=b'12abc', period=b'30 s'),
     30000, (b'12', b'30')),
    ('path at 0x10000, the lowest address that is one', Setup(pathAt=0x00010000, period=b'15'), 15000,
     (b'1', b'15')),
    ('path above 2 GiB: the bound is unsigned', Setup(pathAt=0x80000000, period=b'15'), 15000, (b'1', b'15')),
    ('no path (0): winamp.ini', Setup(rawAnswer=0, period=b'15'), 15000, (b'1', b'15')),
    ('no path (1): winamp.ini', Setup(rawAnswer=1, period=b'15'), 15000, (b'1', b'15')),
    ('no path (0xFFFF): winamp.ini', Setup(rawAnswer=0xFFFF, period=b'15'), 15000, (b'1', b'15')),
]


def checkStore(image, setup, interval, written):
    plugin = HostedPlugin(image, setup)
    stored = copy.deepcopy(plugin.platform.profiles)
    expectEqual(plugin.init(), 0, 'init result')
    expectEqual(plugin.host.requests, [(HOST_WINDOW, 334, 0)], 'requests of init')
    expectEqual(plugin.sweepTimer(), (interval, inCode(image)), 'timer 1611 after init (interval, procedure)')
    expectEqual(plugin.platform.profiles, stored, 'profile files after init (unchanged)')
    plugin.quit()
    expectEqual(plugin.host.requests, [(HOST_WINDOW, 334, 0)], 'requests of init and quit')
    expectEqual(plugin.platform.timers, {}, 'timers after quit')
    expectEqual(plugin.platform.profiles, setup.profilesAfterQuit(*written), 'profile files after quit')


def checkPeriodFromFile(image, period, interval):
    text = b'%d' % period
    setup = Setup(period=text)
    plugin = HostedPlugin(image, setup)
    plugin.init()
    expectEqual(plugin.sweepTimer()[0], interval, 'timer interval for a stored period of %d' % period)
    plugin.quit()
    expectEqual(plugin.platform.profiles, setup.profilesAfterQuit(b'1', text), 'profile files after quit')


def checkSettings(case, image):
    for title, setup, interval, written in STORE_CASES:
        case('store: ' + title, checkStore, image, setup, interval, written)
    for period, interval in PERIOD_INTERVALS:
        case('stored period %d: timer interval %d ms' % (period, interval),
             checkPeriodFromFile, image, period, interval)
