"""The media player as the emulated plug-in sees it: a main window that
answers requests 334, 260, 124, 125 and 211 over an in-memory playlist, and a
playlist editor window that answers 104, with the same odd answers on demand
as the C++ HostSimulator (null editor, null names, a reported count or
current index of the check's choosing, any raw answer to 334).

Every request is recorded as (window, code, argument), the argument as the
signed 32-bit number it carries. Like the real player, an answer to 211
points into a name buffer that the next request spoils, so a plug-in that
keeps the pointer instead of copying the name at once compares garbage. The
buffer is one 16-byte aligned block unless a check places each name itself
(at an odd address, or ending right before an unmapped page)."""

from unicorn import UC_PROT_READ, UC_PROT_WRITE

from .machine import PAGE, EmulationError
from .standIns import WM_USER, signed32

HOST_WINDOW = 0x000401B2
EDITOR_WINDOW = 0x000501C4
NAME_BUFFER_SIZE = 4096


class SimulatedHost:
    def __init__(self, machine, platform):
        self.machine = machine
        self.playlist = []            # names, as bytes
        self.currentIndex = 0
        self.overrideCount = False    # report reportedCount for 124 instead of the real size
        self.reportedCount = 0
        self.nullEditor = False       # 260 answers a null handle
        self.nullNameIndices = set()  # 211 answers a null address for these
        self.settingsPathAnswer = 0   # the raw answer to 334
        self.placeName = None         # placeName(index, name) -> the address to hand that name over at
        self.requests = []
        self._nameBuffer = machine.alloc(NAME_BUFFER_SIZE)
        self._lastName = None         # (address, bytes with the NUL) of the name handed over last
        platform.windows[HOST_WINDOW] = self._answerHost
        platform.windows[EDITOR_WINDOW] = self._answerEditor

    def setSettingsPath(self, text, address=None):
        """Puts the path text in the host's memory (at a given address if
        asked, mapping its page) and makes 334 answer its address."""
        if address is not None:
            page = address & ~(PAGE - 1)
            self.machine.mapRegion(page, PAGE, UC_PROT_READ | UC_PROT_WRITE, 'host path page')
        self.settingsPathAnswer = self.machine.placeText(text, address)
        return self.settingsPathAnswer

    # The previous name becomes garbage at the next request; its NUL stays, so
    # a late reader gets a wrong name, not a runaway read.
    def _spoilLastName(self):
        if self._lastName and self._lastName[1] > 1:
            address, length = self._lastName
            self.machine.placeBytes(b'#' * (length - 1), address)
        self._lastName = None

    def _answerHost(self, message, wParam, lParam):
        if message != WM_USER:
            return 0
        self._spoilLastName()
        code, argument = lParam, signed32(wParam)
        self.requests.append((HOST_WINDOW, code, argument))
        if code == 334:
            return self.settingsPathAnswer
        if code == 260:
            return 0 if self.nullEditor else EDITOR_WINDOW
        if code == 124:
            return self.reportedCount if self.overrideCount else len(self.playlist)
        if code == 125:
            return self.currentIndex
        if code == 211:
            if not 0 <= argument < len(self.playlist) or argument in self.nullNameIndices:
                return 0
            name = self.playlist[argument]
            if self.placeName:
                address = self.placeName(argument, name)
            elif len(name) + 1 > NAME_BUFFER_SIZE:
                raise EmulationError('a playlist name of %d bytes does not fit the host buffer' % len(name))
            else:
                address = self._nameBuffer
            self.machine.placeText(name, address)
            self._lastName = (address, len(name) + 1)
            return address
        return 0

    def _answerEditor(self, message, wParam, lParam):
        if message != WM_USER:
            return 0
        self._spoilLastName()
        code, argument = wParam, signed32(lParam)
        self.requests.append((EDITOR_WINDOW, code, argument))
        if code == 104 and 0 <= argument < len(self.playlist):
            del self.playlist[argument]
            # The current entry keeps pointing at the same item, as a player's would.
            if argument < self.currentIndex:
                self.currentIndex -= 1
        return 0
