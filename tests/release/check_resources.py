#!/usr/bin/python3
"""Reads the resources of the built plug-in file itself and compares the
configuration dialog's template 101 field by field, and the icon group 104's
images, with what the plug-in must carry. Exits non-zero naming every
mismatch.

    check_resources.py build/release/gen_zanq.dll
"""
import os
import struct
import sys

import pefile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from emulated.dialogTemplate import TemplateError, readDialogTemplate  # noqa: E402  (after the path)

RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14
US_ENGLISH = 1033

EXPECTED_DIALOG = {
    'layout': 'plain',
    'style': 0x80C808C0,  # popup, caption, system menu, centred, modal frame, font
    'extended style': 0,
    'x': 0, 'y': 0, 'width': 125, 'height': 70,
    'menu': None,
    'class': None,
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


def template_fields(template):
    """The template's fields under the names the expectations use."""
    dialog = {'layout': 'extended' if template.extended else 'plain', 'style': template.style,
              'extended style': template.extendedStyle, 'x': template.x, 'y': template.y,
              'width': template.width, 'height': template.height, 'menu': template.menu,
              'class': template.windowClass, 'caption': template.caption,
              'font size': template.fontSize, 'font': template.font}
    controls = [{'id': c.controlId, 'class': c.className, 'text': c.text, 'x': c.x, 'y': c.y,
                 'width': c.width, 'height': c.height, 'style': c.style, 'extended style': c.extendedStyle,
                 'creation data': c.creationData} for c in template.controls]
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
        dialog, controls = template_fields(readDialogTemplate(languages[US_ENGLISH]))
    except TemplateError as error:
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
