// The module: its one export, the header record and the three operations that
// tie the sweep timer, the settings store and the dialog to the host's life.
#include "pluginHeader.h"
#include "../settings/configDialog.h"
#include "../settings/settings.h"
#include "../sweep/sweep.h"

static int pluginInit();
static void pluginConfig();
static void pluginQuit();

static PluginHeader header = {0x10, "Kestwyn v1.1", pluginInit, pluginConfig, pluginQuit, nullptr, nullptr};

// The host may rewrite the handles at any time, so each operation reads them afresh.
static int pluginInit()
{
    loadSettings(header.hostWindow);
    startSweepTimer(header.hostWindow);
    return 0;
}

static void pluginConfig()
{
    stopSweepTimer(header.hostWindow);
    runConfigDialog(header.moduleInstance, header.hostWindow);
    // Restarting gives a full interval after the close, with the new period.
    startSweepTimer(header.hostWindow);
}

static void pluginQuit()
{
    stopSweepTimer(header.hostWindow);
    saveSettings();
}

extern "C" PluginHeader *winampGetGeneralPurposePlugin()
{
    return &header;
}

// The module has no runtime to start or stop, so every reason succeeds.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
