"""Config as the host sees it: timer 1611 killed, dialog 101 run from the
module's own resources with the host window as owner, then the timer set
again, with the same procedure, for the period the dialog left. Inside, the
dialog procedure gets the messages that a dialog manager sends for a script of
user actions; for each it must make the calls listed, in order, and return 0.
What the dialog changed reaches the file only at quit."""

from .checks import expectEqual
from .hostedPlugin import SWEEP_TIMER_ID, HostedPlugin
from .moduleChecks import inCode
from .settingsChecks import Setup
from .simulatedHost import HOST_WINDOW
from .standIns import CONTROL_HANDLE_BASE, DIALOG_HANDLE as D

BOX, FIELD, LABEL = 1000, 1007, 1008
UNKNOWN_IDS = (257, 4242, 0xFFFF)  # 257: low byte 1, yet not OK
FONT, DESTROY, TYPED = ('WM_SETFONT', []), ('WM_DESTROY', []), ('WM_COMMAND id 1007 code 0x300', [])


def periodControls(flag):
    return [('EnableWindow', FIELD, flag), ('EnableWindow', LABEL, flag)]


def opening(ticked, period):
    return ('WM_INITDIALOG', [('SetWindowTextA', D, b'Kestwyn'), ('CheckDlgButton', D, BOX, 1 if ticked else 0),
                              ('SetDlgItemInt', D, FIELD, period, 0)] + periodControls(ticked))


def boxCommand(nowTicked, code=0):
    return ('WM_COMMAND id 1000 code 0x%x' % code, [('IsDlgButtonChecked', D, BOX)] + periodControls(nowTicked))


def closing(controlId, code=0):
    # Unsigned, and no success flag: text that is no number reads as 0.
    return ('WM_COMMAND id %d code 0x%x' % (controlId, code), [('GetDlgItemInt', D, FIELD, 0, 0), ('EndDialog', D, 0)])


def ignored(controlId):
    return ('WM_COMMAND id %d code 0x0' % controlId, [])


DIALOG_CASES = [
    # title, stored (Enabled, Period), user actions, messages and their calls, written (Enabled, Period)
    ('OK at once keeps both', Setup(), [('enter',)],
     [FONT, opening(True, 60), closing(1), DESTROY], (b'1', b'60')),
    ('Esc stores a typed period', Setup(), [('type', FIELD, b'125'), ('escape',)],
     [FONT, opening(True, 60), TYPED, closing(2), DESTROY], (b'1', b'125')),
    ('the close box ends as Esc does', Setup(), [('type', FIELD, b'30'), ('close',)],
     [FONT, opening(True, 60), TYPED, ('WM_CLOSE', []), closing(2), DESTROY], (b'1', b'30')),
    ('clearing the box greys the field; OK still stores it', Setup(),
     [('type', FIELD, b'45'), ('click', BOX), ('click', 1)],
     [FONT, opening(True, 60), TYPED, boxCommand(False), closing(1), DESTROY], (b'0', b'45')),
    ('clicking the box and then Esc keeps the new state', Setup(), [('click', BOX), ('escape',)],
     [FONT, opening(True, 60), boxCommand(False), closing(2), DESTROY], (b'0', b'60')),
    ('a cleared box opens greyed; ticking it restores the field', Setup(enabled=b'0'),
     [('click', BOX), ('enter',)],
     [FONT, opening(False, 60), boxCommand(True), closing(1), DESTROY], (b'1', b'60')),
    ('a stored 7 opens ticked and stays 7', Setup(enabled=b'7'), [('enter',)],
     [FONT, opening(True, 60), closing(1), DESTROY], (b'7', b'60')),
    ('ids 0 and unknown do nothing; the code in the high word is not looked at', Setup(),
     [('command', 0, 0)] + [('command', i, 0) for i in UNKNOWN_IDS] + [('command', BOX, 0x300), ('command', 1, 1)],
     [FONT, opening(True, 60), ignored(0)] + [ignored(i) for i in UNKNOWN_IDS]
     + [boxCommand(True, 0x300), closing(1, 1), DESTROY], (b'1', b'60')),
    ('an emptied field stores 0', Setup(), [('type', FIELD, b''), ('enter',)],
     [FONT, opening(True, 60), TYPED, closing(1), DESTROY], (b'1', b'0')),
    ('text that is no number stores 0', Setup(), [('type', FIELD, b'abc'), ('enter',)],
     [FONT, opening(True, 60), TYPED, closing(1), DESTROY], (b'1', b'0')),
    ('the largest period goes through the field unsigned', Setup(period=b'4294967295'), [('enter',)],
     [FONT, opening(True, 4294967295), closing(1), DESTROY], (b'1', b'4294967295')),
]


def controlIdOf(window):
    controlId, offset = divmod(window - CONTROL_HANDLE_BASE, 4)
    return controlId if 0 <= controlId <= 0xFFFF and not offset else 'window 0x%08x' % window


def essential(calls):
    """The calls that do something: GetDlgItem is left out, and EnableWindow
    names the control whose handle it got, or the stray handle it used."""
    return [('EnableWindow', controlIdOf(c[1]), c[2]) if c[0] == 'EnableWindow' else c
            for c in calls if c[0] != 'GetDlgItem']


def checkDialog(image, setup, script, messages, written):
    plugin = HostedPlugin(image, setup)
    plugin.init()
    procedure = plugin.sweepTimer()[1]
    mark = len(plugin.platform.calls)
    plugin.config(script)

    calls = plugin.platform.calls
    seen = plugin.platform.dialogMessages
    outside = [c for k, c in enumerate(calls[mark:], mark) if not any(m.callsFrom <= k < m.callsTo for m in seen)]
    interval = int(written[1]) * 1000 % 2 ** 32
    expectEqual(outside, [
        ('KillTimer', HOST_WINDOW, SWEEP_TIMER_ID),
        ('DialogBoxParamA', image.base, 101, HOST_WINDOW, inCode(image), 0),
        ('SetTimer', HOST_WINDOW, SWEEP_TIMER_ID, interval, procedure),
    ], 'platform calls of config outside the dialog procedure')
    expectEqual([(m.describe(), essential(calls[m.callsFrom:m.callsTo])) for m in seen], messages,
                 'messages to the dialog procedure and the calls each made')
    expectEqual([m.result for m in seen], [0] * len(seen), 'dialog procedure results')

    mark = len(plugin.platform.calls)
    plugin.quit()
    expectEqual([c[2:4] for c in plugin.callsSince(mark) if c[0] == 'WritePrivateProfileStringA'],
                [(b'Enabled', written[0]), (b'Period', written[1])], 'values written at quit')


def checkDialogs(case, image):
    for title, setup, script, messages, written in DIALOG_CASES:
        case(title, checkDialog, image, setup, script, messages, written)
