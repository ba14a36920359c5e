#!/usr/bin/env python3
"""Checks the shipped 32-bit plug-in file: a relocatable PE32 DLL with no TLS,
one undecorated export by name and ordinal 1, imports from user32 and kernel32
only (no C or C++ runtime), its resources, and a byte-identical rebuild."""
import os
import subprocess
import sys
import tempfile

import pefile

EXPECTED_IMPORTS = {
    'USER32.dll': {'SendMessageA', 'SetTimer', 'KillTimer', 'DialogBoxParamA', 'EndDialog',
                   'SetWindowTextA', 'CheckDlgButton', 'IsDlgButtonChecked', 'SetDlgItemInt',
                   'GetDlgItemInt', 'GetDlgItem', 'EnableWindow', 'wsprintfA'},
    'KERNEL32.dll': {'GetPrivateProfileIntA', 'WritePrivateProfileStringA'},
}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def check_file(path):
    pe = pefile.PE(path)
    check(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_I386'], 'not a 32-bit x86 image')
    check(pe.OPTIONAL_HEADER.Magic == 0x10b, 'not a PE32 optional header')
    check(pe.is_dll(), 'not a DLL')
    check(pe.OPTIONAL_HEADER.AddressOfEntryPoint != 0, 'no entry procedure')

    relocs = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY['IMAGE_DIRECTORY_ENTRY_BASERELOC']]
    check(relocs.Size > 0 and hasattr(pe, 'DIRECTORY_ENTRY_BASERELOC'), 'no base relocations: cannot be moved')
    check(not (pe.FILE_HEADER.Characteristics & 0x0001), 'relocations stripped')
    tls = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY['IMAGE_DIRECTORY_ENTRY_TLS']]
    check(tls.VirtualAddress == 0 and tls.Size == 0, 'has a TLS directory')

    exports = pe.DIRECTORY_ENTRY_EXPORT
    check(pe.get_string_at_rva(exports.struct.Name) == b'gen_zanq.dll', 'export directory does not name gen_zanq.dll')
    symbols = [(s.name, s.ordinal) for s in exports.symbols]
    check(symbols == [(b'winampGetGeneralPurposePlugin', 1)], f'exports are {symbols}')

    imports = {entry.dll.decode(): {imp.name.decode() for imp in entry.imports if imp.name}
               for entry in pe.DIRECTORY_ENTRY_IMPORT}
    check(imports == EXPECTED_IMPORTS, f'imports are {imports}')
    check(sum(len(v) for v in imports.values()) == 15, 'not fifteen imported functions')

    resources = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        resources[kind.id] = {entry.id for entry in kind.directory.entries}
    check(101 in resources.get(pefile.RESOURCE_TYPE['RT_DIALOG'], set()), 'no dialog template 101')
    check(104 in resources.get(pefile.RESOURCE_TYPE['RT_GROUP_ICON'], set()), 'no icon group 104')

    imported = sorted(f'{dll}!{name}' for dll, names in imports.items() for name in names)
    print(f'  {path}: {os.path.getsize(path)} bytes, {len(pe.sections)} sections, '
          f'{len(imported)} imports: {", ".join(imported)}')


def check_rebuild(path):
    """A clean build elsewhere must give the very same bytes."""
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    with tempfile.TemporaryDirectory(prefix='zanq-rebuild-') as tree:
        subprocess.run(['cmake', '-S', root, '-B', tree, '-G', 'Ninja',
                        f'--toolchain={root}/cmake/mingw-i686.cmake', '-DCMAKE_BUILD_TYPE=MinSizeRel'],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(['cmake', '--build', tree, '--target', 'gen_zanq'], check=True, stdout=subprocess.DEVNULL)
        with open(path, 'rb') as a, open(os.path.join(tree, 'gen_zanq.dll'), 'rb') as b:
            check(a.read() == b.read(), 'a clean rebuild in another folder gives different bytes')
    print('  clean rebuild in another folder: identical bytes')


def main():
    path = sys.argv[1]
    check_file(path)
    check_rebuild(path)
    if failures:
        for message in failures:
            print(f'FAIL: {message}')
        sys.exit(1)
    print('release file: all checks passed')


if __name__ == '__main__':
    main()
