"""The shipped name code where only this suite runs it: 32-bit words. The host
hands each name over at every alignment (the outer and the inner name each at
0..3 bytes past a word boundary) and with its NUL on the last readable byte
before an unmapped page; the plug-in copies it a word at a time, decides
whether it can match at all, and compares it with its case folding a word at
a time. Each pair of names is one tick over a two-entry playlist, which must
send the requests and leave the entries of its verdict:

- names of 1..20 and 250..262 bytes (word boundaries and the 259-byte limit)
  against a case variant, a last-byte variant and a one-byte-longer name;
- fold traps, pairs of bytes one bit apart of which only A-Z/a-z fold, at
  every byte position of the first three words and right before the NUL;
- "?" at every position (never matches), the bytes one bit away from "?" at
  every position (they do not count), and the long-path prefix \\\\?\\;
- one name of every byte value but NUL and "?", at four start bytes.

Between answers the bytes around the name hold garbage that differs from one
request to the next, so a copy that reads before the name or past its NUL
gets a different name each time."""

from unicorn import UC_PROT_READ, UC_PROT_WRITE

from .checks import CheckFailed
from .hostedPlugin import HostedPlugin
from .machine import PAGE
from .settingsChecks import Setup
from .sweepScenarios import MATCH, NO_MATCH, UNMATCHABLE, pairOutcome

NAME_AREA, NAME_AREA_PAGES = 0x00500000, 2  # readable; the page after them is unmapped
NAME_AREA_END = NAME_AREA + NAME_AREA_PAGES * PAGE
WORD_START = NAME_AREA + 0x100  # an offset of 0 is a word boundary
BUFFER_BYTES = 259              # the most a name may have and still match
LONG_PATH_PREFIX = b'\\\\?\\'


def foldsEqual(a, b):
    return a.lower() == b.lower()  # bytes.lower() folds A-Z only


def canMatch(name):
    body = name[len(LONG_PATH_PREFIX):] if name.startswith(LONG_PATH_PREFIX) else name
    return len(name) <= BUFFER_BYTES and b'?' not in body


def verdictOf(outer, inner):
    """What one sweep does with the two names, by the rule in plain terms."""
    if not canMatch(outer):
        return UNMATCHABLE
    return MATCH if canMatch(inner) and foldsEqual(outer, inner) else NO_MATCH


