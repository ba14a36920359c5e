"""The release DLL as a loader sees it: parsed once, then mapped into a fresh
machine at a base other than its preferred one (so its base relocations must
be right), each section with its own protection, and every import pointed at
a stand-in. An import without a stand-in stops the load."""

import pefile
from unicorn import UC_PROT_ALL, UC_PROT_EXEC, UC_PROT_READ, UC_PROT_WRITE

from .machine import PAGE, EmulationError

# Where the image goes: away from the base it asks for, as when that is taken.
LOAD_BASE = 0x10000000

SCN_EXECUTE, SCN_READ, SCN_WRITE = 0x20000000, 0x40000000, 0x80000000
FILE_RELOCS_STRIPPED, FILE_DLL = 0x0001, 0x2000
MACHINE_I386, MAGIC_PE32 = 0x14C, 0x10B


def pageRound(size):
    return (size + PAGE - 1) & ~(PAGE - 1)


class Section:
    def __init__(self, name, rva, size, characteristics):
        self.name, self.rva, self.size = name, rva, size
        self.readable = bool(characteristics & SCN_READ)
        self.writable = bool(characteristics & SCN_WRITE)
        self.executable = bool(characteristics & SCN_EXECUTE)

    def contains(self, rva):
        return self.rva <= rva < self.rva + self.size


class PeImage:
    """What the loader needs of the file, gathered once per run."""

    def __init__(self, path, base=LOAD_BASE):
        pe = pefile.PE(path)
        if pe.FILE_HEADER.Machine != MACHINE_I386 or pe.OPTIONAL_HEADER.Magic != MAGIC_PE32:
            raise EmulationError('%s is not a 32-bit x86 PE file' % path)
        if not pe.FILE_HEADER.Characteristics & FILE_DLL:
            raise EmulationError('%s is not marked as a DLL' % path)
        self.preferredBase = pe.OPTIONAL_HEADER.ImageBase
        if base == self.preferredBase:
            raise EmulationError('choose a load base other than the preferred one')
        if pe.FILE_HEADER.Characteristics & FILE_RELOCS_STRIPPED or not hasattr(pe, 'DIRECTORY_ENTRY_BASERELOC'):
            raise EmulationError('%s has no base relocations: it cannot load where its base is taken' % path)
        self.base = base
        self.size = pe.OPTIONAL_HEADER.SizeOfImage
        self.headerSize = pe.OPTIONAL_HEADER.SizeOfHeaders
        self.entryRva = pe.OPTIONAL_HEADER.AddressOfEntryPoint
        self.memory = pe.get_memory_mapped_image(ImageBase=base).ljust(self.size, b'\0')[:self.size]
        self.sections = [Section(s.Name.rstrip(b'\0').decode('latin-1'), s.VirtualAddress,
                                 s.Misc_VirtualSize, s.Characteristics) for s in pe.sections]
        # After relocation pefile gives import slots at the new base.
        self.imports = []  # (dll, name or None, ordinal or None, slot rva)
        for entry in getattr(pe, 'DIRECTORY_ENTRY_IMPORT', []):
            for imp in entry.imports:
                self.imports.append((entry.dll.decode('latin-1'),
                                     imp.name.decode('latin-1') if imp.name else None,
                                     imp.ordinal if imp.import_by_ordinal else None,
                                     imp.address - base))
        self.exportsByName, self.exportsByOrdinal, self.exportDllName = {}, {}, None
        if hasattr(pe, 'DIRECTORY_ENTRY_EXPORT'):
            exports = pe.DIRECTORY_ENTRY_EXPORT
            self.exportDllName = pe.get_string_at_rva(exports.struct.Name).decode('latin-1')
            for symbol in exports.symbols:
                if symbol.name:
                    self.exportsByName[symbol.name.decode('latin-1')] = symbol.address
                self.exportsByOrdinal[symbol.ordinal] = symbol.address
        self.resources = {}  # (type id, name id) -> {language: bytes}
        directory = getattr(pe, 'DIRECTORY_ENTRY_RESOURCE', None)
        for kind in directory.entries if directory else []:
            for name in kind.directory.entries:
                for language in name.directory.entries:
                    data = language.data.struct
                    self.resources.setdefault((kind.id, name.id), {})[language.id] = pe.get_data(
                        data.OffsetToData, data.Size)

    def sectionAt(self, address):
        """The section holding an absolute address in the mapped image, or None."""
        rva = address - self.base
        return next((s for s in self.sections if s.contains(rva)), None)

    def mapInto(self, machine, standIns):
        """Maps the image with per-section protection and binds each import
        to the stand-in of the same module and name."""
        machine.mapRegion(self.base, pageRound(self.size), UC_PROT_ALL, 'image')
        machine.placeBytes(self.memory, self.base)
        machine.uc.mem_protect(self.base, pageRound(self.headerSize), UC_PROT_READ)
        for s in self.sections:
            perms = ((UC_PROT_READ if s.readable else 0) | (UC_PROT_WRITE if s.writable else 0)
                     | (UC_PROT_EXEC if s.executable else 0))
            machine.uc.mem_protect(self.base + s.rva, pageRound(s.size), perms)
            machine.regions.insert(0, (self.base + s.rva, self.base + s.rva + s.size, 'image ' + s.name))
        for dll, name, ordinal, slotRva in self.imports:
            standIn = standIns.get((dll.lower(), name))
            if standIn is None:
                raise EmulationError('import %s!%s has no stand-in' % (dll, name or '#%d' % ordinal))
            machine.writeU32(self.base + slotRva, machine.addStub(standIn))
