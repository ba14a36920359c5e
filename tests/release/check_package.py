#!/usr/bin/python3
"""Checks the release package that scripts/package.sh writes into build/package
against the release DLL given as argv[1]: the zip's members, their order, times
and sums, the very same DLL bytes, a byte-identical zip from inputs with other
times and line ends, and the installer: a 32-bit NSIS file that 7z opens and
that carries exactly the DLL and its uninstaller, the DLL byte for byte."""
import hashlib
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import zipfile

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGE = os.path.join(ROOT, 'build', 'package')
MEMBERS = ['gen_zanq.dll', 'README.txt', 'LICENSE.txt', 'SHA256SUMS.txt']
FIXED_TIME = (2026, 1, 1, 0, 0, 0)

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def check_sums(text, files, what):
    """`text` in sha256sum's format must list exactly `files` (name -> bytes)."""
    listed = {}
    for line in text.splitlines():
        match = re.fullmatch(r'([0-9a-f]{64}) [ *](.+)', line)
        if check(match, f'{what}: not a sum line: {line!r}'):
            listed[match.group(2)] = match.group(1)
    check(sorted(listed) == sorted(files), f'{what} lists {sorted(listed)}, not {sorted(files)}')
    for name, data in files.items():
        check(listed.get(name) == sha256(data), f'{what}: wrong sum for {name}')


def check_zip(zipPath, dll, version):
    with zipfile.ZipFile(zipPath) as archive:
        infos = archive.infolist()
        check(archive.testzip() is None, 'zip: a member fails its CRC')
        check([i.filename for i in infos] == MEMBERS, f'zip holds {[i.filename for i in infos]}, not {MEMBERS}')
        for info in infos:
            check(info.date_time == FIXED_TIME, f'zip: {info.filename} is stamped {info.date_time}')
            check(info.create_system == 0 and info.external_attr == 0x20,
                  f'zip: {info.filename} carries the packing machine\'s file attributes')
        data = {i.filename: archive.read(i) for i in infos}

    check(data.get('gen_zanq.dll') == dll, 'zip: gen_zanq.dll is not the release DLL byte for byte')
    check_sums(data.get('SHA256SUMS.txt', b'').decode('ascii', 'replace'),
               {name: data.get(name, b'') for name in MEMBERS[:3]}, 'zip SHA256SUMS.txt')

    readme = data.get('README.txt', b'')
    licence = data.get('LICENSE.txt', b'')
    for name, text in (('README.txt', readme), ('LICENSE.txt', licence)):
        check(b'\n' not in text.replace(b'\r\n', b''), f'zip: {name} has line ends other than CR LF')
        check(all(b < 0x80 for b in text), f'zip: {name} is not plain ASCII')
    # The names a user meets must be the ones of this very build.
    for phrase in (f'Kestwyn {version}', f'"Kestwyn v{version}"', f'gen_zanq-{version}-setup.exe'):
        check(phrase.encode() in readme, f'zip: README.txt does not say {phrase}')
    for heading in ('What it removes and what it leaves', 'Install', 'Settings',
                    'What a sweep costs on a large playlist', 'Uninstall'):
        check(f'\r\n{heading}\r\n---'.encode() in readme, f'zip: README.txt has no "{heading}" section')
    check(licence.startswith(b'MIT License\r\n'), 'zip: LICENSE.txt is not the MIT licence')
    check(b'Copyright (c) 2026 The Kestwyn developers\r\n' in licence, 'zip: LICENSE.txt lacks the copyright line')
    print(f'  {os.path.basename(zipPath)}: ' +
          ', '.join(f'{i.filename} {i.file_size} bytes' for i in infos))


def check_zip_reproducible(zipPath, dllPath):
    """The same inputs with other times, modes and line ends give the same zip."""
    with tempfile.TemporaryDirectory(prefix='zanq-zip-') as work:
        inputs = []
        for k, (source, lineEnd) in enumerate(((dllPath, None),
                                               (os.path.join(ROOT, 'packaging', 'README.txt'), b'\r\n'),
                                               (os.path.join(ROOT, 'packaging', 'LICENSE.txt'), None))):
            copy = os.path.join(work, f'input{k}')
            shutil.copyfile(source, copy)
            if lineEnd:
                with open(copy, 'rb') as f:
                    text = f.read().replace(b'\r\n', b'\n')
                with open(copy, 'wb') as f:
                    f.write(text.replace(b'\n', lineEnd))
            os.chmod(copy, stat.S_IRUSR | stat.S_IWUSR | stat.S_IXUSR)
            os.utime(copy, (946684800 + k, 946684800 + k))
            inputs.append(copy)
        again = os.path.join(work, 'again.zip')
        subprocess.run(['/usr/bin/python3', os.path.join(ROOT, 'packaging', 'makeZip.py'), again] + inputs,
                       check=True)
        with open(zipPath, 'rb') as a, open(again, 'rb') as b:
            check(a.read() == b.read(), 'zip: the same inputs with other times, modes and line ends give other bytes')
    print('  zip rebuilt from inputs with other times, modes and line ends: identical bytes')


