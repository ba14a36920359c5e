"""The scenario file's grammar, held to by this suite's reader: the shared
table reads whole and its digest matches, every kind of line outside the
grammar is rejected with its line number, and escapes, defaults and pairs
read as the file's header says. The C++ reader must give the same answers
(REJECTED and ACCEPTED are plain data, ready to be fed to it); on the table
itself the digest line makes sure it does."""

from .checks import CheckFailed, expectEqual, expectTrue
from .sweepScenarios import ScenarioError, parseSweepScenarios, readSweepScenarios

OK = b'[t]\nentry a\nrequests\nremaining 0\n'

# title, text, line named in the error, a piece of the message
REJECTED = [
    ('unknown keyword', b'[t]\nentri a\nrequests\nremaining\n', 2, 'unknown keyword'),
    ('repeated keyword', b'[t]\nentry a\ncurrent 0\ncurrent 1\nrequests\nremaining\n', 4, 'given twice'),
    ('repeated list keyword', b'[t]\nrequests\nrequests\nremaining\n', 3, 'given twice'),
    ('field before the first title', b'entry a\n' + OK, 1, 'before the first title'),
    ('space at the end', b'[t]\nentry a \nrequests\nremaining 0\n', 2, 'space at the end'),
    ('space at the end of a comment', b'# note \n' + OK, 1, 'space at the end'),
    ('CR before LF', b'[t]\r\nentry a\nrequests\nremaining 0\n', 1, 'byte 0x0D'),
    ('tab', b'[t]\nentry\ta\nrequests\nremaining 0\n', 2, 'byte 0x09'),
    ('byte above 0x7E', b'[t]\nentry \xe9\nrequests\nremaining 0\n', 2, 'byte 0xE9'),
    ('Ctrl-Z', b'[t]\nentry a\nrequests\nremaining 0\n\x1a\n', 5, 'byte 0x1A'),
    ('no LF at the end', b'[t]\nentry a\nrequests\nremaining 0', 4, 'does not end in LF'),
    ('number with a plus sign', b'[t]\ncurrent +1\nrequests\nremaining\n', 2, 'no number'),
    ('number with a leading zero', b'[t]\ncurrent 01\nrequests\nremaining\n', 2, 'no number'),
    ('minus zero', b'[t]\nenabled -0\nrequests\nremaining\n', 2, 'no number'),
    ('number with a tail', b'[t]\ncount 12abc\nrequests\nremaining\n', 2, 'no number'),
    ('number past 2^31 - 1', b'[t]\nenabled 2147483648\nrequests\nremaining\n', 2, 'signed 32-bit'),
    ('two numbers for one', b'[t]\ncurrent 1 2\nrequests\nremaining\n', 2, 'no number'),
    ('no value', b'[t]\ncurrent\nrequests\nremaining\n', 2, 'needs a value'),
    ('a value for a flag', b'[t]\nnull-editor 1\nrequests\nremaining\n', 2, 'takes no value'),
    ('two spaces in a list', b'[t]\nentry a\nentry b\nrequests\nremaining 0  1\n', 5, 'two spaces'),
    ('negative index', b'[t]\nentry a\nrequests\nremaining -1\n', 4, 'no index'),
    ('indices out of order', b'[t]\nentry a\nentry b\nrequests\nremaining 1 0\n', 5, 'must increase'),
    ('index past the entries', b'[t]\nentry a\nrequests\nremaining 0 1\n', 4, 'has 1 entries'),
    ('null name past the entries', b'[t]\nentry a\nnull-name 3\nrequests\nremaining 0\n', 3, 'has 1 entries'),
    ('request without a colon', b'[t]\nrequests 260\nremaining\n', 2, 'not CODE:N'),
    ('unknown request code', b'[t]\nrequests 261:1\nremaining\n', 2, 'none of 104'),
    ('request argument with a tail', b'[t]\nrequests 260:1x\nremaining\n', 2, 'no number'),
    ('bad escape: one digit', b'[t]\nentry a%4\nrequests\nremaining 0\n', 2, 'bad escape'),
    ('bad escape: lower-case hex', b'[t]\nentry %4a\nrequests\nremaining 0\n', 2, 'bad escape'),
    ('bad escape: no hex', b'[t]\nentry 100%\nrequests\nremaining 0\n', 2, 'bad escape'),
    ('a lone brace', b'[t]\nentry x{\nrequests\nremaining 0\n', 2, 'bad repeat'),
    ('repeat of zero', b'[t]\nentry {0*a}\nrequests\nremaining 0\n', 2, 'bad repeat'),
    ('repeat past 9999', b'[t]\nentry {10000*a}\nrequests\nremaining 0\n', 2, 'bad repeat'),
    ('repeat of two bytes', b'[t]\nentry {3*ab}\nrequests\nremaining 0\n', 2, 'bad repeat'),
    ('repeat of a space', b'[t]\nentry {3* }\nrequests\nremaining 0\n', 2, 'bad repeat'),
    ('literal bar in an entry', b'[t]\nentry a|b\nrequests\nremaining 0\n', 2, 'a | in a name'),
    ('name starting with a space', b'[t]\nentry  a\nrequests\nremaining 0\n', 2, 'starts with a space'),
    ('pair with a third name', b'[t]\npair match a|b|c\n', 2, 'a | in a name'),
    ('pair with another field', b'[t]\npair match a|a\ncurrent 0\n', 3, 'stands alone'),
    ('pair after a field', b'[t]\nenabled 1\npair match a|a\n', 3, 'stands alone'),
    ('pair with an unknown verdict', b'[t]\npair equal a|a\n', 2, 'match, no-match or unmatchable'),
    ('pair without a bar', b'[t]\npair match a\n', 2, 'separated by |'),
    ('scenario without remaining', b'[t]\nentry a\nrequests\n[u]\npair match a|a\n', 1, 'no requests or no remaining'),
    ('last scenario without requests', OK + b'[u]\nentry a\nremaining 0\n', 5, 'no requests or no remaining'),
    ('repeated title', OK + b'[t]\npair match a|a\n', 5, 'also on line 1'),
    ('empty title', b'[]\npair match a|a\n', 1, 'a title is'),
    ('text after a title', b'[t] x\npair match a|a\n', 1, 'a title is'),
    ('bracket inside a title', b'[a]b]\npair match a|a\n', 1, 'a title is'),
    ('digest after a title', OK + b'digest 0123456789abcdef\n', 5, 'before the first title'),
    ('two digests', b'digest 0123456789abcdef\ndigest 0123456789abcdef\n' + OK, 2, 'once'),
    ('digest in capitals', b'digest 0123456789ABCDEF\n' + OK, 1, '16 lowercase hex'),
]

