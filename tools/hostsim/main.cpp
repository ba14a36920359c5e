// hostsim: runs the plug-in module in the simulated host.
//   hostsim demo PLAYLIST   load the plug-in, let real timer ticks sweep the
//                           playlist, print it before and after and the
//                           settings the plug-in wrote at quit.
#include "hostSimulator.h"
#include "playlistFile.h"
#include "pluginLoader.h"

#include <cstdio>
#include <cstring>

static void printPlaylist(const char *title, const HostSimulator &host)
{
    std::printf("%s (%zu entries, current entry %d):\n", title, host.playlist.size(), host.currentIndex);
    for (size_t k = 0; k < host.playlist.size(); ++k)
        std::printf("  %2zu  %s\n", k, host.playlist[k].c_str());
}

static void printSettingsSection(const char *path)
{
    std::printf("Settings written at quit, section [Kestwyn] of %s:\n", path);
    char keys[256];
    GetPrivateProfileStringA("Kestwyn", nullptr, "", keys, sizeof keys, path);
    for (const char *key = keys; *key; key += std::strlen(key) + 1) {
        char value[64];
        GetPrivateProfileStringA("Kestwyn", key, "", value, sizeof value, path);
        std::printf("  %s=%s\n", key, value);
    }
}

static int runDemo(const char *playlistPath)
{
    HostSimulator host;
    if (!readPlaylistFile(playlistPath, host.playlist)) {
        std::fprintf(stderr, "hostsim: cannot read %s\n", playlistPath);
        return 1;
    }

    // A settings file of the demo's own, asking for a tick every second.
    char iniPath[MAX_PATH];
    GetTempPathA(MAX_PATH, iniPath);
    lstrcatA(iniPath, "zanq-demo.ini");
    DeleteFileA(iniPath);
    WritePrivateProfileStringA("Kestwyn", "Enabled", "1", iniPath);
    WritePrivateProfileStringA("Kestwyn", "Period", "1", iniPath);
    host.settingsPathText = iniPath;

    LoadedPlugin plugin = loadPlugin(pluginPathBesideProgram(), host.hostWindow());
    if (!plugin.module) {
        std::fprintf(stderr, "hostsim: cannot load %s\n", pluginPathBesideProgram());
        return 1;
    }
    std::printf("Loaded %s: \"%s\"\n\n", pluginPathBesideProgram(), plugin.header->description);
    printPlaylist("Playlist before", host);

    plugin.header->init();
    // A sweep runs whole within its tick, so the first 260 request means one tick has swept.
    bool ticked = pumpMessagesUntil([&] {
        for (const HostRequest &r : host.requests)
            if (r.code == 260)
                return true;
        return false;
    }, 15000);
    plugin.header->quit();
    unloadPlugin(plugin);

    std::printf("\n");
    if (!ticked) {
        std::fprintf(stderr, "hostsim: no timer tick arrived within 15 s\n");
        return 1;
    }
    printPlaylist("Playlist after one timer tick", host);
    std::printf("\n");
    printSettingsSection(iniPath);
    DeleteFileA(iniPath);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "demo") == 0)
        return runDemo(argv[2]);
    std::fprintf(stderr, "usage: hostsim demo PLAYLIST\n");
    return 2;
}
