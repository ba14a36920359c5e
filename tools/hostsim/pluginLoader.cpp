// Plug-in loading as the host does it.
#include "pluginLoader.h"

using GetHeader = PluginHeaderView *(*)();

LoadedPlugin loadPlugin(const char *path, HWND hostWindow, bool byOrdinal)
{
    LoadedPlugin plugin;
    HMODULE module = LoadLibraryA(path);
    if (!module)
        return plugin;
    FARPROC entry = GetProcAddress(module, byOrdinal ? MAKEINTRESOURCEA(1) : "winampGetGeneralPurposePlugin");
    if (!entry) {
        FreeLibrary(module);
        return plugin;
    }
    plugin.module = module;
    plugin.header = reinterpret_cast<GetHeader>(reinterpret_cast<void *>(entry))();
    plugin.header->hostWindow = hostWindow;
    plugin.header->moduleInstance = module;
    return plugin;
}

void unloadPlugin(LoadedPlugin &plugin)
{
    if (plugin.module)
        FreeLibrary(plugin.module);
    plugin = LoadedPlugin();
}

const char *pluginPathBesideProgram()
{
    static char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/')
        --length;
    lstrcpyA(path + length, "gen_zanq.dll");
    return path;
}