# text, what it must read as: (entries, current, override, count, enabled, null editor, null names, requests, remaining)
ACCEPTED = [
    ('escapes, repeats, and bytes that are themselves',
     b'[t]\nentry %25%7B%7C%00%FF\nentry {3*a}}x}\nentry a b*c ?\nrequests 260:-2147483648\nremaining 0 1 2\n',
     ([b'%{|\x00\xff', b'aaa}x}', b'a b*c ?'], 0, False, 0, 1, False, [], [(260, -2147483648)], [0, 1, 2])),
    ('every field once, in any order, comments and blank lines between',
     b'# c\n\n[a title: with [ and ?]\nremaining 1\nnull-name 0\nenabled -7\n\ncount -3\nnull-editor\n'
     b'entry x\n# c\nentry y\ncurrent 2147483647\nrequests 104:0 124:0\n',
     ([b'x', b'y'], 2147483647, True, -3, -7, True, [0], [(104, 0), (124, 0)], [1])),
    ('a pair of an unmatchable first name',
     b'[t]\npair unmatchable ?|?\n',
     ([b'?', b'?'], 0, False, 0, 1, False, [], [(260, 1), (124, 0), (125, 0), (211, 0), (211, 1)], [0, 1])),
    ('a pair of no match',
     b'[t]\npair no-match a|%41\n',
     ([b'a', b'A'], 0, False, 0, 1, False, [], [(260, 1), (124, 0), (125, 0), (211, 0), (211, 1), (211, 1)], [0, 1])),
]


def checkTable(path):
    scenarios = readSweepScenarios(path)
    # Too few would mean the table was read wrong, not that there is little to check.
    expectTrue(len(scenarios) > 40, 'only %d scenarios read from %s' % (len(scenarios), path))


def checkRejected(text, line, piece):
    try:
        parseSweepScenarios(text)
    except ScenarioError as error:
        message = str(error)
        expectTrue(message.startswith('line %d: ' % line) and piece in message,
                   'rejected as %r; expected line %d and %r' % (message, line, piece))
        return
    raise CheckFailed('accepted; expected a rejection on line %d (%s)' % (line, piece))


def checkAccepted(text, expected):
    scenarios, digest = parseSweepScenarios(text)
    expectEqual(digest, None, 'digest of a snippet without one')
    s = scenarios[-1]
    expectEqual((s.entries, s.current, s.overrideCount, s.count, s.enabled, s.nullEditor, s.nullNames,
                 s.requests, s.remaining), expected, 'scenario read')


def checkScenarioFormat(case, path):
    case('the shared table reads whole and its digest matches', checkTable, path)
    for title, text, line, piece in REJECTED:
        case('rejected: ' + title, checkRejected, text, line, piece)
    for title, text, expected in ACCEPTED:
        case('read: ' + title, checkAccepted, text, expected)
