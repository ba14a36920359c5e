#!/usr/bin/python3
"""Counts the x86 instructions that the shipped 32-bit plug-in itself executes
in one whole sweep, over playlists of music-library paths. The release DLL
runs under the CPU emulator of tests/emulated, with its imports on stand-ins
and a simulated host, both in Python: an instruction hook over the image's
address range fires once for each instruction the module's own code
executes, and for nothing the stand-ins or the host do. The figures depend
only on the module's bytes and the names, so a run repeats them exactly, on
any machine, whatever its load.

For each DLL and shape: init with sweeping enabled, then one call of the
timer procedure; only that call is counted. The comparisons are the names
the sweep asks for (request 211): each is one name copied and, unless it is
an outer name, compared, so instructions per comparison are the module's own
cost of one step of the sweep. With two or more DLLs, each one's cost per
comparison is also given as a ratio to the first's. Timings go to stderr, so
stdout is the same from run to run.

Usage: countInstructions.py path/to/gen_zanq.dll [path/to/other.dll ...]"""

import os
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), 'tests'))

try:
    from unicorn import UC_HOOK_CODE
    import pefile
    import emulated.machine
    from emulated.hostedPlugin import HostedPlugin
    from emulated.machine import EmulationError
    from emulated.peImage import PeImage
    from emulated.sweepChecks import SETTINGS_FILE
except ImportError as error:
    sys.exit('countInstructions: %s; it needs Debian\'s python3-unicorn and python3-pefile and /usr/bin/python3'
             % error)

NAME_REQUEST, REMOVE_REQUEST = 211, 104
# Counting each instruction in Python slows the emulation many times over, so a
# long sweep must not be taken for a runaway loop.
emulated.machine.RUNAWAY_SECONDS = 300

# --- the names --------------------------------------------------------------

WORDS = [b'Aurora', b'Lane', b'Northern', b'Lights', b'Harbour', b'Mill', b'River', b'Slow', b'Frost',
         b'Garden', b'Winter', b'Signal', b'Paper', b'Moon', b'Iron', b'Velvet', b'Echo', b'Station',
         b'Blue', b'Hollow', b'Quiet', b'Storm', b'Glass', b'Orchard', b'Copper', b'Lantern', b'Tide']
ROOT = b'D:\\Music\\'
MIN_LENGTH, MAX_LENGTH = 40, 120


