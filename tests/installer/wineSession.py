"""A 32-bit Wine prefix for running the installer as users run it, on a
virtual display, with the helper program (helper.c) built for it.

The prefix is booted once into build/installer-test/pristine and copied for
each session; a session runs one persistent Wine server for all its programs
and stops it, and its virtual display, on close. Whatever WINEPREFIX the
caller has set is ignored. Everything lives under build/installer-test/."""
import errno
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORK = os.path.join(ROOT, 'build', 'installer-test')
HELPER_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'helper.c')

# The player, and so its plug-in and installer, are 32-bit.
WINE = '/usr/lib/wine/wine'
WINESERVER = '/usr/lib/wine/wineserver'
WINEARCH = 'win32'
COMPILER = 'i686-w64-mingw32-gcc'



def useX86_64Build(dllPath, version):
    """For a machine whose kernel runs no 32-bit code: builds the installer's
    script for x86_64 (its Target line is the only difference), carrying the
    x86_64 build of the plug-in at dllPath, and makes the sessions run it and
    the helper under 64-bit Wine, in build/installer-test/x86_64. Returns the
    folder that holds the installer."""
    global WINE, WINEARCH, COMPILER, WORK
    WINE, WINEARCH, COMPILER = '/usr/lib/wine/wine64', 'win64', 'x86_64-w64-mingw32-gcc'
    WORK = os.path.join(ROOT, 'build', 'installer-test', 'x86_64')
    packageDir = os.path.join(WORK, 'package')
    os.makedirs(packageDir, exist_ok=True)
    script = os.path.join(WORK, 'gen_zanq-x86_64.nsi')
    with open(os.path.join(ROOT, 'packaging', 'gen_zanq.nsi')) as f:
        text = f.read()
    if '\nTarget x86-unicode' not in text:
        raise WineError('packaging/gen_zanq.nsi has no "Target x86-unicode" line to build for x86_64')
    with open(script, 'w') as f:
        f.write(text.replace('\nTarget x86-unicode', '\nTarget amd64-unicode'))
    made = subprocess.run(['makensis', '-V2', f'-DVERSION={version}', f'-DDLL={os.path.abspath(dllPath)}',
                           '-DOUTFILE=' + os.path.join(packageDir, f'gen_zanq-{version}-setup.exe'), script],
                          stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if made.returncode != 0:
        raise WineError('makensis could not build the x86_64 installer: ' + (made.stdout + made.stderr).strip())
    return packageDir


def installerToRun(args, program, extra=''):
    """Reads `[--x86_64] PACKAGE_DIR RELEASE_DLL` or `--x86_64 X86_64_DLL`
    (each followed by `extra` arguments) from args; returns the installer's
    path, the DLL's bytes, its version and the extra arguments. Exits with a
    line on a wrong command line, a DLL without a version or no installer."""
    x86_64 = args[:1] == ['--x86_64']
    if len(args) != 2 + len(extra.split()):
        tail = ' ' + extra if extra else ''
        sys.exit(f'usage: {program} PACKAGE_DIR RELEASE_DLL{tail}\n'
                 f'       {program} --x86_64 X86_64_DLL{tail}')
    packageDir, dllPath = (None, args[1]) if x86_64 else args[:2]
    with open(dllPath, 'rb') as f:
        dll = f.read()
    match = re.search(rb'Kestwyn v([0-9][0-9.]*[0-9])\0', dll)
    if not match:
        sys.exit(f'FAIL: {dllPath} carries no "Kestwyn vN.N" description')
    version = match.group(1).decode()
    if x86_64:
        try:
            packageDir = useX86_64Build(dllPath, version)
        except WineError as error:
            sys.exit(f'FAIL {error}')
        print(f'{program}: the script built for x86_64, carrying the x86_64 build of the plug-in, '
              'under 64-bit Wine', flush=True)
    setupPath = os.path.join(packageDir, f'gen_zanq-{version}-setup.exe')
    if not os.path.exists(setupPath):
        sys.exit(f'FAIL: no {setupPath}; run scripts/package.sh')
    return setupPath, dll, version, args[2:]


DEADLINE = 120   # seconds for any one program; a slow machine gets there well within it


class WineError(Exception):
    pass


def windowsPath(path):
    """The Windows name of a file outside the prefix (drive Z: is /)."""
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def regFile(path, lines):
    """Writes a registry file for regedit: UTF-16 with its mark, CR LF ends."""
    text = 'Windows Registry Editor Version 5.00\r\n\r\n' + '\r\n'.join(lines) + '\r\n'
    with open(path, 'wb') as f:
        f.write(b'\xff\xfe' + text.encode('utf-16-le'))


def regString(text):
    return '"' + text.replace('\\', '\\\\').replace('"', '\\"') + '"'


def parseRegExport(path):
    """{key: {value name: str or int}} of a regedit export; the default value
    is named ''. Values other than strings and DWORDs read as None."""
    if not os.path.exists(path):
        return {}
    with open(path, 'rb') as f:
        data = f.read()
    text = data.decode('utf-16') if data.startswith(b'\xff\xfe') else data.decode('latin-1')
    keys, key, pending = {}, None, ''
    for raw in text.splitlines():
        line = pending + raw.strip()
        if line.endswith('\\') and not line.startswith('['):
            pending = line[:-1]
            continue
        pending = ''
        if line.startswith('[') and line.endswith(']'):
            key = keys.setdefault(line[1:-1], {})
        elif key is not None and '=' in line:
            name, value = splitRegValue(line)
            key[name] = value
    return keys


def splitRegValue(line):
    if line.startswith('@='):
        name, rest = '', line[2:]
    else:
        end = 1
        while line[end] != '"':
            end += 2 if line[end] == '\\' else 1
        name, rest = unescape(line[1:end]), line[end + 2:]
    if rest.startswith('"'):
        return name, unescape(rest[1:-1])
    if rest.startswith('dword:'):
        return name, int(rest[6:], 16)
    return name, None


def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == '\\' and i + 1 < len(text):
            i += 1
        out.append(text[i])
        i += 1
    return ''.join(out)


class WineSession:
    """One copied prefix, its Wine server and a virtual display."""

    def __init__(self):
        self.pristine = os.path.join(WORK, 'pristine')
        self.prefix = os.path.join(WORK, 'prefix')
        self.helper = os.path.join(WORK, 'helper.exe')
        self.xvfb = None
        self.children = []
        self.serverPrefixes = []
        self.env = {k: v for k, v in os.environ.items() if not k.startswith('WINE') and k != 'DISPLAY'}
        self.env.update(WINEARCH=WINEARCH, WINEDEBUG='-all', WINEDLLOVERRIDES='mscoree,mshtml=')

    # -- set-up and tear-down ------------------------------------------------

    def open(self):
        os.makedirs(WORK, exist_ok=True)
        self.buildHelper()
        self.startDisplay()
        self.makePristine()
        # A server left by a run that was killed would outlive its prefix's folder.
        self.stopServer(self.prefix)
        shutil.rmtree(self.prefix, ignore_errors=True)
        subprocess.run(['cp', '-a', self.pristine, self.prefix], check=True)
        self.startServer(self.prefix)
        self.driveC = os.path.join(self.prefix, 'drive_c')

    def close(self):
        for child in self.children:
            if child.poll() is None:
                child.kill()
        for prefix in list(self.serverPrefixes):
            self.stopServer(prefix)
        for child in self.children:
            try:
                child.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.terminate()
            self.xvfb.wait(timeout=10)

    def buildHelper(self):
        if (os.path.exists(self.helper) and
                os.path.getmtime(self.helper) >= os.path.getmtime(HELPER_SOURCE)):
            return
        if subprocess.run([COMPILER, '-static', '-O2', '-Wall', '-Wextra', '-Werror', '-o', self.helper,
                           HELPER_SOURCE]).returncode != 0:
            raise WineError(f'{COMPILER} could not build {HELPER_SOURCE}')

    def startDisplay(self):
        """A virtual display of its own: Xvfb picks a free number and says which."""
        reader, writer = os.pipe()
        self.xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(writer), '-screen', '0', '1024x768x24',
                                      '-nolisten', 'tcp'], pass_fds=(writer,), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(writer)
        with os.fdopen(reader) as f:
            number = f.readline().strip()
        if not number:
            raise WineError('Xvfb did not start')
        self.env['DISPLAY'] = ':' + number

    def makePristine(self):
        """Boots the pristine prefix unless one of this Wine's version is there."""
        try:
            version = subprocess.run([WINE, '--version'], capture_output=True, text=True,
                                     env=self.env).stdout.strip()
        except OSError as error:
            if error.errno == errno.ENOEXEC:
                raise WineError(f'this kernel cannot run 32-bit programs: {WINE}: {error.strerror}')
            raise WineError(f'{WINE}: {error.strerror}')
        stamp = os.path.join(WORK, 'pristine.version')
        if os.path.isdir(self.pristine) and os.path.exists(stamp):
            with open(stamp) as f:
                if f.read() == version:
                    return
        if os.path.exists(stamp):
            os.remove(stamp)
        self.stopServer(self.pristine)
        shutil.rmtree(self.pristine, ignore_errors=True)
        env = dict(self.env, WINEPREFIX=self.pristine)
        self.serverPrefixes.append(self.pristine)
        self.wine(['wineboot', '-i'], env=env)
        # No window manager runs on the virtual display: windows draw their own
        # frames. A crashing program ends at once instead of waiting in a debugger.
        settings = os.path.join(WORK, 'pristine-settings.reg')
        regFile(settings, [r'[HKEY_CURRENT_USER\Software\Wine\X11 Driver]', '"Managed"="N"', '',
                           r'[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]',
                           '"Debugger"="none"'])
        self.wine(['regedit', '/S', windowsPath(settings)], env=env)
        # Debian's Wine finds its own fonts only in the prefix's Fonts folder.
        fonts = os.path.join(self.pristine, 'drive_c', 'windows', 'Fonts')
        for name in os.listdir('/usr/share/wine/fonts'):
            shutil.copy(os.path.join('/usr/share/wine/fonts', name), fonts)
        self.stopServer(self.pristine)
        with open(stamp, 'w') as f:
            f.write(version)

    def startServer(self, prefix):
        """A persistent server, its output going nowhere, and a silent boot that
        starts Wine's services first, so that they hold no caller's pipe."""
        env = dict(self.env, WINEPREFIX=prefix)
        self.serverPrefixes.append(prefix)
        subprocess.run([WINESERVER, '-p'], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        self.wine(['wineboot'], env=env)

    def restartServer(self):
        """After a case gone wrong: ends every program left in the prefix."""
        self.stopServer(self.prefix)
        for child in self.children:
            child.kill()
            child.wait(timeout=10)
        self.children = []
        self.startServer(self.prefix)

    def stopServer(self, prefix):
        env = dict(self.env, WINEPREFIX=prefix)
        for flag in ('-k', '-w'):
            subprocess.run([WINESERVER, flag], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
        if prefix in self.serverPrefixes:
            self.serverPrefixes.remove(prefix)

    # -- running programs ----------------------------------------------------

    def wine(self, args, env=None):
        """Runs a Windows program to its end; returns its exit status."""
        try:
            return subprocess.run([WINE] + args, env=env or dict(self.env, WINEPREFIX=self.prefix),
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=DEADLINE).returncode
        except subprocess.TimeoutExpired:
            raise WineError(f'{" ".join(args)} did not end within {DEADLINE} s')

    def start(self, args, stdin=subprocess.DEVNULL):
        """Starts a Windows program and leaves it running."""
        child = subprocess.Popen([WINE] + args, env=dict(self.env, WINEPREFIX=self.prefix), stdin=stdin,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.children.append(child)
        return child

    def finish(self, child):
        """Waits for a program that start() started; returns its exit status."""
        try:
            status = child.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            raise WineError(f'a program did not end within {DEADLINE} s')
        self.children.remove(child)
        return status

    def run(self, commandLine):
        """Runs a command line exactly as given, as Windows runs a registered
        command, until it and all it started have ended: its exit status."""
        return self.wine([self.helper, 'run', commandLine])

    def startRun(self, commandLine):
        return self.start([self.helper, 'run', commandLine])

    def hold(self, dll):
        """Starts a stand-in for a running player that holds `dll` (a Windows
        path) loaded until release() is given what this returns."""
        ready = os.path.join(WORK, 'holder-ready')
        if os.path.exists(ready):
            os.remove(ready)
        holder = self.start([self.helper, 'hold', dll, windowsPath(ready)], stdin=subprocess.PIPE)
        deadline = time.monotonic() + DEADLINE
        while not os.path.exists(ready):
            if holder.poll() is not None:
                raise WineError(f'the holder could not load {dll} (exit status {holder.returncode})')
            if time.monotonic() > deadline:
                raise WineError(f'the holder did not load {dll} within {DEADLINE} s')
            time.sleep(0.05)
        return holder

    def release(self, holder):
        """Lets the holder free the plug-in and end; once is enough."""
        if holder.stdin.closed:
            return
        holder.stdin.close()
        status = self.finish(holder)
        if status != 0:
            raise WineError(f'the holder ended with exit status {status}')

    def press(self, buttonId, text, click=True):
        """Waits for a window with an enabled button `buttonId` reading `text`,
        clicks it unless told not to; returns the window's rectangle (left,
        top, right, bottom) and the texts of its title and controls."""
        out = os.path.join(WORK, 'window.txt')
        if os.path.exists(out):
            os.remove(out)
        status = self.wine([self.helper, 'press' if click else 'find', str(buttonId), text, windowsPath(out)])
        if status != 0:
            raise WineError(f'no window with a button "{text}" appeared (helper exit status {status})')
        with open(out, encoding='utf-8', errors='replace') as f:
            lines = f.read().split('\n')
        return tuple(int(n) for n in lines[0].split()), '\n'.join(lines[1:])

    # -- the registry ---------------------------------------------------------

    def importReg(self, lines):
        path = os.path.join(WORK, 'import.reg')
        regFile(path, lines)
        status = self.wine(['regedit', '/S', windowsPath(path)])
        if status != 0:
            raise WineError(f'regedit could not import {path}')

    def exportReg(self, key):
        """{key: {value: data}} of `key`, which must exist, and the keys below it.
        An export that Wine failed to make is tried again, twice at most, and
        said on the standard error: a read changes nothing, and a missing one
        must never pass for an empty registry."""
        path = os.path.join(WORK, 'export.reg')
        for attempt in range(3):
            if os.path.exists(path):
                os.remove(path)
            status = self.wine(['regedit', '/E', windowsPath(path), key])
            keys = parseRegExport(path)
            if key in keys:
                return keys
            print(f'regedit /E {key}: no export (exit status {status}, attempt {attempt + 1})',
                  file=sys.stderr, flush=True)
        raise WineError(f'regedit could not export {key}')


def stopOnSignals():
    """SIGTERM and SIGINT end the program through its clean-up code."""
    def leave(number, frame):
        raise SystemExit(128 + number)
    signal.signal(signal.SIGTERM, leave)
    signal.signal(signal.SIGINT, leave)