class Placement:
    """Where the host writes the outer (entry 0) and inner (entry 1) name."""

    def __init__(self, title, outer=None, inner=None):
        self.title, self.offsets = title, (outer, inner)
        self._answers = 0

    def __call__(self, machine, index, name):
        self._answers += 1
        garbage = (b'Q' if self._answers % 2 else b'R') * 8
        offset = self.offsets[min(index, 1)]
        if offset is None:  # the NUL on the last readable byte
            address = NAME_AREA_END - len(name) - 1
            machine.placeBytes(garbage, address - len(garbage))
        else:
            address = WORD_START + offset
            machine.placeBytes(garbage * ((len(name) + 24) // 8), address - 8)
        return address


def offsetPlacements(pairs):
    return [Placement('outer name at +%d, inner at +%d' % (a, b), a, b) for a, b in pairs]


EVERY_OFFSET_PAIR = [(a, b) for a in range(4) for b in range(4)]
SAME_OFFSETS = [(a, a) for a in range(4)]
PAGE_END = 'both names ending on the last readable byte'


# --- the families of name pairs: (outer, inner, verdict) ---------------------

def lengthPairs():
    pairs = []
    for length in list(range(1, 21)) + list(range(250, 263)):
        name = (b'Mz\\Ab0-Zq.' * 27)[:length]
        lastChanged = name[:-1] + (b'#' if name[-1:] != b'#' else b'$')
        for outer, inner in ((name, name.swapcase()), (name, lastChanged), (name, name + b'x'), (name + b'x', name)):
            pairs.append((outer, inner, verdictOf(outer, inner)))
    return pairs


# Bytes one bit (0x20) apart: only the A-Z/a-z pairs fold. 0xC1/0xE1 and
# 0xDA/0xFA are A and Z with the high bit set.
FOLD_TRAPS = [(b'A', b'a', True), (b'Z', b'z', True), (b'@', b'`', False), (b'[', b'{', False),
              (b'\\', b'|', False), (b'^', b'~', False), (b'_', b'\x7f', False), (b'\x01', b'!', False),
              (b'\xc0', b'\xe0', False), (b'\xc1', b'\xe1', False), (b'\xda', b'\xfa', False),
              (b'\xdb', b'\xfb', False), (b'\x9a', b'\xba', False)]
# Around the trap: letters in the other case, or bytes whose sums carry out of a byte.
FILLERS = [(b'MNOPQRSTUVWX', b'mnopqrstuvwx'), (b'\xff' * 12, b'\xff' * 12)]


def trapNames(outerFill, innerFill, x, y):
    """The trap at every byte of three whole words, then right before the NUL."""
    for position in range(12):
        yield outerFill[:position] + x + outerFill[position + 1:], innerFill[:position] + y + innerFill[position + 1:]
    for position in range(8):
        yield outerFill[:position] + x, innerFill[:position] + y


def foldTrapPairs():
    pairs = []
    for x, y, folds in FOLD_TRAPS:
        for outerFill, innerFill in FILLERS:
            for outer, inner in trapNames(outerFill, innerFill, x, y):
                pairs.append((outer, inner, MATCH if folds else NO_MATCH))
    return pairs


NEAR_QUESTION_MARK = [bytes([0x3F ^ bit]) for bit in (0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80)]


def questionMarkPairs():
    pairs = []
    fills = FILLERS[0]
    for outer, inner in trapNames(fills[0], fills[1], b'?', b'?'):
        pairs.append((outer, inner, UNMATCHABLE))
    for near in NEAR_QUESTION_MARK:
        for outer, inner in trapNames(fills[0], fills[1], near, near):
            pairs.append((outer, inner, MATCH))
    prefixed = [
        (b'\\\\?\\C:\\Mz\\Ab', b'\\\\?\\c:\\mZ\\aB', MATCH),
        (b'\\\\?\\', b'\\\\?\\', MATCH),
        (b'\\\\?', b'\\\\?', UNMATCHABLE),
        (b'\\\\', b'\\\\', MATCH),
        (b'\\\\?/C:', b'\\\\?/C:', UNMATCHABLE),
        (b'/\\?\\C:', b'/\\?\\C:', UNMATCHABLE),
        (b'\\\\?\\C:\\a', b'C:\\a', NO_MATCH),
    ]
    rest = b'C:\\Mz\\Ab0-Z'
    for position in range(len(rest)):
        name = LONG_PATH_PREFIX + rest[:position] + b'?' + rest[position + 1:]
        prefixed.append((name, name, UNMATCHABLE))
    return pairs + prefixed


def everyBytePairs():
    values = bytes(b for b in range(1, 256) if b != ord('?'))
    return [(values[k:] + values[:k], (values[k:] + values[:k]).swapcase(), MATCH) for k in range(4)]


# --- running them ---------------------------------------------------------------

def shortName(name):
    return repr(name) if len(name) <= 40 else '%r...(%d bytes)...%r' % (name[:12], len(name), name[-12:])


def runPairs(image, placement, pairs):
    def prepare(plugin):
        plugin.machine.mapRegion(NAME_AREA, NAME_AREA_PAGES * PAGE, UC_PROT_READ | UC_PROT_WRITE, 'host name pages')
        plugin.host.placeName = lambda index, name: placement(plugin.machine, index, name)
        Setup()(plugin)
    plugin = HostedPlugin(image, prepare)
    plugin.init()
    host = plugin.host
    for number, (outer, inner, verdict) in enumerate(pairs, 1):
        # The tables state their verdicts; the rule in plain terms must agree,
        # so a slip in a table cannot pass for the plug-in's behaviour.
        if verdict != verdictOf(outer, inner):
            raise CheckFailed('pair %d of the table says %s, the rule %s' % (number, verdict, verdictOf(outer, inner)))
        host.playlist, host.currentIndex = [outer, inner], 0
        mark = len(host.requests)
        plugin.tick()
        requests, remaining = pairOutcome(verdict)
        got = [(code, argument) for _, code, argument in host.requests[mark:]]
        if got != requests or host.playlist != [[outer, inner][k] for k in remaining]:
            raise CheckFailed('pair %d, %s:\n  outer %s\n  inner %s\n  expected %s: requests %s, %d left\n'
                              '  got requests %s, %d left'
                              % (number, placement.title, shortName(outer), shortName(inner), verdict.decode(),
                                 requests[3:], len(remaining), got[3:], len(host.playlist)))


FAMILIES = [
    # title, pairs, offset pairs; the page end is run for each
    ('lengths 1..20 and 250..262', lengthPairs, EVERY_OFFSET_PAIR),
    ('every byte value but NUL and ?', everyBytePairs, EVERY_OFFSET_PAIR),
    ('fold traps at every byte of a word', foldTrapPairs, SAME_OFFSETS),
    ('? and its one-bit neighbours at every byte, the long-path prefix', questionMarkPairs, SAME_OFFSETS),
]


def checkNameCode(case, image):
    for title, makePairs, offsets in FAMILIES:
        pairs = makePairs()
        for placement in offsetPlacements(offsets) + [Placement(PAGE_END)]:
            case('%s: %s' % (title, placement.title), runPairs, image, placement, pairs)
