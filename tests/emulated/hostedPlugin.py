"""One fresh emulated process with the release DLL loaded the way the host
loads it: mapped and bound by the loader, its entry procedure told of the
attach, its export called, and the host's window and the module's instance
written into the header record. The host then drives it through the header's
init, config and quit, and the platform calls its timer procedure.

Each call goes to the address read from the header at that moment, with the
convention the host uses: the export and the three operations are cdecl and
take nothing; the entry procedure and the timer procedure are stdcall."""

import struct

from .machine import CDECL, STDCALL, EmulationError, Machine
from .simulatedHost import HOST_WINDOW, SimulatedHost
from .standIns import WM_TIMER, Platform

EXPORT_NAME = 'winampGetGeneralPurposePlugin'
HEADER_SIZE = 28
DLL_PROCESS_DETACH, DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH = 0, 1, 2, 3
SWEEP_TIMER_ID = 1611
TICK_TIME = 0x0badf00d  # the platform's tick count at the tick; the plug-in may ignore it


class Header:
    def __init__(self, raw):
        (self.version, self.description, self.init, self.config, self.quit,
         self.hostWindow, self.moduleInstance) = struct.unpack('<iIIIIII', raw)


class HostedPlugin:
    def __init__(self, image, prepareHost=None):
        """prepareHost(plugin), if given, runs before the module is loaded:
        the place to set the host's answers and the profile files."""
        self.image = image
        self.machine = Machine()
        self.platform = Platform(self.machine, image)
        self.host = SimulatedHost(self.machine, self.platform)
        if prepareHost:
            prepareHost(self)
        image.mapInto(self.machine, self.platform.standIns)
        if not self.callEntry(DLL_PROCESS_ATTACH, 0):
            raise EmulationError('the entry procedure refused the process attach')
        self.headerAddress = self.callExport(image.exportsByName[EXPORT_NAME])
        self.headerBeforeHandles = self.machine.read(self.headerAddress, HEADER_SIZE)
        self.machine.writeU32(self.headerAddress + 20, HOST_WINDOW)
        self.machine.writeU32(self.headerAddress + 24, image.base)

    def callEntry(self, reason, reserved):
        return self.machine.call(self.image.base + self.image.entryRva, [self.image.base, reason, reserved],
                                 STDCALL, 'entry procedure (reason %d)' % reason)

    def callExport(self, rva):
        return self.machine.call(self.image.base + rva, [], CDECL, EXPORT_NAME)

    def header(self):
        return Header(self.machine.read(self.headerAddress, HEADER_SIZE))

    def init(self):
        return self.machine.call(self.header().init, [], CDECL, 'init')

    def config(self, script):
        """Runs config while the platform plays the given user actions in its dialog."""
        self.platform.dialogScript = script
        self.machine.call(self.header().config, [], CDECL, 'config')

    def quit(self):
        self.machine.call(self.header().quit, [], CDECL, 'quit')

    def sweepTimer(self):
        """(interval, procedure) of timer 1611 on the host window, or None."""
        return self.platform.timers.get((HOST_WINDOW, SWEEP_TIMER_ID))

    def tick(self):
        """One tick of timer 1611, delivered as the platform's message loop does."""
        timer = self.sweepTimer()
        if timer is None:
            raise EmulationError('no timer %d on the host window to tick' % SWEEP_TIMER_ID)
        self.machine.call(timer[1], [HOST_WINDOW, WM_TIMER, SWEEP_TIMER_ID, TICK_TIME], STDCALL,
                          'timer procedure')

    def callsSince(self, mark):
        return self.platform.calls[mark:]
