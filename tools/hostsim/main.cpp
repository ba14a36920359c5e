// hostsim: runs the plug-in module in the simulated host.
//   hostsim demo PLAYLIST       load the plug-in, let one real timer tick sweep
//                               the playlist, print it before and after and
//                               the settings the plug-in wrote at quit.
//   hostsim preview PLAYLIST [CURRENT]
//                               show what one sweep would remove from a
//                               playlist file (.m3u, .m3u8 or .pls) whose
//                               current entry is CURRENT (default 0); the file
//                               itself is only read.
// A UTF-8 playlist's names are held as UTF-16 and handed over in the ANSI
// code page, as the player does; other files' names as their bytes. Names
// are printed as UTF-8. Bad input gets one line on the standard error and
// exit status 1; a wrong command line gets the usage and status 2.
#include "hostSimulator.h"
#include "playlistFile.h"
#include "pluginLoader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

const DWORD TickDeadlineMs = 15000; // the tick is due after 1 s; a loaded machine may be slow

static std::string utf8Of(const std::wstring &text)
{
    int length = static_cast<int>(text.size());
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(size, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, &utf8[0], size, nullptr, nullptr);
    return utf8;
}

// Text in the ANSI code page (a byte name, a path from the command line), as UTF-8.
static std::string utf8OfAnsi(const std::string &text)
{
    int length = static_cast<int>(text.size());
    int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), length, nullptr, 0);
    std::wstring wide(size, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), length, &wide[0], size);
    return utf8Of(wide);
}

// Entry k of the host's list as the player would show it, in UTF-8.
static std::string shownName(const HostSimulator &host, size_t k)
{
    return host.unicodeNames ? utf8Of(host.widePlaylist[k]) : utf8OfAnsi(host.playlist[k]);
}

static void printPlaylist(const char *title, const HostSimulator &host)
{
    std::printf("%s (%zu entries, current entry %d):\n", title, host.entryCount(), host.currentIndex);
    for (size_t k = 0; k < host.entryCount(); ++k)
        std::printf("  %2zu  %s\n", k, shownName(host, k).c_str());
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

// What the commands need of the plug-in's requests: whether a sweep has
// begun (it opens with request 260) and the removal indices. Watched here
// rather than read from the simulator's log, which keeps one record per
// comparison, n*n/2 of them: too many for a user's long playlist.
static struct {
    WNDPROC hostProc;
    WNDPROC editorProc;
    bool swept;
    std::vector<int> removals;
} watch;

static LRESULT CALLBACK watchHost(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER && lParam == 260)
        watch.swept = true;
    return CallWindowProcA(watch.hostProc, window, message, wParam, lParam);
}

static LRESULT CALLBACK watchEditor(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER && wParam == 104)
        watch.removals.push_back(static_cast<int>(lParam));
    return CallWindowProcA(watch.editorProc, window, message, wParam, lParam);
}

static void watchRequests(HostSimulator &host)
{
    host.recording = false;
    watch.swept = false;
    watch.removals.clear();
    watch.hostProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(host.hostWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(watchHost)));
    watch.editorProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(host.editorWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(watchEditor)));
}

// Dispatches one message at a time and stops as soon as a sweep has run (a
// sweep ends within its tick), so that a sweep which outlasts the period is
// not followed by a second one.
static bool pumpUntilSwept(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!watch.swept) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
    }
    return true;
}

// Loads the plug-in beside this program into `host` with the settings file
// `iniPath`, lets one timer tick sweep, then quits and unloads it. Prints
// which module ran; on failure prints why and returns false. The indices of
// the removals, in the list as it stood at each, go to `removals`.
static bool sweepOnce(HostSimulator &host, const char *iniPath, std::vector<int> &removals)
{
    host.settingsPathText = iniPath;
    const char *pluginPath = pluginPathBesideProgram();
    LoadedPlugin plugin = loadPlugin(pluginPath, host.hostWindow());
    if (!plugin.module) {
        std::fprintf(stderr, "hostsim: cannot load the plug-in %s\n", pluginPath);
        return false;
    }
    std::printf("Plug-in %s (\"%s\"), swept by one timer tick.\n", pluginPath, plugin.header->description);
    watchRequests(host);
    plugin.header->init();
    bool swept = pumpUntilSwept(TickDeadlineMs);
    plugin.header->quit();
    unloadPlugin(plugin);
    removals = watch.removals;
    if (!swept)
        std::fprintf(stderr, "hostsim: no timer tick arrived within %lu s\n", TickDeadlineMs / 1000);
    return swept;
}

// A settings file of the command's own in the temporary folder, asking for a
// tick every second, so that the user's own INI file is never read or written.
static bool makeOwnSettingsFile(char (&path)[MAX_PATH])
{
    char folder[MAX_PATH];
    if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "zqs", 0, path)) {
        std::fprintf(stderr, "hostsim: cannot create a settings file in the temporary folder\n");
        return false;
    }
    WritePrivateProfileStringA("Kestwyn", "Enabled", "1", path);
    WritePrivateProfileStringA("Kestwyn", "Period", "1", path);
    return true;
}

