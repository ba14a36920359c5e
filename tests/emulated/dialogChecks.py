"""Config as the user and the host see it: the module's own dialog 101 opens,
owned by the host window, while timer 1611 is off; the user acts on it; what
it showed before each action, what its procedure answered, the timer it left
and the settings written at quit must be right. How the procedure gets there
(which calls, in which order) is its own business.

A view is (caption, box ticked, field text, field enabled, label enabled);
OK and the box stay enabled throughout."""

from .checks import expectEqual
from .hostedPlugin import SWEEP_TIMER_ID, HostedPlugin
from .settingsChecks import PERIOD_INTERVALS, Setup
from .simulatedHost import HOST_WINDOW

OK, BOX, FIELD, LABEL = 1, 1000, 1007, 1008
UNKNOWN_IDS = (257, 4242, 0xFFFF)  # 257: low byte 1, yet not OK


def shows(ticked, period):
    return (b'Kestwyn', ticked, period, ticked, ticked)


DIALOG_CASES = [
    # title, stored, user actions, the view before each action, written (Enabled, Period)
    ('OK at once keeps both', Setup(), [('enter',)], [shows(True, b'60')], (b'1', b'60')),
    ('Esc stores a typed period', Setup(), [('type', FIELD, b'125'), ('escape',)],
     [shows(True, b'60'), shows(True, b'125')], (b'1', b'125')),
    ('the close box ends as Esc does', Setup(), [('type', FIELD, b'30'), ('close',)],
     [shows(True, b'60'), shows(True, b'30')], (b'1', b'30')),
    ('clearing the box greys the field; OK still stores it', Setup(),
     [('type', FIELD, b'45'), ('click', BOX), ('click', OK)],
     [shows(True, b'60'), shows(True, b'45'), shows(False, b'45')], (b'0', b'45')),
    ('clicking the box and then Esc keeps the new state', Setup(), [('click', BOX), ('escape',)],
     [shows(True, b'60'), shows(False, b'60')], (b'0', b'60')),
    ('a cleared box opens greyed; ticking it restores the field', Setup(enabled=b'0'),
     [('click', BOX), ('enter',)], [shows(False, b'60'), shows(True, b'60')], (b'1', b'60')),
    ('a stored 7 opens ticked and stays 7', Setup(enabled=b'7'), [('enter',)], [shows(True, b'60')], (b'7', b'60')),
    ('ids 0 and unknown do nothing', Setup(enabled=b'7'),
     [('command', 0, 0)] + [('command', i, 0) for i in UNKNOWN_IDS] + [('enter',)],
     [shows(True, b'60')] * 5, (b'7', b'60')),
    # A raw command does not tick the box: the procedure reads it as it stands.
    ('the box is acted on whatever the code in the high word', Setup(enabled=b'7'),
     [('command', BOX, 0x300), ('enter',)], [shows(True, b'60')] * 2, (b'1', b'60')),
    ('OK closes whatever the code in the high word', Setup(), [('type', FIELD, b'45'), ('command', OK, 1)],
     [shows(True, b'60'), shows(True, b'45')], (b'1', b'45')),
    ('an emptied field stores 0', Setup(), [('type', FIELD, b''), ('enter',)],
     [shows(True, b'60'), shows(True, b'')], (b'1', b'0')),
    ('text that is no number stores 0', Setup(), [('type', FIELD, b'abc'), ('enter',)],
     [shows(True, b'60'), shows(True, b'abc')], (b'1', b'0')),
    ('the largest period is shown unsigned', Setup(period=b'4294967295'), [('enter',)],
     [shows(True, b'4294967295')], (b'1', b'4294967295')),
]


def seen(view):
    caption, controls = view
    state = {controlId: (checked, text, enabled) for controlId, checked, text, enabled in controls}
    stray = [controlId for controlId in (OK, BOX) if not state[controlId][2]]
    return (caption, bool(state[BOX][0]), state[FIELD][1], state[FIELD][2], state[LABEL][2]) + \
        (('greyed: %s' % stray,) if stray else ())


def runDialog(image, setup, script):
    """Init, one config with the script, then the checks common to every dialog."""
    plugin = HostedPlugin(image, setup)
    plugin.init()
    procedure = plugin.sweepTimer()[1]
    plugin.config(script)
    platform = plugin.platform
    expectEqual(platform.dialogOwner, HOST_WINDOW, 'owner of the dialog')
    expectEqual(platform.timersWhileOpen.get((HOST_WINDOW, SWEEP_TIMER_ID)), None,
                'timer 1611 while the dialog is open')
    # 0 for WM_INITDIALOG too: the platform then leaves the focus where it is.
    expectEqual([(m.describe(), m.result) for m in platform.dialogMessages],
                [(m.describe(), 0) for m in platform.dialogMessages], 'dialog procedure results')
    return plugin, procedure


def checkDialog(image, setup, script, views, written):
    plugin, procedure = runDialog(image, setup, script)
    expectEqual([seen(v) for v in plugin.platform.dialogViews], views, 'the dialog before each action')
    expectEqual(plugin.sweepTimer(), (int(written[1]) * 1000 % 2 ** 32, procedure), 'timer 1611 after the dialog')
    plugin.quit()
    expectEqual(plugin.platform.profiles, setup.profilesAfterQuit(*written), 'profile files after quit')


def checkPeriodFromField(image, period, interval):
    plugin, procedure = runDialog(image, Setup(), [('type', FIELD, b'%d' % period), ('enter',)])
    expectEqual(plugin.sweepTimer(), (interval, procedure), 'timer 1611 after typing %d' % period)


def checkDialogs(case, image):
    for title, setup, script, views, written in DIALOG_CASES:
        case(title, checkDialog, image, setup, script, views, written)
    for period, interval in PERIOD_INTERVALS:
        case('period %d typed: timer interval %d ms' % (period, interval),
             checkPeriodFromField, image, period, interval)
