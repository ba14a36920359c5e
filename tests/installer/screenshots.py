#!/usr/bin/python3
"""Takes pictures of the release installer's pages from a real run under
Wine on the virtual display, over an earlier copy that a running player
holds loaded:
    installer-folder.png   the folder page
    installer-in-use.png   the message that the player runs, over the progress page
    installer-done.png     the finished page, after the player was closed and Retry clicked
    installer-uninstall.png    the uninstaller's first page
    installer-uninstalled.png  and its finished page
    screenshots.py PACKAGE_DIR RELEASE_DLL OUT_DIR
or, where the kernel runs no 32-bit code, of the same script built for x86_64
(only its Target differs) under 64-bit Wine, whose pages look the same:
    screenshots.py --x86_64 X86_64_DLL OUT_DIR"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wineSession  # noqa: E402
from wineSession import WineSession, installerToRun, stopOnSignals, windowsPath  # noqa: E402

PLAYER = r'C:\Program Files\Winamp'
ENTRY = r'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestwyn'


def capture(session, rect, path):
    """The screen inside `rect`, once two captures in a row agree (the window
    has finished drawing); no date or other metadata, so an unchanged page
    gives the same file."""
    left, top, right, bottom = rect
    screen = os.path.join(wineSession.WORK, 'screen.png')
    previous = None
    for _ in range(50):
        subprocess.run(['import', '-display', session.env['DISPLAY'], '-window', 'root', screen], check=True)
        subprocess.run(['convert', screen, '-crop', f'{right - left}x{bottom - top}+{left}+{top}', '+repage',
                        '-strip', '-define', 'png:exclude-chunks=date,time', path], check=True)
        with open(path, 'rb') as f:
            current = f.read()
        if current == previous:
            print(f'Wrote {path} ({right - left}x{bottom - top})')
            return
        previous = current
    raise SystemExit(f'{path}: the screen did not settle')


def main():
    setup, dll, version, (outDir,) = installerToRun(sys.argv[1:], 'screenshots.py', 'OUT_DIR')
    os.makedirs(outDir, exist_ok=True)

    stopOnSignals()
    session = WineSession()
    try:
        session.open()
        player = os.path.join(session.driveC, 'Program Files', 'Winamp')
        os.makedirs(os.path.join(player, 'Plugins'))
        with open(os.path.join(player, 'winamp.exe'), 'wb') as f:
            f.write(b'MZ')
        with open(os.path.join(player, 'Plugins', 'gen_zanq.dll'), 'wb') as f:
            f.write(dll.replace(f'Kestwyn v{version}\0'.encode(), b'Kestwyn v1.0\0'))
        holder = session.hold(PLAYER + r'\Plugins\gen_zanq.dll')

        program = session.startRun(f'"{windowsPath(setup)}"')
        page, _ = session.press(1, 'Install', click=False)
        capture(session, page, os.path.join(outDir, 'installer-folder.png'))
        session.press(1, 'Install')
        box, _ = session.press(4, 'Retry', click=False)
        both = (min(page[0], box[0]), min(page[1], box[1]), max(page[2], box[2]), max(page[3], box[3]))
        capture(session, both, os.path.join(outDir, 'installer-in-use.png'))
        session.release(holder)
        session.press(4, 'Retry')
        done, _ = session.press(1, 'Close', click=False)
        capture(session, done, os.path.join(outDir, 'installer-done.png'))
        session.press(1, 'Close')
        if session.finish(program) != 0:
            sys.exit('the installer failed')

        entry = session.exportReg(ENTRY)[ENTRY]
        program = session.startRun(entry['UninstallString'])
        confirm, _ = session.press(1, 'Uninstall', click=False)
        capture(session, confirm, os.path.join(outDir, 'installer-uninstall.png'))
        session.press(1, 'Uninstall')
        done, _ = session.press(1, 'Close', click=False)
        capture(session, done, os.path.join(outDir, 'installer-uninstalled.png'))
        session.press(1, 'Close')
        if session.finish(program) != 0:
            sys.exit('the uninstaller failed')
    finally:
        session.close()


if __name__ == '__main__':
    main()
