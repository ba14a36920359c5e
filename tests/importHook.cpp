// Import address table rewriting for tests.
#include "importHook.h"

#include <cstring>

void *hookImport(HMODULE module, const char *dllName, const char *functionName, void *replacement)
{
    auto *base = reinterpret_cast<BYTE *>(module);
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return nullptr;
    for (auto *desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (lstrcmpiA(reinterpret_cast<char *>(base + desc->Name), dllName) != 0)
            continue;
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + desc->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto *byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char *>(byName->Name), functionName) != 0)
                continue;
            DWORD oldProtect;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &oldProtect);
            void *previous = reinterpret_cast<void *>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, oldProtect, &oldProtect);
            return previous;
        }
    }
    return nullptr;
}

ScopedImportHook::ScopedImportHook(HMODULE module, const char *dllName, const char *functionName, void *replacement)
    : module_(module), dllName_(dllName), functionName_(functionName),
      previous_(hookImport(module, dllName, functionName, replacement))
{
}

ScopedImportHook::~ScopedImportHook()
{
    if (previous_)
        hookImport(module_, dllName_, functionName_, previous_);
}
