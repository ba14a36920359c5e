// Loads a plug-in module the way the host does: by file, through its export
// (by name or by ordinal 1), then writes its own handles into the header.
#pragma once
#include <windows.h>

// The host's own statement of the header record it reads from the plug-in.
struct PluginHeaderView {
    int version;
    const char *description;
    int (*init)();
    void (*config)();
    void (*quit)();
    HWND hostWindow;
    HINSTANCE moduleInstance;
};

struct LoadedPlugin {
    HMODULE module = nullptr;
    PluginHeaderView *header = nullptr;
};

// Returns a plug-in with a null module when the file or its export is missing.
LoadedPlugin loadPlugin(const char *path, HWND hostWindow, bool byOrdinal = false);
void unloadPlugin(LoadedPlugin &plugin);

// The plug-in module that sits beside the running program.
const char *pluginPathBesideProgram();
