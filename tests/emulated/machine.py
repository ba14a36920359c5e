"""The emulated 32-bit x86 process: flat segments, a stack, a heap for the
host's data, and calls into guest code.

Every platform import lands on a stub address of its own. Reaching one stops
the CPU before the stub runs; the stand-in then runs in Python (and may call
back into guest code, as the platform calls a timer or dialog procedure), its
arguments are popped as its calling convention says, and the guest resumes at
its return address. No emulation is ever nested inside another: a call back
into the guest starts from Python after the outer run has stopped.

Each call into the guest checks, on return, the stack pointer against the
callee's convention and the registers the callee must keep (EBX, ESI, EDI,
EBP); any mismatch, any access to unmapped or protected memory and any run
that never returns raises EmulationError."""

import struct
import threading

from unicorn import (UC_ARCH_X86, UC_HOOK_CODE, UC_HOOK_MEM_INVALID, UC_MEM_FETCH_PROT,
                     UC_MEM_FETCH_UNMAPPED, UC_MEM_READ_PROT, UC_MEM_READ_UNMAPPED,
                     UC_MEM_WRITE_PROT, UC_MEM_WRITE_UNMAPPED, UC_MODE_32,
                     UC_PROT_EXEC, UC_PROT_READ, UC_PROT_WRITE, Uc, UcError)
from unicorn import x86_const as x86

PAGE = 0x1000
# The first 64 KiB stay unmapped, so a null or small-integer pointer faults.
GDT_BASE = 0x00020000
STACK_BASE, STACK_SIZE = 0x00100000, 0x00100000
HEAP_BASE, HEAP_SIZE = 0x00300000, 0x00100000
STUB_BASE, STUB_SPACING, STUB_LIMIT = 0x00F00000, 16, 64
# Guest code returning to us lands here; it lies past every stub.
RETURN_SENTINEL = STUB_BASE + STUB_SPACING * STUB_LIMIT

STDCALL, CDECL = 'stdcall', 'cdecl'

# Values the callee must hand back unchanged, distinct so a swap shows.
CALLEE_SAVED = (('EBX', x86.UC_X86_REG_EBX, 0x0B0B0B0B), ('ESI', x86.UC_X86_REG_ESI, 0x05105105),
                ('EDI', x86.UC_X86_REG_EDI, 0x0D10D10D), ('EBP', x86.UC_X86_REG_EBP, 0x0EB0EB00))
# A platform function may leave anything in these; the guest must not rely on them.
SCRATCH = ((x86.UC_X86_REG_ECX, 0xC1C1C1C1), (x86.UC_X86_REG_EDX, 0xD1D1D1D1))
SAVED_CONTEXT = (x86.UC_X86_REG_EAX, x86.UC_X86_REG_EBX, x86.UC_X86_REG_ECX, x86.UC_X86_REG_EDX,
                 x86.UC_X86_REG_ESI, x86.UC_X86_REG_EDI, x86.UC_X86_REG_EBP, x86.UC_X86_REG_ESP,
                 x86.UC_X86_REG_EFLAGS)

# A guest call that has not returned by then is a runaway loop, not a slow
# one (the longest check takes milliseconds). Once one call ran away, later
# ones get a shorter allowance, so a loop in every case cannot stall the run.
RUNAWAY_SECONDS, RUNAWAY_SECONDS_AFTER_ONE = 10, 2

ACCESS_NAMES = {
    UC_MEM_READ_UNMAPPED: 'read of unmapped', UC_MEM_WRITE_UNMAPPED: 'write to unmapped',
    UC_MEM_FETCH_UNMAPPED: 'jump to unmapped', UC_MEM_READ_PROT: 'read of protected',
    UC_MEM_WRITE_PROT: 'write to read-only', UC_MEM_FETCH_PROT: 'jump to non-executable',
}


class EmulationError(Exception):
    """The guest broke the platform's rules: a bad access, a stack or register
    left wrong, a call to an import without a stand-in, or a runaway."""


class StandIn:
    """A platform function: its name, how many 32-bit arguments it takes,
    who pops them, and the Python function that does its work. A variadic
    one (cdecl only) also receives a reader of the arguments past its fixed ones."""

    def __init__(self, name, argCount, convention, function, variadic=False):
        assert convention in (STDCALL, CDECL) and not (variadic and convention == STDCALL)
        self.name, self.argCount, self.convention = name, argCount, convention
        self.function, self.variadic = function, variadic


def segmentDescriptor(base, limit, access, flags):
    return struct.pack('<Q', (limit & 0xFFFF) | ((base & 0xFFFFFF) << 16) | (access << 40)
                       | (((limit >> 16) & 0xF) << 48) | (flags << 52) | ((base >> 24) << 56))


