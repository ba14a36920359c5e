#!/usr/bin/python3
"""Runs the release installer and its uninstaller as users run them, under
32-bit Wine: where the installer finds the player, what each program writes
and removes, its exit status, and what each does while a running player
holds the plug-in loaded, silently and through its dialogs.
    check_installer.py PACKAGE_DIR RELEASE_DLL
On a machine whose kernel runs no 32-bit code, the same cases run the
installer's script built for x86_64 (only its Target differs), carrying the
x86_64 build of the plug-in, under 64-bit Wine:
    check_installer.py --x86_64 X86_64_DLL
One line per case; exit status 1 when any case fails. Each case starts from
the same prefix: the keys and folders that cases use are reset before it."""
import dataclasses
import hashlib
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wineSession import WineError, WineSession, installerToRun, regString, stopOnSignals, windowsPath  # noqa: E402

UNINSTALL = r'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
ENTRY = UNINSTALL + r'\Kestwyn'
PLAYER_ENTRY = UNINSTALL + r'\Winamp'
PLAYER_USER_KEY = r'HKEY_CURRENT_USER\Software\Winamp'
SESSION_MANAGER = r'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Session Manager'
UNINSTALLER = 'uninstall_gen_zanq.exe'

DEFAULT = r'C:\Program Files\Winamp'
REGISTERED = r'C:\Players\Win amp'       # a space, so that quoting matters
PLAIN = r'C:\Players\Winamp'
USERS = r'C:\Players\Other'
BARE = r'C:\Players\Bare'                # winamp.exe and no Plugins folder
GONE = r'C:\Players\Gone'                # recorded, but not there
CHOSEN = r'C:\My Music\Winamp'           # named by /D=, not there before
BLOCKED = r'C:\Players\Blocked'          # a file named Plugins where that folder should go

INI = b'[Winamp]\r\noutdir=C:\\Music\r\n[Kestwyn]\r\nEnabled=0\r\nPeriod=300\r\n'
OTHER_PLUGIN = b'MZ another plug-in'
NSIS_UNINSTALLER = 'an NSIS uninstaller'   # what an uninstaller written by the installer reads as


def uninstallKey(command):
    return [f'[{PLAYER_ENTRY}]', f'"UninstallString"={regString(command)}', '']


def userKey(folder):
    return [f'[{PLAYER_USER_KEY}]', f'@={regString(folder)}', '']


@dataclasses.dataclass
class Case:
    name: str
    action: str = 'setup'     # 'setup', 'uninstall' (the registered command) or 'uninstall-plain' (no _?=)
    args: str = '/S'          # the installer's arguments; '' runs it through its pages
    registry: tuple = ()      # where the player's own setup recorded it
    before: str = ''          # 'earlier': an earlier copy is installed; 'current': this one is
    handDeleted: bool = False  # the plug-in was deleted by hand before uninstalling
    held: bool = False        # a running player holds the installed plug-in
    answer: str = ''          # through the pages: 'Cancel' or 'Retry' answers the message that the
                              # player runs; 'leave' is Cancel on the first page; 'No' refuses a
                              # folder without winamp.exe, then leaves
    target: str = DEFAULT     # the player's folder that the program works in
    status: int = 0
    outcome: str = 'installed'  # 'installed', 'unchanged' or 'removed'


