"""Reader of tests/sweepScenarios.txt, the sweep scenarios that the sweep
tests of the test build run too. The grammar is written once, at the top of
that file; this reader and the C++ one (tests/sweepScenarios.cpp) each follow
it and reject anything else with the line number.

Both readers also write the same canonical dump of what they read and check
its FNV-1a 64-bit hash against the file's digest line, so a difference
between them fails the run of whichever reads the file differently. Run this
file to print the dump and the digest after editing the table:

    /usr/bin/python3 tests/emulated/sweepScenarios.py [tests/sweepScenarios.txt]
"""

import re

REQUEST_CODES = (104, 124, 125, 211, 260)
# More than 18 digits are out of range anyway; the C++ reader stops there too.
NUMBER = re.compile(rb'-?(0|[1-9][0-9]{0,17})\Z')
INDEX = re.compile(rb'(0|[1-9][0-9]{0,17})\Z')
DIGEST = re.compile(rb'[0-9a-f]{16}\Z')
REPEAT = re.compile(rb'\{([1-9][0-9]{0,3})\*([^ %{|}])\}')
HEX_DIGITS = b'0123456789ABCDEF'
INT_MIN, INT_MAX = -2 ** 31, 2 ** 31 - 1
SINGLE_KEYS = (b'entry', b'current', b'count', b'enabled', b'pair')
LIST_KEYS = (b'null-name', b'requests', b'remaining')
FLAG_KEYS = (b'null-editor',)


class ScenarioError(Exception):
    pass


class SweepScenario:
    def __init__(self, title):
        self.title = title
        self.entries = []
        self.current = 0
        self.overrideCount = False
        self.count = 0
        self.enabled = 1
        self.nullEditor = False
        self.nullNames = []
        self.requests = []  # (code, argument)
        self.remaining = []


def _number(text, what):
    if not NUMBER.match(text) or text == b'-0':
        raise ValueError("%s '%s' is no number: decimal, no plus sign or leading zeros" % (what, text.decode()))
    value = int(text)
    if not INT_MIN <= value <= INT_MAX:
        raise ValueError('%s %s is outside the signed 32-bit range' % (what, text.decode()))
    return value


def _index(text, what):
    if not INDEX.match(text) or int(text) > INT_MAX:
        raise ValueError("%s '%s' is no index: 0 or more, decimal, no sign or leading zeros" % (what, text.decode()))
    return int(text)


def expandName(text):
    """The bytes a NAME stands for: %HH is the byte HH, {K*c} is K bytes c."""
    if not text:
        raise ValueError('empty name')
    if text[:1] == b' ':
        raise ValueError('a name starts with a space: write %20')
    out = bytearray()
    k = 0
    while k < len(text):
        c = text[k:k + 1]
        if c == b'%':
            digits = text[k + 1:k + 3]
            if len(digits) != 2 or any(d not in HEX_DIGITS for d in digits):
                raise ValueError("bad escape '%s': %%HH takes two of 0-9 A-F" % text[k:k + 3].decode())
            out.append(int(digits, 16))
            k += 3
        elif c == b'{':
            repeat = REPEAT.match(text, k)
            if not repeat:
                raise ValueError("bad repeat at '%s': {K*c} takes K from 1 to 9999 and one byte c, "
                                 'none of space %% { | }' % text[k:k + 8].decode())
            out += repeat.group(2) * int(repeat.group(1))
            k = repeat.end()
        elif c == b'|':
            raise ValueError('a | in a name: write %7C')
        else:
            out += c
            k += 1
    return bytes(out)


def _list(value):
    items = value.split(b' ') if value is not None else []
    if b'' in items:
        raise ValueError('two spaces in a row')
    return items


def _indices(value, what):
    indices = [_index(item, what) for item in _list(value)]
    if any(b <= a for a, b in zip(indices, indices[1:])):
        raise ValueError('%s indices must increase' % what)
    return indices


def _request(item):
    code, colon, argument = item.partition(b':')
    if not colon:
        raise ValueError("request '%s' is not CODE:N" % item.decode())
    code = _index(code, 'request code')
    if code not in REQUEST_CODES:
        raise ValueError('request code %d is none of %s' % (code, ', '.join(map(str, REQUEST_CODES))))
    return code, _number(argument, 'request argument')


MATCH, NO_MATCH, UNMATCHABLE = b'match', b'no-match', b'unmatchable'


def pairOutcome(verdict):
    """The requests and the indices left of one tick over two entries from
    entry 0: the second goes, both stay, or the first can equal nothing and
    is compared with nothing."""
    requests = [(260, 1), (124, 0), (125, 0), (211, 0), (211, 1)]
    if verdict == MATCH:
        return requests + [(104, 1)], [0]
    if verdict == NO_MATCH:
        return requests + [(211, 1)], [0, 1]  # the second as the outer name
    return requests, [0, 1]


def _pair(scenario, value):
    verdict, space, names = value.partition(b' ')
    if verdict not in (MATCH, NO_MATCH, UNMATCHABLE) or not space:
        raise ValueError('pair takes match, no-match or unmatchable, then NAME|NAME')
    first, bar, second = names.partition(b'|')
    if not bar:
        raise ValueError('pair takes two names separated by |')
    scenario.entries = [expandName(first), expandName(second)]
    scenario.requests, scenario.remaining = pairOutcome(verdict)