// Fills the host's list from the file: a UTF-8 file's names in Unicode mode.
static bool readPlaylistOrSay(const char *path, HostSimulator &host)
{
    std::string error;
    Playlist playlist;
    if (!readPlaylistFile(path, playlist, error)) {
        std::fprintf(stderr, "hostsim: %s: %s\n", path, error.c_str());
        return false;
    }
    host.unicodeNames = playlist.utf8;
    host.playlist = playlist.names;
    host.widePlaylist = playlist.wideNames;
    return true;
}

// How the names reach the plug-in; for UTF-8 text, how many lose letters on the way.
static void printHowNamesReachThePlugin(const HostSimulator &host)
{
    if (!host.unicodeNames) {
        std::printf("The file is not UTF-8: names reach the plug-in as the bytes they are in it (shown here read "
                    "in code page %u).\n",
                    GetACP());
        return;
    }
    size_t lossy = 0;
    for (const std::wstring &name : host.widePlaylist) {
        bool lost = false;
        ansiName(name, &lost);
        lossy += lost;
    }
    std::printf("The file is UTF-8: names reach the plug-in in code page %u, as the player hands them over; "
                "%zu of them hold letters that page lacks (sent as '?') and are never taken for repeats.\n",
                GetACP(), lossy);
}

static int runDemo(const char *playlistPath)
{
    HostSimulator host;
    char iniPath[MAX_PATH];
    if (!readPlaylistOrSay(playlistPath, host) || !makeOwnSettingsFile(iniPath))
        return 1;
    printPlaylist("Playlist before", host);
    std::printf("\n");
    std::vector<int> removals;
    bool swept = sweepOnce(host, iniPath, removals);
    if (swept) {
        std::printf("\n");
        printPlaylist("Playlist after one timer tick", host);
        std::printf("\n");
        printSettingsSection(iniPath);
    }
    DeleteFileA(iniPath);
    return swept ? 0 : 1;
}

// The current index as typed: decimal digits naming an entry, 0..count-1.
static bool parseCurrentIndex(const char *text, size_t count, int &index)
{
    const char *digits = text[0] == '-' ? text + 1 : text;
    if (!*digits || std::strspn(digits, "0123456789") != std::strlen(digits)) {
        std::fprintf(stderr, "hostsim: current index \"%s\" is not a whole number\n", text);
        return false;
    }
    size_t value = 0;
    for (const char *d = digits; *d && value < count; ++d)
        value = value * 10 + static_cast<size_t>(*d - '0');
    if ((digits != text && value > 0) || value >= count) {
        std::fprintf(stderr, "hostsim: current index %s is out of range: the playlist has %zu entries, so it must be 0..%zu\n",
                     text, count, count - 1);
        return false;
    }
    index = static_cast<int>(value);
    return true;
}

static const char *entries(size_t count)
{
    return count == 1 ? "entry" : "entries";
}

static int runPreview(const char *playlistPath, const char *currentText)
{
    HostSimulator host;
    if (!readPlaylistOrSay(playlistPath, host))
        return 1;
    if (currentText && !parseCurrentIndex(currentText, host.entryCount(), host.currentIndex))
        return 1;
    std::vector<std::string> original;
    for (size_t k = 0; k < host.entryCount(); ++k)
        original.push_back(shownName(host, k));
    char iniPath[MAX_PATH];
    if (!makeOwnSettingsFile(iniPath))
        return 1;
    std::printf("Preview of one sweep of %s (%zu entries, current entry %d); the file is not changed.\n",
                utf8OfAnsi(playlistPath).c_str(), original.size(), host.currentIndex);
    printHowNamesReachThePlugin(host);
    std::vector<int> removals;
    bool swept = sweepOnce(host, iniPath, removals);
    DeleteFileA(iniPath);
    if (!swept)
        return 1;

    // Each removal names an index in the list as it stood then; following
    // them in order recovers every removed entry's place in the file.
    std::vector<size_t> fileIndex(original.size());
    for (size_t k = 0; k < fileIndex.size(); ++k)
        fileIndex[k] = k;
    std::vector<size_t> removed;
    for (int r : removals) {
        removed.push_back(fileIndex.at(r));
        fileIndex.erase(fileIndex.begin() + r);
    }
    std::sort(removed.begin(), removed.end());
    std::printf("\nRemoved %zu of %zu %s (index in the file, name):\n", removed.size(), original.size(),
                entries(original.size()));
    for (size_t k : removed)
        std::printf("  %4zu  %s\n", k, original[k].c_str());
    std::printf("\nRemaining %zu %s (new index, name; current entry %d):\n", host.entryCount(),
                entries(host.entryCount()), host.currentIndex);
    for (size_t k = 0; k < host.entryCount(); ++k)
        std::printf("  %4zu  %s\n", k, shownName(host, k).c_str());
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "demo") == 0)
        return runDemo(argv[2]);
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "preview") == 0)
        return runPreview(argv[2], argc == 4 ? argv[3] : nullptr);
    std::fprintf(stderr, "usage: hostsim demo PLAYLIST\n"
                         "       hostsim preview PLAYLIST [CURRENT]   (.m3u, .m3u8 or .pls; CURRENT from 0)\n");
    return 2;
}