CASES = [
    # Where the player is found.
    Case('the folder of the UninstallString, before the current user\'s',
         registry=(*uninstallKey(f'"{REGISTERED}\\UninstWA.exe"'), *userKey(USERS)), target=REGISTERED),
    Case('a quoted UninstallString with arguments',
         registry=uninstallKey(f'"{REGISTERED}\\UninstWA.exe" /S /LOG=C:\\Temp\\un.log'), target=REGISTERED),
    Case('an UninstallString without quotes',
         registry=uninstallKey(f'{PLAIN}\\UninstWA.exe'), target=PLAIN),
    Case('a registered folder that is gone: the current user\'s',
         registry=(*uninstallKey(f'"{GONE}\\UninstWA.exe"'), *userKey(USERS)), target=USERS),
    Case('the current user\'s folder alone', registry=userKey(USERS), target=USERS),
    Case('every recorded folder gone: $PROGRAMFILES\\Winamp',
         registry=(*uninstallKey(f'"{GONE}\\UninstWA.exe"'), *userKey(GONE + '2'))),
    Case('nothing recorded: $PROGRAMFILES\\Winamp'),
    Case('/D= names a new folder over every record', args=f'/S /D={CHOSEN}',
         registry=(*uninstallKey(f'"{REGISTERED}\\UninstWA.exe"'), *userKey(USERS)), target=CHOSEN),
    # Upgrades, and failures of the installer.
    Case('upgrade over an earlier copy', before='earlier'),
    Case('a file named Plugins in the way', args=f'/S /D={BLOCKED}', target=BLOCKED, status=2,
         outcome='unchanged'),
    Case('running player, /S over an earlier copy', before='earlier', held=True, status=2, outcome='unchanged'),
    Case('running player, Cancel', args='', before='earlier', held=True, answer='Cancel', status=2,
         outcome='unchanged'),
    Case('running player closed, Retry', args='', before='earlier', held=True, answer='Retry'),
    Case('Cancel on the folder page', args='', before='earlier', answer='leave', status=1, outcome='unchanged'),
    Case('a folder without winamp.exe: No, then Cancel', args=f'/D={CHOSEN}', answer='No', target=CHOSEN,
         status=1, outcome='unchanged'),
    # The uninstaller.
    Case('uninstall /S', action='uninstall', before='current', outcome='removed'),
    Case('uninstall /S, nothing else in Plugins', action='uninstall', before='current', target=BARE,
         outcome='removed'),
    Case('uninstall /S without _?=, once its copy has ended', action='uninstall-plain', before='current',
         outcome='removed'),
    Case('uninstall /S, plug-in deleted by hand', action='uninstall', before='current', handDeleted=True,
         outcome='removed'),
    Case('uninstall, running player, /S', action='uninstall', before='current', held=True, status=2,
         outcome='unchanged'),
    Case('uninstall, running player, Cancel', action='uninstall', before='current', held=True, answer='Cancel',
         status=2, outcome='unchanged'),
    Case('uninstall, running player closed, Retry', action='uninstall', before='current', held=True,
         answer='Retry', outcome='removed'),
    Case('uninstall, Cancel on its first page', action='uninstall', before='current', answer='leave', status=1,
         outcome='unchanged'),
]


def sha256(data):
    return hashlib.sha256(data).hexdigest()


