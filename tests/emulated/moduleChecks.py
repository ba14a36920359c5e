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


# reason, reserved: every reason the loader gives, with both kinds of reserved
ENTRY_CALLS = [(DLL_PROCESS_ATTACH, 0), (DLL_PROCESS_ATTACH, 1), (DLL_THREAD_ATTACH, 0),
               (DLL_THREAD_DETACH, 0), (DLL_PROCESS_DETACH, 0), (DLL_PROCESS_DETACH, 1)]


def checkEntry(image):
    """It has nothing to do: it only reports success. Each call still goes
    through the stdcall and register checks of the emulated call."""
    plugin = HostedPlugin(image)
    mark = len(plugin.platform.calls)
    results = [plugin.callEntry(reason, reserved) != 0 for reason, reserved in ENTRY_CALLS]
    expectEqual(results, [True] * len(ENTRY_CALLS), 'success reported for (reason, reserved) %s' % ENTRY_CALLS)
    expectEqual(plugin.callsSince(mark), [], 'platform calls made by the entry procedure')


def checkModule(case, image):
    case('export directory: one name, ordinal 1', checkExportDirectory, image)
    case('export called by name and by ordinal, twice each', checkExportCalls, image)
    case('header record as exported', checkHeaderRecord, image)
    case('entry procedure: every reason reports success and calls nothing', checkEntry, image)
