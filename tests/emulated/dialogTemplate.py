"""Reads a dialog template resource, the classic or the extended layout, into
every field it holds: the dialog's style, place, size, menu, class, caption
and font, and each control's style, place, size, id, class, text and creation
data, in template order. The release check compares these fields with what
the plug-in must carry; the emulated platform creates the controls from them.
It needs nothing but the standard library."""

import struct

# Predefined window classes as a template stores them: 0xFFFF and an atom.
CLASS_ATOMS = {0x80: 'button', 0x81: 'edit', 0x82: 'static', 0x83: 'listbox', 0x84: 'scrollbar', 0x85: 'combobox'}
DS_SETFONT, DS_SHELLFONT = 0x40, 0x48


class TemplateError(ValueError):
    pass


class Control:
    """className is lower case (class names ignore case); text is '' when the
    template has none, or 'resource N' when it names a resource by ordinal."""

    def __init__(self):
        self.helpId = self.style = self.extendedStyle = 0
        self.x = self.y = self.width = self.height = 0
        self.controlId, self.className, self.text, self.creationData = 0, '', '', b''


class DialogTemplate:
    """menu and windowClass: None, an ordinal, or a text; font None without DS_SETFONT."""

    def __init__(self):
        self.extended = False
        self.style = self.extendedStyle = 0
        self.x = self.y = self.width = self.height = 0
        self.menu = self.windowClass = None
        self.caption = ''
        self.fontSize, self.font = None, None
        self.controls = []


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
            if end + 2 > len(self.data):
                raise TemplateError('a text runs past the end of the template')
            end += 2
        text = self.data[self.at:end].decode('utf-16-le')
        self.at = end + 2
        return text

    def nameOrOrdinal(self):
        """A name field: nothing (None), 0xFFFF and an ordinal (int), or text."""
        first = struct.unpack_from('<H', self.data, self.at)[0]
        if first == 0:
            self.at += 2
            return None
        if first == 0xFFFF:
            self.at += 2
            return self.take('H')
        return self.wideText()


def _readControl(r, extended):
    r.align()
    c = Control()
    if extended:
        c.helpId, c.extendedStyle, c.style = r.take('III')
    else:
        c.style, c.extendedStyle = r.take('II')
    c.x, c.y, c.width, c.height = r.take('hhhh')
    c.controlId = r.take('I' if extended else 'H')
    kind = r.nameOrOrdinal()
    if kind is None:
        raise TemplateError('control %d names no class' % c.controlId)
    c.className = CLASS_ATOMS.get(kind, 'atom 0x%x' % kind) if isinstance(kind, int) else kind.lower()
    text = r.nameOrOrdinal()
    c.text = '' if text is None else 'resource %d' % text if isinstance(text, int) else text
    size = r.take('H')
    c.creationData = r.data[r.at:r.at + size]
    if len(c.creationData) != size:
        raise TemplateError('control %d: creation data runs past the end' % c.controlId)
    r.at += size
    return c


def readDialogTemplate(data):
    """The template in the resource's bytes. Raises TemplateError when it is
    cut short, malformed, or followed by anything but zero padding."""
    try:
        r = _Reader(data)
        t = DialogTemplate()
        t.extended = struct.unpack_from('<HH', data, 0) == (1, 0xFFFF)
        if t.extended:
            _, _, _, t.extendedStyle, t.style, count = r.take('HHIIIH')
        else:
            t.style, t.extendedStyle, count = r.take('IIH')
        t.x, t.y, t.width, t.height = r.take('hhhh')
        t.menu = r.nameOrOrdinal()
        t.windowClass = r.nameOrOrdinal()
        t.caption = r.wideText()
        if t.style & DS_SETFONT:
            t.fontSize = r.take('HHBB')[0] if t.extended else r.take('H')
            t.font = r.wideText()
        t.controls = [_readControl(r, t.extended) for _ in range(count)]
    except (struct.error, UnicodeDecodeError) as error:
        raise TemplateError('cut short or malformed: %s' % error) from None
    if any(data[r.at:]):
        raise TemplateError('%d unexpected bytes after the last control' % (len(data) - r.at))
    return t
