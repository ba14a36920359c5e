"""The module as the host finds it: the export by name and by ordinal, the
28-byte header record read from emulated memory, and the entry procedure."""

from .checks import Where, expectEqual, expectTrue
from .hostedPlugin import (DLL_PROCESS_ATTACH, DLL_PROCESS_DETACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH,
                           EXPORT_NAME, Header, HostedPlugin)


def inCode(image):
    def test(address):
        section = image.sectionAt(address) if isinstance(address, int) else None
        return section is not None and section.executable
    return Where(test, 'an address in the module\'s executable code')


def checkExportDirectory(image):
    expectEqual(image.exportDllName, 'gen_zanq.dll', 'module name in the export directory')
    expectEqual(sorted(image.exportsByName), [EXPORT_NAME], 'exports by name')
    expectEqual(sorted(image.exportsByOrdinal), [1], 'export ordinals')
    expectEqual(image.exportsByOrdinal[1], image.exportsByName[EXPORT_NAME], 'ordinal 1 and the name')


def checkExportCalls(image):
    plugin = HostedPlugin(image)
    byName, byOrdinal = image.exportsByName[EXPORT_NAME], image.exportsByOrdinal[1]
    addresses = [plugin.callExport(rva) for rva in (byName, byOrdinal, byName, byOrdinal)]
    expectEqual(addresses, [plugin.headerAddress] * 4, 'header address from each call (name, 1, name, 1)')
    section = image.sectionAt(plugin.headerAddress)
    # The host writes its two handles into the record.
    expectTrue(section is not None and section.writable and image.sectionAt(plugin.headerAddress + 27) is section,
               'header record at 0x%08x does not lie whole in a writable section' % plugin.headerAddress)


def checkHeaderRecord(image):
    plugin = HostedPlugin(image)
    header = Header(plugin.headerBeforeHandles)
    code = inCode(image)
    expectEqual((header.version, header.init, header.config, header.quit, header.hostWindow, header.moduleInstance),
                (0x10, code, code, code, 0, 0),
                'header as exported (version, init, config, quit, host window, module instance)')
    expectEqual(len({header.init, header.config, header.quit}), 3, 'distinct init, config and quit')
    expectEqual(plugin.machine.readText(header.description), b'Kestwyn v1.1', 'description text')


ENTRY_CASES = [
    ('process attach, loaded on demand', DLL_PROCESS_ATTACH, 0),
    ('process attach, loaded with the program', DLL_PROCESS_ATTACH, 1),
    ('thread attach', DLL_THREAD_ATTACH, 0),
    ('thread detach', DLL_THREAD_DETACH, 0),
    ('process detach, freed', DLL_PROCESS_DETACH, 0),
    ('process detach, process ending', DLL_PROCESS_DETACH, 1),
]


def checkEntry(image, reason, reserved):
    plugin = HostedPlugin(image)
    mark = len(plugin.platform.calls)
    result = plugin.callEntry(reason, reserved)
    expectTrue(result != 0, 'the entry procedure reported failure (0) for reason %d' % reason)
    expectEqual(plugin.callsSince(mark), [], 'platform calls made by the entry procedure')


def checkModule(case, image):
    case('export directory: one name, ordinal 1', checkExportDirectory, image)
    case('export called by name and by ordinal, twice each', checkExportCalls, image)
    case('header record as exported', checkHeaderRecord, image)
    for title, reason, reserved in ENTRY_CASES:
        case('entry procedure: ' + title, checkEntry, image, reason, reserved)
