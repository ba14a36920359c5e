#!/usr/bin/python3
"""Reads the resources of the built plug-in file itself and compares the
configuration dialog's template 101 field by field, and the icon group 104's
images, with what the plug-in must carry. Exits non-zero naming every
mismatch.

    check_resources.py build/release/gen_zanq.dll
"""
import struct
import sys

import pefile

RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14
US_ENGLISH = 1033

# Predefined window classes as a template stores them: 0xFFFF and an atom.
CLASS_ATOMS = {0x80: 'button', 0x81: 'edit', 0x82: 'static'}

EXPECTED_DIALOG = {
    'style': 0x80C808C0,  # popup, caption, system menu, centred, modal frame, font
    'extended style': 0,
    'x': 0, 'y': 0, 'width': 125, 'height': 70,
    'menu': '',
    'class': '',
    'caption': '',
    'font size': 8,
    'font': 'MS Sans Serif',
}

# In template order, which is the tab order.
EXPECTED_CONTROLS = [
    {'id': 1, 'class': 'button', 'text': 'OK', 'x': 35, 'y': 50, 'width': 49, 'height': 14,
     'style': 0x50010001, 'extended style': 0, 'creation data': b''},
    {'id': 1000, 'class': 'button', 'text': 'Check duplicates every:', 'x': 10, 'y': 10,
     'width': 111, 'height': 8, 'style': 0x50010003, 'extended style': 0, 'creation data': b''},
    {'id': 1007, 'class': 'edit', 'text': '', 'x': 10, 'y': 25, 'width': 50, 'height': 12,
     'style': 0x50812080, 'extended style': 0, 'creation data': b''},
    {'id': 1008, 'class': 'static', 'text': 'seconds', 'x': 65, 'y': 25, 'width': 55, 'height': 10,
     'style': 0x50020000, 'extended style': 0, 'creation data': b''},
]

EXPECTED_ICONS = [(32, 32), (16, 16)]  # width, height; each of 16 colours, 4 bits a pixel