class Machine:
    def __init__(self):
        self.uc = Uc(UC_ARCH_X86, UC_MODE_32)
        self.stubs = []
        self.regions = []  # (start, end, label) for fault messages
        self._heapNext = HEAP_BASE
        self._depth = 0
        self._pendingStub = None
        self._fault = None
        self._expired = 0  # the allowance in seconds, once a call overran it
        self.mapRegion(GDT_BASE, PAGE, UC_PROT_READ, 'descriptor table')
        self.mapRegion(STACK_BASE, STACK_SIZE, UC_PROT_READ | UC_PROT_WRITE, 'stack')
        self.mapRegion(HEAP_BASE, HEAP_SIZE, UC_PROT_READ | UC_PROT_WRITE, 'host data')
        self.mapRegion(STUB_BASE, PAGE, UC_PROT_READ | UC_PROT_EXEC, 'platform stubs')
        # int3 everywhere: a stub that somehow ran would trap, not fall through.
        self.uc.mem_write(STUB_BASE, b'\xcc' * PAGE)
        self._loadFlatSegments()
        self.uc.hook_add(UC_HOOK_CODE, self._onStub, begin=STUB_BASE, end=RETURN_SENTINEL - 1)
        self.uc.hook_add(UC_HOOK_MEM_INVALID, self._onBadAccess)

    # --- memory -----------------------------------------------------------

    def mapRegion(self, address, size, perms, label):
        self.uc.mem_map(address, size, perms)
        self.regions.append((address, address + size, label))

    def alloc(self, size):
        """Room in the host's data area, 16-byte aligned."""
        address = self._heapNext
        self._heapNext += (size + 15) & ~15
        if self._heapNext > HEAP_BASE + HEAP_SIZE:
            raise EmulationError('host data area exhausted')
        return address

    def placeBytes(self, data, address=None):
        if address is None:
            address = self.alloc(len(data))
        self.uc.mem_write(address, bytes(data))
        return address

    def placeText(self, text, address=None):
        return self.placeBytes(text + b'\0', address)

    def read(self, address, size):
        return bytes(self.uc.mem_read(address, size))

    def readU32(self, address):
        return struct.unpack('<I', self.read(address, 4))[0]

    def writeU32(self, address, value):
        self.uc.mem_write(address, struct.pack('<I', value & 0xFFFFFFFF))

    def readText(self, address, limit=0x10000):
        """The NUL-terminated bytes at address, or None for a null pointer."""
        if address == 0:
            return None
        out = bytearray()
        while len(out) < limit:
            chunk = self.read(address + len(out), 1)
            if chunk == b'\0':
                return bytes(out)
            out += chunk
        raise EmulationError('no NUL within %d bytes of text at 0x%08x' % (limit, address))

    def describeAddress(self, address):
        for start, end, label in self.regions:
            if start <= address < end:
                return '%s+0x%x' % (label, address - start)
        return 'nothing mapped'

    # --- stubs ------------------------------------------------------------

    def addStub(self, standIn):
        if len(self.stubs) == STUB_LIMIT:
            raise EmulationError('too many imports for the stub page')
        self.stubs.append(standIn)
        return STUB_BASE + STUB_SPACING * (len(self.stubs) - 1)

    def _onStub(self, uc, address, size, data):
        self._pendingStub = address
        uc.emu_stop()

    def _onBadAccess(self, uc, access, address, size, value, data):
        eip = uc.reg_read(x86.UC_X86_REG_EIP)
        self._fault = 'guest %s memory at 0x%08x (%s), %d bytes, from EIP 0x%08x (%s)' % (
            ACCESS_NAMES.get(access, 'bad access of'), address, self.describeAddress(address), size,
            eip, self.describeAddress(eip))
        return False

    def _serveStub(self, address):
        index, offset = divmod(address - STUB_BASE, STUB_SPACING)
        if offset or index >= len(self.stubs):
            raise EmulationError('guest jumped into the stub page at 0x%08x, on no stub' % address)
        standIn = self.stubs[index]
        esp = self.uc.reg_read(x86.UC_X86_REG_ESP)
        returnAddress = self.readU32(esp)
        args = [self.readU32(esp + 4 + 4 * k) for k in range(standIn.argCount)]
        if standIn.variadic:
            args.append(lambda k: self.readU32(esp + 4 + 4 * k))
        result = standIn.function(*args)
        popped = 4 * standIn.argCount if standIn.convention == STDCALL else 0
        self.uc.reg_write(x86.UC_X86_REG_ESP, esp + 4 + popped)
        self.uc.reg_write(x86.UC_X86_REG_EAX, (result or 0) & 0xFFFFFFFF)
        for register, garbage in SCRATCH:
            self.uc.reg_write(register, garbage)
        return returnAddress

    # --- calls into the guest ---------------------------------------------

    def call(self, address, args, convention, what):
        """Runs the guest function at address with 32-bit args, as the platform
        or the host would call it, and returns EAX."""
        outer = None
        if self._depth:
            outer = [self.uc.reg_read(r) for r in SAVED_CONTEXT]
            # Below the caller's frame, with room for the platform's own.
            esp = (self.uc.reg_read(x86.UC_X86_REG_ESP) - 0x200) & ~15
        else:
            esp = STACK_BASE + STACK_SIZE - 0x100
            self._expired = 0
        for value in reversed(args):
            esp -= 4
            self.writeU32(esp, value)
        esp -= 4
        self.writeU32(esp, RETURN_SENTINEL)
        self.uc.reg_write(x86.UC_X86_REG_ESP, esp)
        for _, register, value in CALLEE_SAVED:
            self.uc.reg_write(register, value)

        watchdog = None if self._depth else self._startWatchdog()
        self._depth += 1
        try:
            self._run(address, what)
        finally:
            self._depth -= 1
            if watchdog:
                watchdog.set()

        expectedEsp = esp + 4 + (4 * len(args) if convention == STDCALL else 0)
        actualEsp = self.uc.reg_read(x86.UC_X86_REG_ESP)
        if actualEsp != expectedEsp:
            raise EmulationError(
                '%s returned with the stack pointer %+d bytes off: a %s function of %d arguments %s'
                % (what, actualEsp - expectedEsp, convention, len(args),
                   'pops them itself' if convention == STDCALL else 'leaves them to its caller'))
        for name, register, value in CALLEE_SAVED:
            if self.uc.reg_read(register) != value:
                raise EmulationError('%s returned with %s changed (0x%08x, was 0x%08x)'
                                     % (what, name, self.uc.reg_read(register), value))
        result = self.uc.reg_read(x86.UC_X86_REG_EAX)
        if outer:
            for register, value in zip(SAVED_CONTEXT, outer):
                self.uc.reg_write(register, value)
        return result

    def _run(self, address, what):
        pc = address
        while True:
            self._pendingStub = None
            self._fault = None
            try:
                self.uc.emu_start(pc, RETURN_SENTINEL)
            except UcError as error:
                eip = self.uc.reg_read(x86.UC_X86_REG_EIP)
                raise EmulationError('%s: %s' % (what, self._fault or '%s at EIP 0x%08x (%s)' % (
                    error, eip, self.describeAddress(eip)))) from None
            if self._expired:
                raise EmulationError('%s was still running after %d s: stopped as a runaway'
                                     % (what, self._expired))
            stub = self._pendingStub
            if stub is None:
                if self.uc.reg_read(x86.UC_X86_REG_EIP) == RETURN_SENTINEL:
                    return
                raise EmulationError('%s: emulation stopped at 0x%08x for no known reason'
                                     % (what, self.uc.reg_read(x86.UC_X86_REG_EIP)))
            pc = self._serveStub(stub)

    runawaySeen = False  # shared by every machine of the run

    def _startWatchdog(self):
        finished = threading.Event()
        allowance = RUNAWAY_SECONDS_AFTER_ONE if Machine.runawaySeen else RUNAWAY_SECONDS

        def watch():
            if finished.wait(allowance):
                return
            Machine.runawaySeen = True
            self._expired = allowance
            # Between two runs a stop is lost, so keep stopping until the caller gives up.
            while not finished.wait(0.05):
                self.uc.emu_stop()

        threading.Thread(target=watch, daemon=True).start()
        return finished

    # --- segments ---------------------------------------------------------

    def _loadFlatSegments(self):
        # A flat 4 GiB data segment with the 32-bit flag: without it SS is a
        # 16-bit stack and "ret n" works on SP alone. Access 0x93: present,
        # ring 0, writable data, already marked accessed (the table is
        # read-only); flags 0xC: 4 KiB units, 32-bit.
        flat = segmentDescriptor(0, 0xFFFFF, access=0x93, flags=0xC)
        self.uc.mem_write(GDT_BASE, b'\0' * 8 + flat)
        self.uc.reg_write(x86.UC_X86_REG_GDTR, (0, GDT_BASE, 16 - 1, 0))
        for register in (x86.UC_X86_REG_SS, x86.UC_X86_REG_DS, x86.UC_X86_REG_ES):
            self.uc.reg_write(register, 1 << 3)
