"""The platform's side of the emulated process: stand-ins for the USER32 and
KERNEL32 functions that the module imports, written from their documented
behaviour, over a small model of windows, timers, profile (INI) files and
modal dialogs. Every call is recorded in order as a tuple (name, arguments...),
texts as bytes and pointers as numbers, so a check can compare whole sequences.

A modal dialog runs a script of user actions that the check supplies; the
platform turns each into the messages a real dialog manager would send to the
dialog procedure, and fails loudly if the script ends with the dialog open.
wsprintfA is the one cdecl function; all the others pop their own arguments."""

from .dialogTemplate import TemplateError, readDialogTemplate
from .machine import CDECL, STDCALL, EmulationError, StandIn

WM_DESTROY, WM_CLOSE, WM_SETFONT = 0x0002, 0x0010, 0x0030
WM_INITDIALOG, WM_COMMAND, WM_TIMER, WM_USER = 0x0110, 0x0111, 0x0113, 0x0400
MESSAGE_NAMES = {WM_DESTROY: 'WM_DESTROY', WM_CLOSE: 'WM_CLOSE', WM_SETFONT: 'WM_SETFONT',
                 WM_INITDIALOG: 'WM_INITDIALOG', WM_COMMAND: 'WM_COMMAND'}
BN_CLICKED, EN_CHANGE = 0, 0x0300
IDOK, IDCANCEL = 1, 2
BST_UNCHECKED, BST_CHECKED = 0, 1
RT_DIALOG = 5
WS_TABSTOP, WS_DISABLED = 0x00010000, 0x08000000
BS_TYPEMASK, BS_AUTOCHECKBOX, BS_AUTO3STATE = 0x0F, 3, 6
DS_SETFONT = 0x40
DIALOG_HANDLE = 0x00070C2E
CONTROL_HANDLE_BASE = 0x00080000
FONT_HANDLE = 0x0A0A0B0C
WSPRINTF_LIMIT = 1024  # the most the function ever writes, NUL included


def signed32(value):
    value &= 0xFFFFFFFF
    return value - 0x100000000 if value & 0x80000000 else value


def makeWParam(low, high):
    return (low & 0xFFFF) | ((high & 0xFFFF) << 16)


def controlHandle(controlId):
    """The handle the emulated platform gives a dialog's control of that id."""
    return CONTROL_HANDLE_BASE + 4 * controlId


def _leadingNumber(text, allowSign):
    """Skips leading blanks, then reads decimal digits up to the first other
    character. Returns the number, or None when there is no digit."""
    text = text.lstrip(b' \t')
    negative = allowSign and text[:1] == b'-'
    if allowSign and text[:1] in (b'-', b'+'):
        text = text[1:]
    digits = b''
    for c in text:
        if not 0x30 <= c <= 0x39:
            break
        digits += bytes([c])
    if not digits:
        return None
    return -int(digits) if negative else int(digits)


class DialogControl:
    def __init__(self, template, handle):
        self.controlId, self.className, self.handle = template.controlId, template.className, handle
        self.style = template.style
        self.text = template.text.encode('latin-1', 'replace')
        self.enabled = not template.style & WS_DISABLED
        self.checked = BST_UNCHECKED


class Dialog:
    def __init__(self, template, procedure):
        self.procedure = procedure
        self.controls = [DialogControl(c, controlHandle(c.controlId)) for c in template.controls]
        self.caption = None
        self.ended = False
        self.result = None

    def control(self, controlId):
        return next((c for c in self.controls if c.controlId == controlId), None)

    def byHandle(self, handle):
        return next((c for c in self.controls if c.handle == handle), None)

    def view(self):
        """What the user sees: the caption, and each control's id, tick, text and whether it is greyed."""
        return self.caption, [(c.controlId, c.checked, c.text, c.enabled) for c in self.controls]


class DialogMessage:
    """One message given to the dialog procedure, and its result."""

    def __init__(self, message, wParam, lParam, result):
        self.message, self.wParam, self.lParam, self.result = message, wParam, lParam, result

    def describe(self):
        name = MESSAGE_NAMES.get(self.message, '0x%04x' % self.message)
        if self.message == WM_COMMAND:
            return '%s id %d code 0x%x' % (name, self.wParam & 0xFFFF, self.wParam >> 16)
        return name