class Reader:
    """Walks a template's words, strings and alignment."""

    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from('<' + fmt, self.data, self.at)
        self.at += struct.calcsize('<' + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b'\0\0':
            end += 2
        value = self.data[self.at:end].decode('utf-16-le')
        self.at = end + 2
        return value

    def name_or_ordinal(self):
        """A template field that is empty (0), an ordinal (0xFFFF, n) or a text."""
        first = struct.unpack_from('<H', self.data, self.at)[0]
        if first == 0:
            self.at += 2
            return ''
        if first == 0xFFFF:
            self.at += 2
            return ('ordinal', self.take('H'))
        return self.text()

    def align(self, size):
        self.at += -self.at % size


def parse_dialog(data):
    r = Reader(data)
    if r.take('HH') == (1, 0xFFFF):
        raise ValueError('template 101 is an extended (DIALOGEX) template, not a plain one')
    r.at = 0
    dialog = {}
    dialog['style'], dialog['extended style'], count = r.take('IIH')
    dialog['x'], dialog['y'], dialog['width'], dialog['height'] = r.take('hhhh')
    dialog['menu'] = r.name_or_ordinal()
    dialog['class'] = r.name_or_ordinal()
    dialog['caption'] = r.text()
    if dialog['style'] & 0x40:  # DS_SETFONT: a point size and a face name follow
        dialog['font size'] = r.take('H')
        dialog['font'] = r.text()
    controls = []
    for _ in range(count):
        r.align(4)
        control = {}
        control['style'], control['extended style'] = r.take('II')
        control['x'], control['y'], control['width'], control['height'] = r.take('hhhh')
        control['id'] = r.take('H')
        kind = r.name_or_ordinal()
        if isinstance(kind, tuple):
            kind = CLASS_ATOMS.get(kind[1], 'atom 0x%x' % kind[1])
        control['class'] = kind.lower()  # window class names ignore case
        text = r.name_or_ordinal()
        control['text'] = text if isinstance(text, str) else 'resource %d' % text[1]
        size = r.take('H')
        control['creation data'] = data[r.at:r.at + size]
        r.at += size
        controls.append(control)
    if r.at < len(data) and any(data[r.at:]):
        raise ValueError('%d unexpected bytes after the last control' % (len(data) - r.at))
    return dialog, controls


def show(value):
    return '0x%08X' % value if isinstance(value, int) and value > 0xFFFF else repr(value)


def compare(where, actual, expected, problems):
    for field, want in expected.items():
        got = actual.get(field, '(missing)')
        if got != want:
            problems.append('%s: %s is %s, expected %s' % (where, field, show(got), show(want)))


def resources(pe):
    """{(type, name): {language: bytes}} for every resource with a numeric name."""
    found = {}
    root = getattr(pe, 'DIRECTORY_ENTRY_RESOURCE', None)
    for kind in root.entries if root else []:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                entry = language.data.struct
                key = (kind.id, name.id if name.id is not None else str(name.name))
                found.setdefault(key, {})[language.id] = pe.get_data(entry.OffsetToData, entry.Size)
    return found


def check_dialog(found, problems):
    dialogs = sorted(str(name) for kind, name in found if kind == RT_DIALOG)
    if dialogs != ['101']:
        problems.append('dialog templates are %s, expected only 101' % dialogs)
    languages = found.get((RT_DIALOG, 101), {})
    if list(languages) != [US_ENGLISH]:
        problems.append('template 101 languages are %s, expected only %d' % (list(languages), US_ENGLISH))
    if US_ENGLISH not in languages:
        return
    try:
        dialog, controls = parse_dialog(languages[US_ENGLISH])
    except (ValueError, struct.error, UnicodeDecodeError) as error:
        problems.append('template 101 cannot be read: %s' % error)
        return
    compare('template 101', dialog, EXPECTED_DIALOG, problems)
    if len(controls) != len(EXPECTED_CONTROLS):
        problems.append('template 101 has %d controls, expected %d'
                        % (len(controls), len(EXPECTED_CONTROLS)))
    for order, (control, want) in enumerate(zip(controls, EXPECTED_CONTROLS), 1):
        compare('template 101 control %d (id %d)' % (order, want['id']), control, want, problems)


def check_icons(found, problems):
    groups = sorted(str(name) for kind, name in found if kind == RT_GROUP_ICON)
    if groups != ['104']:
        problems.append('icon groups are %s, expected only 104' % groups)
    languages = found.get((RT_GROUP_ICON, 104), {})
    if not languages:
        return
    group = next(iter(languages.values()))
    reserved, kind, count = struct.unpack_from('<HHH', group)
    if (reserved, kind) != (0, 1):
        problems.append('icon group 104 header is %d, %d, expected 0, 1' % (reserved, kind))
    sizes = []
    for k in range(count):
        width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from(
            '<BBBBHHIH', group, 6 + 14 * k)
        width, height = width or 256, height or 256
        sizes.append((width, height))
        where = 'icon group 104 image %d (%dx%d)' % (k + 1, width, height)
        if (colours, planes, bits) != (16, 1, 4):
            problems.append('%s: %d colours, %d planes, %d bits a pixel; expected 16, 1, 4'
                            % (where, colours, planes, bits))
        images = found.get((RT_ICON, icon_id), {})
        if not images:
            problems.append('%s: icon %d is missing' % (where, icon_id))
            continue
        image = next(iter(images.values()))
        if len(image) != size:
            problems.append('%s: icon %d holds %d bytes, the group says %d' % (where, icon_id, len(image), size))
        header_size, bmp_width, bmp_height, bmp_planes, bmp_bits = struct.unpack_from('<IiiHH', image)
        # An icon's bitmap is twice as tall: the colour rows, then the mask rows.
        if (header_size, bmp_width, bmp_height, bmp_planes, bmp_bits) != (40, width, 2 * height, 1, 4):
            problems.append('%s: bitmap header says %dx%d/2, %d planes, %d bits (header %d bytes)'
                            % (where, bmp_width, bmp_height, bmp_planes, bmp_bits, header_size))
    if sorted(sizes) != sorted(EXPECTED_ICONS):
        problems.append('icon group 104 holds images of %s, expected %s' % (sizes, EXPECTED_ICONS))


def main(path):
    try:
        pe = pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        print('check_resources: cannot read %s: %s' % (path, error))
        return 1
    problems = []
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_I386']:
        problems.append('not a 32-bit x86 file (machine 0x%x)' % pe.FILE_HEADER.Machine)
    found = resources(pe)
    check_dialog(found, problems)
    check_icons(found, problems)
    for problem in problems:
        print('check_resources: %s: %s' % (path, problem))
    if problems:
        return 1
    print('check_resources: template 101 and icon group 104 are as expected')
    return 0


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit('usage: check_resources.py gen_zanq.dll')
    sys.exit(main(sys.argv[1]))
