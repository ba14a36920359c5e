// The header record through which the host drives the plug-in. Its layout is
// shared with the host: seven 32-bit fields, 28 bytes, on 32-bit Windows.
#pragma once
#include <windows.h>

struct PluginHeader {
    int version;             // 0x10
    const char *description; // "Kestwyn v1.1"
    int (*init)();           // always 0
    void (*config)();
    void (*quit)();
    HWND hostWindow;         // written by the host before init
    HINSTANCE moduleInstance; // written by the host before init
};

#ifdef __i386__
static_assert(sizeof(PluginHeader) == 28, "the host reads 28 bytes");
static_assert(__builtin_offsetof(PluginHeader, description) == 4, "host layout");
static_assert(__builtin_offsetof(PluginHeader, init) == 8, "host layout");
static_assert(__builtin_offsetof(PluginHeader, config) == 12, "host layout");
static_assert(__builtin_offsetof(PluginHeader, quit) == 16, "host layout");
static_assert(__builtin_offsetof(PluginHeader, hostWindow) == 20, "host layout");
static_assert(__builtin_offsetof(PluginHeader, moduleInstance) == 24, "host layout");
#endif

extern "C" PluginHeader *winampGetGeneralPurposePlugin();