class Platform:
    def __init__(self, machine, image):
        self.machine = machine
        self.image = image
        self.calls = []
        self.windows = {}      # window handle -> answer(message, wParam, lParam)
        self.timers = {}       # (window, id) -> (interval, procedure)
        self.profiles = {}     # file text, lower case -> {section -> {key -> text}}, names lower case
        self.dialog = None
        self.dialogScript = None
        self.dialogMessages = []
        self.dialogOwner = None
        self.timersWhileOpen = None  # the timers as the dialog opened
        self.dialogViews = []        # what the user saw: after opening, then after each action
        self.standIns = self._standIns()

    # --- profile files ------------------------------------------------------

    def setProfileText(self, file, section, key, text):
        self.profiles.setdefault(file.lower(), {}).setdefault(section.lower(), {})[key.lower()] = text

    def profileText(self, file, section, key):
        return self.profiles.get(file.lower(), {}).get(section.lower(), {}).get(key.lower())

    def _text(self, address):
        return self.machine.readText(address)

    # --- the stand-ins ------------------------------------------------------

    def _standIns(self):
        table = [
            ('user32.dll', 'SendMessageA', 4, self.sendMessageA),
            ('user32.dll', 'SetTimer', 4, self.setTimer),
            ('user32.dll', 'KillTimer', 2, self.killTimer),
            ('user32.dll', 'DialogBoxParamA', 5, self.dialogBoxParamA),
            ('user32.dll', 'EndDialog', 2, self.endDialog),
            ('user32.dll', 'SetWindowTextA', 2, self.setWindowTextA),
            ('user32.dll', 'CheckDlgButton', 3, self.checkDlgButton),
            ('user32.dll', 'IsDlgButtonChecked', 2, self.isDlgButtonChecked),
            ('user32.dll', 'SetDlgItemInt', 4, self.setDlgItemInt),
            ('user32.dll', 'GetDlgItemInt', 4, self.getDlgItemInt),
            ('user32.dll', 'GetDlgItem', 2, self.getDlgItem),
            ('user32.dll', 'EnableWindow', 2, self.enableWindow),
            ('kernel32.dll', 'GetPrivateProfileIntA', 4, self.getPrivateProfileIntA),
            ('kernel32.dll', 'WritePrivateProfileStringA', 4, self.writePrivateProfileStringA),
        ]
        standIns = {(dll, name): StandIn(name, count, STDCALL, function) for dll, name, count, function in table}
        # The one variadic function: the caller pops its arguments.
        standIns[('user32.dll', 'wsprintfA')] = StandIn('wsprintfA', 2, CDECL, self.wsprintfA, variadic=True)
        return standIns

    def sendMessageA(self, window, message, wParam, lParam):
        self.calls.append(('SendMessageA', window, message, wParam, lParam))
        answer = self.windows.get(window)
        return answer(message, wParam, lParam) if answer else 0

    def setTimer(self, window, timerId, interval, procedure):
        self.calls.append(('SetTimer', window, timerId, interval, procedure))
        if window not in self.windows:
            return 0  # not a window of this process: no timer
        # A timer of the same window and id is replaced.
        self.timers[(window, timerId)] = (interval, procedure)
        return timerId or 1

    def killTimer(self, window, timerId):
        self.calls.append(('KillTimer', window, timerId))
        return 1 if self.timers.pop((window, timerId), None) else 0

    def getPrivateProfileIntA(self, section, key, default, file):
        sectionText, keyText, fileText = self._text(section), self._text(key), self._text(file)
        self.calls.append(('GetPrivateProfileIntA', sectionText, keyText, signed32(default), file))
        if None in (sectionText, keyText, fileText):
            return default
        text = self.profileText(fileText, sectionText, keyText)
        if text is None:
            return default
        # The integer the text starts with; a negative one reads as zero.
        value = _leadingNumber(text, allowSign=True)
        return 0 if value is None or value < 0 else value & 0xFFFFFFFF

    def writePrivateProfileStringA(self, section, key, text, file):
        sectionText, keyText, valueText, fileText = map(self._text, (section, key, text, file))
        self.calls.append(('WritePrivateProfileStringA', sectionText, keyText, valueText, file))
        if sectionText is None or fileText is None:
            return 0
        sections = self.profiles.setdefault(fileText.lower(), {})
        if keyText is None:
            sections.pop(sectionText.lower(), None)  # a null key deletes the section
        elif valueText is None:
            sections.get(sectionText.lower(), {}).pop(keyText.lower(), None)  # a null value deletes the key
        else:
            self.setProfileText(fileText, sectionText, keyText, valueText)
        return 1

    def wsprintfA(self, buffer, formatAddress, argumentAt):
        formatText = self._text(formatAddress)
        output, used = formatLikeWsprintf(formatText, lambda k: argumentAt(2 + k), self._text)
        output = output[:WSPRINTF_LIMIT - 1]
        self.calls.append(('wsprintfA', formatText, tuple(argumentAt(2 + k) for k in range(used))))
        self.machine.placeText(output, buffer)
        return len(output)

    # --- dialogs --------------------------------------------------------------

    def dialogBoxParamA(self, instance, template, owner, procedure, parameter):
        templateKey = template if template < 0x10000 else self._text(template)
        self.calls.append(('DialogBoxParamA', instance, templateKey, owner, procedure, parameter))
        if owner and owner not in self.windows:
            return 0  # an invalid owner
        resource = self.image.resources.get((RT_DIALOG, templateKey)) if instance == self.image.base else None
        if not resource:
            return 0xFFFFFFFF  # no such template in that module
        try:
            template = readDialogTemplate(resource.get(1033) or next(iter(resource.values())))
        except TemplateError as error:
            raise EmulationError('dialog template %r: %s' % (templateKey, error)) from None
        if self.dialogScript is None:
            raise EmulationError('a dialog opened, but the check gave no script of user actions')
        self.dialog = dialog = Dialog(template, procedure)
        self.dialogOwner, self.timersWhileOpen = owner, dict(self.timers)
        if template.style & DS_SETFONT:
            self._toDialog(WM_SETFONT, FONT_HANDLE, 0)
        firstTabStop = next((c.handle for c in dialog.controls if c.style & WS_TABSTOP), 0)
        self._toDialog(WM_INITDIALOG, firstTabStop, parameter)
        for action in self.dialogScript:
            if dialog.ended:
                break
            self.dialogViews.append(dialog.view())
            self._perform(action)
        if not dialog.ended:
            raise EmulationError('the dialog is still open after the last scripted action %r: '
                                 'nothing ended it' % (self.dialogScript[-1:],))
        self._toDialog(WM_DESTROY, 0, 0)
        self.dialog = None
        return dialog.result

    def _toDialog(self, message, wParam, lParam):
        result = self.machine.call(self.dialog.procedure, [DIALOG_HANDLE, message, wParam, lParam], STDCALL,
                                   'dialog procedure (%s)' % MESSAGE_NAMES.get(message, hex(message)))
        self.dialogMessages.append(DialogMessage(message, wParam, lParam, result))
        return result

    def _perform(self, action):
        """One user action, as the dialog manager reports it to the procedure."""
        kind = action[0]
        if kind == 'click':  # the mouse on a control
            control = self.dialog.control(action[1])
            if control is None or not control.enabled:
                return  # nothing there, or greyed: the click does nothing
            if control.className == 'button' and control.style & BS_TYPEMASK in (BS_AUTOCHECKBOX, BS_AUTO3STATE):
                control.checked = BST_UNCHECKED if control.checked else BST_CHECKED
            self._toDialog(WM_COMMAND, makeWParam(control.controlId, BN_CLICKED), control.handle)
        elif kind == 'type':  # the user replaces a field's text
            control = self.dialog.control(action[1])
            if control is None or not control.enabled:
                return
            control.text = action[2]
            self._toDialog(WM_COMMAND, makeWParam(control.controlId, EN_CHANGE), control.handle)
        elif kind == 'enter':  # the default button
            ok = self.dialog.control(IDOK)
            self._toDialog(WM_COMMAND, makeWParam(IDOK, BN_CLICKED), ok.handle if ok else 0)
        elif kind == 'escape':
            cancel = self.dialog.control(IDCANCEL)
            self._toDialog(WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED), cancel.handle if cancel else 0)
        elif kind == 'close':  # the close box; left unhandled it becomes IDCANCEL
            if self._toDialog(WM_CLOSE, 0, 0) == 0 and not self.dialog.ended:
                self._perform(('escape',))
        elif kind == 'command':  # a raw command: id, notification code
            self._toDialog(WM_COMMAND, makeWParam(action[1], action[2]), 0)
        else:
            raise EmulationError('unknown dialog action %r' % (action,))

    def _dialogControl(self, dialog, controlId):
        if self.dialog is None or dialog != DIALOG_HANDLE:
            return None
        return self.dialog.control(controlId)

    def endDialog(self, dialog, result):
        self.calls.append(('EndDialog', dialog, result))
        if self.dialog is None or dialog != DIALOG_HANDLE:
            return 0
        self.dialog.ended, self.dialog.result = True, result
        return 1

    def setWindowTextA(self, window, text):
        textBytes = self._text(text)
        self.calls.append(('SetWindowTextA', window, textBytes))
        if self.dialog is not None and window == DIALOG_HANDLE:
            self.dialog.caption = textBytes
            return 1
        control = self.dialog.byHandle(window) if self.dialog else None
        if control is None:
            return 0
        control.text = textBytes or b''
        return 1

    def checkDlgButton(self, dialog, controlId, check):
        self.calls.append(('CheckDlgButton', dialog, controlId, check))
        control = self._dialogControl(dialog, controlId)
        if control is None or control.className != 'button':
            return 0
        control.checked = check
        return 1

    def isDlgButtonChecked(self, dialog, controlId):
        self.calls.append(('IsDlgButtonChecked', dialog, controlId))
        control = self._dialogControl(dialog, controlId)
        return control.checked if control is not None and control.className == 'button' else 0

    def setDlgItemInt(self, dialog, controlId, value, isSigned):
        self.calls.append(('SetDlgItemInt', dialog, controlId, value, isSigned))
        control = self._dialogControl(dialog, controlId)
        if control is None:
            return 0
        control.text = str(signed32(value) if isSigned else value).encode()
        return 1

    def getDlgItemInt(self, dialog, controlId, translated, isSigned):
        self.calls.append(('GetDlgItemInt', dialog, controlId, translated, isSigned))
        control = self._dialogControl(dialog, controlId)
        value = _leadingNumber(control.text, allowSign=bool(isSigned)) if control is not None else None
        # Out of the type's range counts as failure, and failure gives 0.
        low, high = (-2 ** 31, 2 ** 31 - 1) if isSigned else (0, 2 ** 32 - 1)
        ok = value is not None and low <= value <= high
        if translated:
            self.machine.writeU32(translated, 1 if ok else 0)
        return value & 0xFFFFFFFF if ok else 0

    def getDlgItem(self, dialog, controlId):
        self.calls.append(('GetDlgItem', dialog, controlId))
        control = self._dialogControl(dialog, controlId)
        return control.handle if control is not None else 0

    def enableWindow(self, window, enable):
        # Any nonzero value enables, so the record keeps only the truth value.
        self.calls.append(('EnableWindow', window, bool(enable)))
        control = self.dialog.byHandle(window) if self.dialog else None
        if control is None:
            return 0
        wasDisabled = not control.enabled
        control.enabled = bool(enable)
        return 1 if wasDisabled else 0


def formatLikeWsprintf(formatText, argument, readText):
    """Formats as wsprintfA does its plain conversions: %d %i %u %x %X %c %s
    and %%, each with an optional l. Returns the bytes and how many arguments
    were used. Flags, widths and anything else are an error, not a guess."""
    out = bytearray()
    used = 0
    k = 0
    while k < len(formatText):
        c = formatText[k:k + 1]
        k += 1
        if c != b'%':
            out += c
            continue
        if formatText[k:k + 1] == b'l':
            k += 1
        kind = formatText[k:k + 1]
        k += 1
        if kind == b'%':
            out += b'%'
            continue
        if kind not in (b'd', b'i', b'u', b'x', b'X', b'c', b's'):
            raise EmulationError('wsprintfA stand-in: unsupported conversion in %r' % formatText)
        value = argument(used)
        used += 1
        if kind in (b'd', b'i'):
            out += b'%d' % signed32(value)
        elif kind == b'u':
            out += b'%d' % value
        elif kind == b'x':
            out += b'%x' % value
        elif kind == b'X':
            out += b'%X' % value
        elif kind == b'c':
            out.append(value & 0xFF)
        else:
            out += readText(value) or b'(null)'
    return bytes(out), used
