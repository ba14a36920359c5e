"""Reads a dialog template resource (the classic or the extended layout) into
the dialog's style and its controls, so that the emulated platform creates
the controls that the module's own template names and no others."""

import struct

from .machine import EmulationError

CLASS_ATOMS = {0x80: 'button', 0x81: 'edit', 0x82: 'static', 0x83: 'listbox', 0x84: 'scrollbar', 0x85: 'combobox'}
DS_SETFONT, DS_SHELLFONT = 0x40, 0x48


class Control:
    def __init__(self, controlId, className, text, style):
        self.controlId, self.className, self.text, self.style = controlId, className, text, style


class DialogTemplate:
    def __init__(self, style, controls):
        self.style, self.controls = style, controls


class _Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from('<' + fmt, self.data, self.at)
        self.at += struct.calcsize('<' + fmt)
        return values if len(values) > 1 else values[0]

    def align(self):
        self.at = (self.at + 3) & ~3

    def wideText(self):
        end = self.at
        while self.data[end:end + 2] != b'\0\0':
            end += 2
        text = self.data[self.at:end].decode('utf-16-le')
        self.at = end + 2
        return text

    def nameOrOrdinal(self):
        """A resource name field: nothing, 0xFFFF and an ordinal, or text."""
        first = struct.unpack_from('<H', self.data, self.at)[0]
        if first == 0:
            self.at += 2
            return None
        if first == 0xFFFF:
            self.at += 2
            return self.take('H')
        return self.wideText()


def readDialogTemplate(data):
    try:
        r = _Reader(data)
        version, signature = struct.unpack_from('<HH', data, 0)
        extended = version == 1 and signature == 0xFFFF
        if extended:
            _, _, _, style, count = r.take('HHIIIH')
        else:
            style, _, count = r.take('IIH')
        r.take('hhhh')
        r.nameOrOrdinal()  # menu
        r.nameOrOrdinal()  # class
        r.wideText()       # caption
        if style & DS_SETFONT or (extended and style & DS_SHELLFONT):
            r.take('HHBB' if extended else 'H')
            r.wideText()
        controls = []
        for _ in range(count):
            r.align()
            if extended:
                _, _, itemStyle = r.take('III')
                r.take('hhhh')
                controlId = r.take('I')
            else:
                itemStyle, _ = r.take('II')
                r.take('hhhh')
                controlId = r.take('H')
            kind = r.nameOrOrdinal()
            text = r.nameOrOrdinal()
            creationDataSize = r.take('H')
            r.at += creationDataSize
            className = CLASS_ATOMS.get(kind, 'atom %r' % kind) if isinstance(kind, int) else kind.lower()
            controls.append(Control(controlId, className, text if isinstance(text, str) else '', itemStyle))
        return DialogTemplate(style, controls)
    except (struct.error, UnicodeDecodeError) as error:
        raise EmulationError('dialog template cut short or malformed: %s' % error) from None