class Checker:
    def __init__(self, session, setupPath, dll, version):
        self.session = session
        self.setup = setupPath
        self.dll = dll
        self.version = version
        # An earlier copy: the same file with another last digit in its version (1.0 for 1.1).
        self.earlier = version[:-1] + ('0' if version[-1] != '0' else '9')
        self.earlierDll = dll.replace(f'Kestwyn v{version}\0'.encode(), f'Kestwyn v{self.earlier}\0'.encode())
        self.pristineTop = set(os.listdir(session.driveC))

    def host(self, path):
        """The file behind a path on drive C: of the prefix."""
        return os.path.join(self.session.driveC, *path[3:].split('\\'))

    def write(self, path, data):
        os.makedirs(os.path.dirname(self.host(path)), exist_ok=True)
        with open(self.host(path), 'wb') as f:
            f.write(data)

    def entry(self, folder):
        plugins = folder + r'\Plugins'
        return {'DisplayName': f'Kestwyn {self.version} (Winamp plug-in)', 'DisplayVersion': self.version,
                'Publisher': 'The Kestwyn developers', 'InstallLocation': plugins,
                'UninstallString': f'"{plugins}\\{UNINSTALLER}" _?={plugins}',
                'QuietUninstallString': f'"{plugins}\\{UNINSTALLER}" /S _?={plugins}',
                'NoModify': 1, 'NoRepair': 1}

    # -- the prefix's state ---------------------------------------------------

    def reset(self, case):
        """Back to the prefix as booted, then the case's players and records."""
        for name in set(os.listdir(self.session.driveC)) - self.pristineTop:
            path = os.path.join(self.session.driveC, name)
            shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
        shutil.rmtree(self.host(DEFAULT), ignore_errors=True)
        for temp in self.userTemps():
            shutil.rmtree(temp, ignore_errors=True)
            os.makedirs(temp)
        for folder in (DEFAULT, REGISTERED, PLAIN, USERS):
            self.write(folder + r'\winamp.exe', b'MZ')
            self.write(folder + r'\winamp.ini', INI)
            self.write(folder + r'\Plugins\gen_other.dll', OTHER_PLUGIN)
        self.write(BARE + r'\winamp.exe', b'MZ')
        self.write(BLOCKED + r'\winamp.exe', b'MZ')
        self.write(BLOCKED + r'\Plugins', b'not a folder')
        lines = [f'[-{ENTRY}]', f'[-{PLAYER_ENTRY}]', f'[-{PLAYER_USER_KEY}]',
                 f'[{SESSION_MANAGER}]', '"PendingFileRenameOperations"=-', '', *case.registry]
        if case.before == 'earlier':
            plugins = case.target + r'\Plugins'
            self.write(plugins + r'\gen_zanq.dll', self.earlierDll)
            self.write(plugins + '\\' + UNINSTALLER, b'MZ an earlier uninstaller')
            lines += [f'[{ENTRY}]', f'"DisplayName"="Kestwyn {self.earlier} (Winamp plug-in)"',
                      f'"DisplayVersion"="{self.earlier}"',
                      f'"InstallLocation"={regString(plugins)}',
                      f'"UninstallString"={regString(chr(34) + plugins + chr(92) + UNINSTALLER + chr(34))}', '']
        self.session.importReg(lines)

    def userTemps(self):
        users = os.path.join(self.session.driveC, 'users')
        return [os.path.join(users, name, 'Temp') for name in os.listdir(users)
                if os.path.isdir(os.path.join(users, name, 'Temp'))]

    def files(self):
        """Every folder and file on drive C: outside Windows' own and the
        users' folders: {path: None for a folder, else the SHA-256, or for an
        uninstaller that the installer wrote NSIS_UNINSTALLER}."""
        found = {}
        root = self.session.driveC
        for top in sorted(os.listdir(root)):
            if top in ('windows', 'users'):
                continue
            for folder, dirs, names in os.walk(os.path.join(root, top)):
                found[os.path.relpath(folder, root)] = None
                for name in names:
                    with open(os.path.join(folder, name), 'rb') as f:
                        data = f.read()
                    uninstaller = name == UNINSTALLER and b'NullsoftInst' in data
                    found[os.path.relpath(os.path.join(folder, name), root)] = (
                        NSIS_UNINSTALLER if uninstaller else sha256(data))
        return found

    def state(self):
        return self.files(), self.session.exportReg(UNINSTALL)

    def relative(self, path):
        return os.path.relpath(self.host(path), self.session.driveC)

    def installed(self, files, registry, folder):
        """What `files` and `registry` become when this version is installed into `folder`."""
        files = dict(files)
        plugins = folder + r'\Plugins'
        parts = plugins.split('\\')
        for n in range(2, len(parts) + 1):
            files.setdefault(self.relative('\\'.join(parts[:n])), None)
        files[self.relative(plugins + r'\gen_zanq.dll')] = sha256(self.dll)
        files[self.relative(plugins + '\\' + UNINSTALLER)] = NSIS_UNINSTALLER
        registry = dict(registry)
        registry[ENTRY] = self.entry(folder)
        return files, registry

    # -- running the programs -------------------------------------------------

    def runSetup(self, args):
        return self.session.run(f'"{windowsPath(self.setup)}" {args}'.strip())

    def uninstallCommand(self, case, registry):
        """The registered command, as the system's list of programs runs it:
        the quiet one for /S. Opened from its folder, it gets no _?=."""
        if case.action == 'uninstall-plain':
            return f'"{case.target}\\Plugins\\{UNINSTALLER}" /S'
        entry = registry.get(ENTRY, {})
        return entry.get('UninstallString' if case.answer else 'QuietUninstallString', '')

    def throughPages(self, case, commandLine, holder, problems):
        """Runs a program through its pages as a user would, answering as
        the case says; returns its exit status."""
        program = self.session.startRun(commandLine)
        setup = case.action == 'setup'
        first = 'Install' if setup else 'Uninstall'
        _, page = self.session.press(1, first, click=case.answer not in ('leave', 'No'))
        if case.target not in page:
            problems.append(f'its first page does not show {case.target}')
        if case.answer == 'No':
            self.session.press(1, first)
            _, box = self.session.press(7, 'No')
            if f'There is no winamp.exe in\n\n{case.target}' not in box:
                problems.append(f'the question for a folder without winamp.exe reads {box!r}')
            self.session.press(1, first, click=False)
        if case.answer in ('leave', 'No'):
            self.session.press(2, 'Cancel')
            return self.session.finish(program)
        _, box = self.session.press(4, 'Retry', click=False)
        dll = f'{case.target}\\Plugins\\gen_zanq.dll'
        for phrase in ('gen_zanq.dll is in use, most likely by Winamp', dll,
                       'Close Winamp, then click Retry. Cancel ends the ' + ('setup' if setup else 'removal')):
            if phrase not in box:
                problems.append(f'the message that the player runs lacks "{phrase}": {box!r}')
        if case.answer == 'Retry':
            self.session.release(holder)
            self.session.press(4, 'Retry')
            self.session.press(1, 'Close')
        else:
            self.session.press(2, 'Cancel')
        return self.session.finish(program)

    def runCase(self, case):
        problems = []
        self.reset(case)
        fixture = before = self.state()
        if case.before == 'current':
            status = self.runSetup(f'/S /D={case.target}')
            if status != 0:
                return [f'installing it first ended with exit status {status}']
            if case.handDeleted:
                os.remove(self.host(case.target + r'\Plugins\gen_zanq.dll'))
            before = self.state()

        holder = None
        if case.held:
            holder = self.session.hold(case.target + r'\Plugins\gen_zanq.dll')
        try:
            if case.action == 'setup':
                command = f'"{windowsPath(self.setup)}" {case.args}'.strip()
            else:
                command = self.uninstallCommand(case, before[1])
            if case.answer:
                status = self.throughPages(case, command, holder, problems)
            else:
                status = self.session.run(command)
        finally:
            if holder:
                self.session.release(holder)

        if status != case.status:
            problems.append(f'exit status {status}, not {case.status}')
        expectedFiles, expectedRegistry = {
            'installed': lambda: self.installed(*before, case.target),
            'unchanged': lambda: before,
            'removed': lambda: fixture,
        }[case.outcome]()
        files, registry = self.state()
        problems += compareFiles(files, expectedFiles)
        problems += compareRegistry(registry, expectedRegistry)
        return problems


