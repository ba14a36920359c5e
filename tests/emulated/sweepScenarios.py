"""Reader of tests/sweepScenarios.txt, the sweep scenarios that the Wine tests
of the x86_64 build run too (the format is described at the file's top).

It reads the file as the C++ reader (tests/sweepScenarios.cpp) does, down to
how numbers are taken: a number is read up to its first non-digit, a key's
value that is no number reads as 0, and a %HH or {N*c} is expanded the same
way, so that both suites run identical scenarios. Everything is bytes. The
C++ reader runs on Windows and reads in text mode, so CR LF counts as LF and a
Ctrl-Z ends the file."""

WHITESPACE = b' \t\n\v\f\r'


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


def _parseNumber(text, base, low, high, what):
    """A library string-to-number conversion: leading blanks, a sign, then
    the longest run of digits; no digits or a value out of range is an error."""
    k = 0
    while k < len(text) and text[k] in WHITESPACE:
        k += 1
    sign = 1
    if k < len(text) and text[k] in b'+-':
        sign = -1 if text[k] == ord('-') else 1
        k += 1
    digits = b'0123456789abcdefABCDEF'[:10 if base == 10 else 22]
    # As Windows' C library does: a 0x prefix is taken, and digits must follow it.
    if base == 16 and text[k:k + 2] in (b'0x', b'0X'):
        k += 2
    start = k
    while k < len(text) and text[k] in digits:
        k += 1
    if k == start:
        raise ScenarioError('no number in %r (%s)' % (text, what))
    value = sign * int(text[start:k], base)
    if low == 0 and value < 0:
        value += high + 1  # an unsigned conversion wraps a negative number
    if not low <= value <= high:
        raise ScenarioError('number out of range in %r (%s)' % (text, what))
    return value


class _Fields:
    """A stream of whitespace-separated fields, read as a C++ input stream does."""
    INT_MIN, INT_MAX = -2 ** 31, 2 ** 31 - 1

    def __init__(self, text):
        self.text, self.at, self.failed = text, 0, False

    def _skipBlanks(self):
        while self.at < len(self.text) and self.text[self.at] in WHITESPACE:
            self.at += 1

    def token(self):
        if self.failed:
            return None
        self._skipBlanks()
        start = self.at
        while self.at < len(self.text) and self.text[self.at] not in WHITESPACE:
            self.at += 1
        if self.at == start:
            self.failed = True
            return None
        return self.text[start:self.at]

    def rest(self):
        self._skipBlanks()
        return self.text[self.at:]

    def integer(self):
        """A signed 32-bit number, as a C++ stream extracts one: None (the
        target keeps its value) when no field is left, 0 for a field that is
        no number; either failure stops the stream."""
        if self.failed:
            return None
        self._skipBlanks()
        if self.at == len(self.text):
            self.failed = True
            return None
        k = self.at
        if k < len(self.text) and self.text[k] in b'+-':
            k += 1
        start = k
        while k < len(self.text) and self.text[k] in b'0123456789':
            k += 1
        if k == start:
            self.failed = True
            return 0
        value = int(self.text[self.at:k])
        self.at = k
        if not self.INT_MIN <= value <= self.INT_MAX:
            self.failed = True
            return self.INT_MAX if value > 0 else self.INT_MIN
        return value

    def integers(self):
        values = []
        while True:
            value = self.integer()
            if self.failed:
                return values
            values.append(value)

    def integerInto(self, current):
        value = self.integer()
        return current if value is None else value


def _isRepeat(text, openAt):
    star = text.find(b'*', openAt)
    if star < 0 or star == openAt + 1 or star + 2 >= len(text) or text[star + 2] != ord('}'):
        return False
    return all(c in b'0123456789' for c in text[openAt + 1:star])


def expandName(text):
    """%HH is the byte HH; {N*c} is N copies of c; anything else is itself."""
    out = bytearray()
    k = 0
    while k < len(text):
        if text[k] == ord('%') and k + 2 < len(text):
            out.append(_parseNumber(text[k + 1:k + 3], 16, -2 ** 31, 2 ** 31 - 1, 'byte') & 0xFF)
            k += 3
        elif text[k] == ord('{') and _isRepeat(text, k):
            star = text.find(b'*', k)
            out += text[star + 1:star + 2] * _parseNumber(text[k + 1:star], 10, 0, 2 ** 32 - 1, 'repeat')
            k = star + 3
        else:
            out.append(text[k])
            k += 1
    return bytes(out)


def _expandPair(scenario, rest):
    fields = _Fields(rest)
    verdict = fields.token()
    names = fields.rest() if not fields.failed else b''
    bar = names.find(b'|')
    if verdict not in (b'equal', b'differ') or bar < 0:
        raise ScenarioError('bad pair: %r' % rest)
    scenario.entries = [expandName(names[:bar]), expandName(names[bar + 1:])]
    scenario.requests = [(260, 1), (124, 0), (125, 0), (211, 0), (211, 1)]
    if verdict == b'equal':
        scenario.requests.append((104, 1))
        scenario.remaining = [0]
    else:
        scenario.requests.append((211, 1))
        scenario.remaining = [0, 1]


def _readRequests(scenario, rest):
    fields = _Fields(rest)
    while True:
        token = fields.token()
        if token is None:
            return
        colon = token.find(b':')
        if colon < 0:
            raise ScenarioError('bad request: %r' % token)
        scenario.requests.append((_parseNumber(token[:colon], 10, 0, 2 ** 32 - 1, 'code'),
                                  _parseNumber(token[colon + 1:], 10, -2 ** 63, 2 ** 63 - 1, 'argument')))


def parseSweepScenarios(data):
    scenarios = []
    data = data.split(b'\x1a')[0].replace(b'\r\n', b'\n')
    for line in data.split(b'\n'):
        if not line or line.startswith(b'#'):
            continue
        if line.startswith(b'['):
            close = line.find(b']')
            scenarios.append(SweepScenario(line[1:close if close >= 0 else len(line)].decode('latin-1')))
            continue
        if not scenarios:
            raise ScenarioError('line outside a scenario: %r' % line)
        s = scenarios[-1]
        space = line.find(b' ')
        key = line[:space] if space >= 0 else line
        rest = line[space + 1:] if space >= 0 else b''
        fields = _Fields(rest)
        if key == b'entry':
            s.entries.append(expandName(rest))
        elif key == b'pair':
            _expandPair(s, rest)
        elif key == b'current':
            s.current = fields.integerInto(s.current)
        elif key == b'count':
            s.overrideCount = True
            s.count = fields.integerInto(s.count)
        elif key == b'enabled':
            s.enabled = fields.integerInto(s.enabled)
        elif key == b'null-editor':
            s.nullEditor = True
        elif key == b'null-name':
            s.nullNames = fields.integers()
        elif key == b'requests':
            _readRequests(s, rest)
        elif key == b'remaining':
            s.remaining = fields.integers()
        else:
            raise ScenarioError('unknown line: %r' % line)
    return scenarios


def readSweepScenarios(path):
    with open(path, 'rb') as f:
        return parseSweepScenarios(f.read())