def _setField(scenario, key, value):
    if key == b'entry':
        scenario.entries.append(expandName(value))
    elif key == b'pair':
        _pair(scenario, value)
    elif key == b'current':
        scenario.current = _number(value, 'current')
    elif key == b'count':
        scenario.overrideCount, scenario.count = True, _number(value, 'count')
    elif key == b'enabled':
        scenario.enabled = _number(value, 'enabled')
    elif key == b'null-editor':
        scenario.nullEditor = True
    elif key == b'null-name':
        scenario.nullNames = _indices(value, 'null-name')
    elif key == b'requests':
        scenario.requests = [_request(item) for item in _list(value)]
    elif key == b'remaining':
        scenario.remaining = _indices(value, 'remaining')


class _Block:
    """A scenario being read: the lines its keywords came on."""

    def __init__(self, title, line):
        self.scenario, self.line, self.keys = SweepScenario(title), line, {}


def _finish(block):
    s, keys = block.scenario, block.keys
    if b'pair' not in keys and not (b'requests' in keys and b'remaining' in keys):
        raise ScenarioError('line %d: scenario [%s] states no requests or no remaining: each needs both, '
                            'or is a pair' % (block.line, s.title))
    for key, indices in ((b'null-name', s.nullNames), (b'remaining', s.remaining)):
        if indices and indices[-1] >= len(s.entries):
            raise ScenarioError('line %d: %s index %d, but the scenario has %d entries'
                                % (keys[key], key.decode(), indices[-1], len(s.entries)))


def parseSweepScenarios(data):
    """The scenarios in the file's bytes and the digest line's value (None
    when it has none). Raises ScenarioError naming the line."""
    lines = data.split(b'\n')
    blocks, titles, digest = [], {}, None
    for number, line in enumerate(lines[:-1], 1):
        try:
            bad = next((k for k, c in enumerate(line) if not 0x20 <= c <= 0x7E), None)
            if bad is not None:
                raise ValueError('byte 0x%02X at column %d: only 0x20-0x7E (no CR, no tab)' % (line[bad], bad + 1))
            if line.endswith(b' '):
                raise ValueError('space at the end of the line')
            if not line or line.startswith(b'#'):
                continue
            if line.startswith(b'['):
                title = line[1:-1]
                if not line.endswith(b']') or not title or b']' in title:
                    raise ValueError('a title is [TITLE]: not empty, no ] inside, nothing after')
                if title in titles:
                    raise ValueError('title [%s] is also on line %d' % (title.decode(), titles[title]))
                titles[title] = number
                if blocks:
                    _finish(blocks[-1])
                blocks.append(_Block(title.decode('ascii'), number))
                continue
            key, space, value = line.partition(b' ')
            value = value if space else None
            if key == b'digest':
                if blocks or digest is not None:
                    raise ValueError('the digest comes once, before the first title')
                if value is None or not DIGEST.match(value):
                    raise ValueError('digest takes 16 lowercase hex digits')
                digest = value.decode()
                continue
            if key not in SINGLE_KEYS + LIST_KEYS + FLAG_KEYS:
                raise ValueError("unknown keyword '%s'" % key.decode())
            if not blocks:
                raise ValueError('a field before the first title')
            block = blocks[-1]
            if key in block.keys and key != b'entry':
                raise ValueError('%s given twice in this scenario (first on line %d)' % (key.decode(), block.keys[key]))
            if b'pair' in block.keys or (key == b'pair' and block.keys):
                raise ValueError('pair stands alone in its scenario')
            if key in SINGLE_KEYS and value is None:
                raise ValueError('%s needs a value' % key.decode())
            if key in FLAG_KEYS and value is not None:
                raise ValueError('%s takes no value' % key.decode())
            block.keys.setdefault(key, number)
            _setField(block.scenario, key, value)
        except ValueError as error:
            raise ScenarioError('line %d: %s' % (number, error)) from None
    if lines[-1]:
        raise ScenarioError('line %d: the last line does not end in LF' % len(lines))
    if not blocks:
        raise ScenarioError('no scenario in the file')
    _finish(blocks[-1])
    return [b.scenario for b in blocks], digest


def canonicalDump(scenarios):
    """One line per fact, in a fixed order; the C++ reader writes the same."""
    out = []
    for s in scenarios:
        out.append('[%s]' % s.title)
        out += ['entry %s' % name.hex() for name in s.entries]
        out.append('current %d' % s.current)
        if s.overrideCount:
            out.append('count %d' % s.count)
        out.append('enabled %d' % s.enabled)
        if s.nullEditor:
            out.append('null-editor')
        out += ['null-name %d' % k for k in s.nullNames]
        out += ['request %d:%d' % r for r in s.requests]
        out += ['remaining %d' % k for k in s.remaining]
    return ''.join(line + '\n' for line in out).encode('ascii')


def fnv1a64(data):
    value = 0xCBF29CE484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return '%016x' % value


def readSweepScenarios(path):
    with open(path, 'rb') as f:
        scenarios, digest = parseSweepScenarios(f.read())
    actual = fnv1a64(canonicalDump(scenarios))
    if digest != actual:
        raise ScenarioError('%s: the digest line says %s, the scenarios read give %s: after an edit of the table '
                            'put in the new value; if the table is unchanged, this reader and the C++ one '
                            'read it differently' % (path, digest or '(none)', actual))
    return scenarios


if __name__ == '__main__':
    import os
    import sys
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.dirname(os.path.abspath(__file__))), 'sweepScenarios.txt')
    try:
        with open(path, 'rb') as f:
            scenarios, _ = parseSweepScenarios(f.read())
    except (OSError, ScenarioError) as error:
        sys.exit('%s: %s' % (path, error))
    dump = canonicalDump(scenarios)
    sys.stdout.write(dump.decode('ascii'))
    sys.stdout.write('digest %s\n' % fnv1a64(dump))