def compareFiles(found, expected):
    problems = []
    for path in sorted(set(found) | set(expected)):
        if path not in found:
            problems.append(f'{path} is missing')
        elif path not in expected:
            problems.append(f'{path} appeared')
        elif found[path] != expected[path]:
            problems.append(f'{path} is {describe(found[path])}, not {describe(expected[path])}')
    return problems


def describe(entry):
    if entry is None:
        return 'a folder'
    return entry if entry == NSIS_UNINSTALLER else f'a file of SHA-256 {entry[:12]}...'


def compareRegistry(found, expected):
    problems = []
    for key in sorted(set(found) | set(expected)):
        if key not in found:
            problems.append(f'the key {key} is missing')
        elif key not in expected:
            problems.append(f'the key {key} appeared')
        else:
            for name in sorted(set(found[key]) | set(expected[key])):
                if found[key].get(name) != expected[key].get(name):
                    problems.append(f'{key} has {name or "(default)"} = {found[key].get(name)!r}, '
                                    f'not {expected[key].get(name)!r}')
    return problems


def main():
    setupPath, dll, version, _ = installerToRun(sys.argv[1:], 'check_installer.py')

    stopOnSignals()
    session = WineSession()
    failed = 0
    started = time.monotonic()
    try:
        session.open()
        checker = Checker(session, setupPath, dll, version)
        for case in CASES:
            try:
                problems = checker.runCase(case)
            except WineError as error:
                problems = [str(error)]
                session.restartServer()
            if problems:
                failed += 1
                print(f'FAIL {case.name}: ' + '; '.join(problems), flush=True)
            else:
                print(f'ok   {case.name}: exit status {case.status}, {case.outcome}', flush=True)
    except WineError as error:
        print(f'FAIL {error}')
        return 1
    finally:
        session.close()
    print(f'installer: {len(CASES) - failed} of {len(CASES)} cases passed in {time.monotonic() - started:.0f} s')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