class Random:
    """xorshift32: the same numbers from a seed on every Python, forever."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def below(self, limit):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x % limit

    def words(self, count):
        return b' '.join(WORDS[self.below(len(WORDS))] for _ in range(count))


def trackPath(albumFolder, track, random):
    """albumFolder + "NN - Title words.mp3", the title grown and cut to a
    length drawn from 40..120 (longer only when the folders alone are)."""
    length = MIN_LENGTH + random.below(MAX_LENGTH - MIN_LENGTH + 1)
    head = albumFolder + b'%02d - ' % track
    title = random.words(1)
    while len(head) + len(title) + 4 < length:
        title += b' ' + random.words(1)
    title = title[:max(1, length - len(head) - 4)]
    return head + title + b'.mp3'


def distinctNames(n, random):
    """n distinct paths in library order, album by album, so neighbours share
    their artist and album folders. The folder and track numbers keep every
    path distinct whatever words are drawn."""
    names = []
    artist = 0
    while len(names) < n:
        artist += 1
        artistFolder = ROOT + (b'Artist %02d %s' % (artist, random.words(random.below(3)))).rstrip() + b'\\'
        for album in range(1, 2 + random.below(3)):
            albumFolder = artistFolder + (b'Album %02d %s' % (album, random.words(random.below(3)))).rstrip() + b'\\'
            for track in range(1, 7 + random.below(10)):
                if len(names) < n:
                    names.append(trackPath(albumFolder, track, random))
    return names


def otherCase(name, random):
    """The name with about a third of its letters in the other case, at least one."""
    while True:
        changed = bytes(c ^ 0x20 if 0x61 <= c | 0x20 <= 0x7A and random.below(3) == 0 else c for c in name)
        if changed != name:
            return changed


def namesWithCaseRepeats(n, random):
    """n paths of which a third repeat an earlier one in other letter case,
    each somewhere after its original."""
    repeats = n // 3
    names = distinctNames(n - repeats, random)
    for _ in range(repeats):
        original = random.below(len(names))
        # Inserting only after the original never moves it.
        names.insert(original + 1 + random.below(len(names) - original), otherCase(names[original], random))
    return names


# (title, entries, how they are made, seed); each shape has its own seed, so
# adding one changes no other.
SHAPES = [('distinct', 100, distinctNames, 0x4B657331), ('distinct', 200, distinctNames, 0x4B657332),
          ('1/3 case', 100, namesWithCaseRepeats, 0x4B657333), ('1/3 case', 200, namesWithCaseRepeats, 0x4B657334)]


def expectedRemaining(names):
    """The first of each set of names equal but for ASCII letter case, in order."""
    seen, kept = set(), []
    for name in names:
        if name.lower() not in seen:  # bytes.lower() folds A-Z only
            seen.add(name.lower())
            kept.append(name)
    return kept


# --- one sweep, counted -------------------------------------------------------

class Counter:
    def __init__(self):
        self.instructions = 0

    def onInstruction(self, uc, address, size, data):
        self.instructions += 1


class Sweep:
    def __init__(self, requests, instructions):
        self.requests, self.instructions = requests, instructions
        self.comparisons = sum(1 for _, code, _ in requests if code == NAME_REQUEST)
        self.removals = sum(1 for _, code, _ in requests if code == REMOVE_REQUEST)

    @property
    def perComparison(self):
        return self.instructions / self.comparisons


def countSweep(image, names):
    counter = Counter()

    def prepare(plugin):
        plugin.host.setSettingsPath(SETTINGS_FILE)
        plugin.platform.setProfileText(SETTINGS_FILE, b'Kestwyn', b'Enabled', b'1')
        plugin.host.playlist, plugin.host.currentIndex = list(names), 0
        # Hooked before the module's code first runs, so no block is translated without it.
        plugin.machine.uc.hook_add(UC_HOOK_CODE, counter.onInstruction,
                                   begin=image.base, end=image.base + image.size - 1)

    plugin = HostedPlugin(image, prepare)
    plugin.init()
    if plugin.sweepTimer() is None:
        sys.exit('countInstructions: init started no sweep timer')
    mark = len(plugin.host.requests)
    counter.instructions = 0
    plugin.tick()
    if plugin.host.playlist != expectedRemaining(names):
        sys.exit('countInstructions: the sweep left %d entries, not the %d distinct ones: no figures for a wrong sweep'
                 % (len(plugin.host.playlist), len(expectedRemaining(names))))
    return Sweep(plugin.host.requests[mark:], counter.instructions)


def codeBytes(image):
    return sum(s.size for s in image.sections if s.executable)


def main(paths):
    try:
        images = [PeImage(path) for path in paths]
    except (OSError, EmulationError, pefile.PEFormatError) as error:
        sys.exit('countInstructions: %s' % error)
    labels = [chr(ord('A') + k) for k in range(len(paths))]
    for label, path, image in zip(labels, paths, images):
        print('%s  %s  (code: %d bytes)' % (label, path, codeBytes(image)))
    print()
    shapes = [(title, n, make(n, Random(seed))) for title, n, make, seed in SHAPES]
    for title, n, names in shapes:
        lengths = [len(name) for name in names]
        print('%-9s n=%d: names of %d..%d bytes, mean %.1f, %d to remove'
              % (title, n, min(lengths), max(lengths), sum(lengths) / n, n - len(expectedRemaining(names))))
    print()

    results = []  # per DLL, per shape
    for path, image in zip(paths, images):
        started = time.monotonic()
        results.append([countSweep(image, names) for _, _, names in shapes])
        sys.stderr.write('%s: %.1f s\n' % (path, time.monotonic() - started))

    header = '%-9s %5s %11s %8s %4s %13s %15s' % ('shape', 'n', 'comparisons', 'removed', 'dll', 'instructions',
                                                   'per comparison')
    print(header + ('  vs A' if len(paths) > 1 else ''))
    for s, (title, n, _) in enumerate(shapes):
        first = results[0][s]
        for d, label in enumerate(labels):
            sweep = results[d][s]
            line = '%-9s %5d %11d %8d %4s %13d %15.1f' % (
                title if d == 0 else '', n, sweep.comparisons, sweep.removals, label, sweep.instructions,
                sweep.perComparison)
            if len(paths) > 1:
                line += '  %.3f' % (sweep.perComparison / first.perComparison)
                if sweep.requests != first.requests:
                    line += '  (its requests differ from A\'s)'
            print(line)
    print()
    print('comparisons: the names the sweep asked for (request %d); each is one name copied, and all but'
          % NAME_REQUEST)
    print('the outer ones are compared. instructions: every x86 instruction executed inside the module\'s')
    print('image during the one timer call; per comparison: instructions / comparisons.')


if __name__ == '__main__':
    if len(sys.argv) < 2:
        sys.exit('usage: countInstructions.py path/to/gen_zanq.dll [path/to/other.dll ...]')
    main(sys.argv[1:])