def sevenZipEntries(setupPath):
    listing = subprocess.run(['7z', 'l', '-slt', setupPath], check=True, capture_output=True, text=True).stdout
    check('Type = Nsis' in listing, 'installer: 7z does not read it as an NSIS installer')
    entries = {}
    # The blocks after the dashed line are the members; the one before is the archive.
    for block in listing.partition('\n----------\n')[2].split('\n\n'):
        fields = dict(line.split(' = ', 1) for line in block.splitlines() if ' = ' in line)
        if 'Path' in fields:
            entries[fields['Path']] = fields
    return entries


def check_installer(setupPath, dll, version):
    pe = pefile.PE(setupPath)
    check(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE['IMAGE_FILE_MACHINE_I386'], 'installer: not 32-bit x86')
    check(pe.OPTIONAL_HEADER.Magic == 0x10b, 'installer: not PE32')
    strings = {}
    for info in getattr(pe, 'FileInfo', []):
        for entry in info:
            for table in getattr(entry, 'StringTable', []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    check(strings.get('ProductVersion') == version,
          f'installer: version resource says {strings.get("ProductVersion")}, not {version}')
    pe.close()

    entries = sevenZipEntries(setupPath)
    expected = ['Plugins/gen_zanq.dll', 'Plugins/uninstall_gen_zanq.exe']
    check(sorted(entries) == expected, f'installer holds {sorted(entries)}, not {expected}')
    stamp = entries.get('Plugins/gen_zanq.dll', {}).get('Modified', '')
    check(stamp.startswith('2026-01-01 00:00:00'), f'installer: gen_zanq.dll is stamped {stamp!r}')
    with tempfile.TemporaryDirectory(prefix='zanq-setup-') as work:
        subprocess.run(['7z', 'x', '-y', f'-o{work}', setupPath, 'Plugins/gen_zanq.dll'],
                       check=True, stdout=subprocess.DEVNULL)
        extracted = os.path.join(work, 'Plugins', 'gen_zanq.dll')
        carried = open(extracted, 'rb').read() if os.path.exists(extracted) else b''
    check(carried == dll, 'installer: its gen_zanq.dll is not the release DLL byte for byte')
    print(f'  {os.path.basename(setupPath)}: {os.path.getsize(setupPath)} bytes, 32-bit NSIS, '
          f'holds {", ".join(sorted(entries))}; its gen_zanq.dll is the release file')


def main():
    dllPath = sys.argv[1]
    dll = open(dllPath, 'rb').read()
    match = re.search(rb'Kestwyn v([0-9][0-9.]*[0-9])\0', dll)
    if not match:
        sys.exit(f'FAIL: {dllPath} carries no "Kestwyn vN.N" description')
    version = match.group(1).decode()
    zipPath = os.path.join(PACKAGE, f'gen_zanq-{version}.zip')
    setupPath = os.path.join(PACKAGE, f'gen_zanq-{version}-setup.exe')
    for path in (zipPath, setupPath):
        if not os.path.exists(path):
            sys.exit(f'FAIL: no {path}; run scripts/package.sh')

    check_zip(zipPath, dll, version)
    check_zip_reproducible(zipPath, dllPath)
    check_installer(setupPath, dll, version)
    with open(os.path.join(PACKAGE, 'SHA256SUMS'), 'rb') as f:
        sums = f.read().decode('ascii', 'replace')
    check_sums(sums, {os.path.basename(p): open(p, 'rb').read() for p in (zipPath, setupPath)},
               'build/package/SHA256SUMS')

    if failures:
        for message in failures:
            print(f'FAIL: {message}')
        sys.exit(1)
    print('release package: all checks passed')


if __name__ == '__main__':
    main()
