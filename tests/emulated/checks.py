"""A small runner for the emulated checks. A group is a table of cases; each
case runs on its own (most on a fresh emulated process) and a failure says
what differed. It prints a line per group, each failure in full, and the
closing count."""

import time
import traceback

from .machine import EmulationError


class CheckFailed(Exception):
    pass


class Where:
    """Stands in an expected value for any actual value that passes a test,
    such as "an address inside the module's code"."""

    def __init__(self, test, description):
        self.test, self.description = test, description

    def __eq__(self, other):
        return bool(self.test(other))

    def __repr__(self):
        return '<%s>' % self.description


def showValue(value):
    """repr, but handles and addresses (numbers past 0xFFFF) in hex."""
    if isinstance(value, bool) or not isinstance(value, (int, tuple, list)):
        return repr(value)
    if isinstance(value, int):
        return '0x%08x' % value if value > 0xFFFF else repr(value)
    inner = ', '.join(showValue(item) for item in value)
    return '(%s%s)' % (inner, ',' if len(value) == 1 else '') if isinstance(value, tuple) else '[%s]' % inner


def show(value):
    if isinstance(value, list):
        return '[\n' + ''.join('      %3d  %s\n' % (k, showValue(item)) for k, item in enumerate(value)) + '    ]'
    return showValue(value)


def expectEqual(actual, expected, what):
    # The expected side first, so that a Where compares the actual value.
    if not expected == actual:
        detail = ''
        if isinstance(actual, list) and isinstance(expected, list):
            at = next((k for k, (a, e) in enumerate(zip(actual, expected)) if not e == a),
                      min(len(actual), len(expected)))
            detail = '\n  first difference at item %d' % at
        raise CheckFailed('%s:\n  got:      %s\n  expected: %s%s' % (what, show(actual), show(expected), detail))


def expectTrue(condition, what):
    if not condition:
        raise CheckFailed(what)


class Runner:
    def __init__(self, out):
        self.out = out
        self.passed = 0
        self.failures = []
        self._group = None

    def group(self, title, function, *args):
        self._group = title
        before, failedBefore = self.passed, len(self.failures)
        started = time.monotonic()
        try:
            function(self.case, *args)
        except Exception as error:  # the group itself could not set its cases up
            self._fail('(setting up the group)', error)
        failed = len(self.failures) - failedBefore
        self.out.write('%s  %s: %d cases%s (%.1f s)\n' % ('FAIL' if failed else 'ok  ', title,
                                                          self.passed - before + failed,
                                                          ', %d failed' % failed if failed else '',
                                                          time.monotonic() - started))

    def case(self, title, function, *args):
        try:
            function(*args)
        except Exception as error:
            self._fail(title, error)
        else:
            self.passed += 1

    def _fail(self, title, error):
        if isinstance(error, (CheckFailed, EmulationError)):
            text = str(error)
        else:
            text = ''.join(traceback.format_exception(type(error), error, error.__traceback__))
        self.failures.append((self._group, title, text))

    def report(self):
        for group, title, text in self.failures:
            self.out.write('\nFAILED %s / %s\n  %s\n' % (group, title, text.replace('\n', '\n  ')))
        self.out.write('\nemulated: %d passed, %d failed\n' % (self.passed, len(self.failures)))
        return not self.failures
