// dialog_screenshot GEOMETRY_FILE DONE_FILE
// Loads the plug-in beside the program into the simulated host and opens its
// configuration dialog the way the player does (init, then config). Once the
// dialog is shown and painted, writes its screen rectangle as WxH+X+Y to
// GEOMETRY_FILE, and closes it when DONE_FILE appears, so that a script can
// capture the display in between. Then quits the plug-in. Exit status 1 if
// the dialog never showed or nobody finished within the deadline.
#include "hostSimulator.h"
#include "pluginLoader.h"

#include <cstdio>
#include <string>

static const DWORD DeadlineMs = 60000;
static const DWORD SettleMs = 500; // lets the display draw what was painted

static struct {
    HWND owner;
    const char *geometryFile;
    const char *doneFile;
    HWND dialog;
    DWORD shownAt;
    DWORD startedAt;
    bool written;
    bool finished;
} capture;

static BOOL CALLBACK findDialog(HWND window, LPARAM)
{
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) == "#32770" && GetWindow(window, GW_OWNER) == capture.owner) {
        capture.dialog = window;
        return FALSE;
    }
    return TRUE;
}

static void writeGeometry()
{
    RECT r;
    GetWindowRect(capture.dialog, &r);
    if (FILE *f = std::fopen(capture.geometryFile, "w")) {
        std::fprintf(f, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        std::fclose(f);
    }
}

static void CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD now)
{
    if (!capture.dialog) {
        EnumThreadWindows(GetCurrentThreadId(), findDialog, 0);
    } else if (!capture.shownAt) {
        if (IsWindowVisible(capture.dialog)) {
            RedrawWindow(capture.dialog, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            GdiFlush();
            capture.shownAt = now;
        }
    } else if (!capture.written) {
        if (now - capture.shownAt >= SettleMs) {
            writeGeometry();
            capture.written = true;
        }
    } else if (GetFileAttributesA(capture.doneFile) != INVALID_FILE_ATTRIBUTES) {
        capture.finished = true;
        PostMessageA(capture.dialog, WM_COMMAND, IDCANCEL, 0);
    }
    if (capture.dialog && !capture.finished && now - capture.startedAt > DeadlineMs)
        PostMessageA(capture.dialog, WM_COMMAND, IDCANCEL, 0);
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dialog_screenshot GEOMETRY_FILE DONE_FILE\n");
        return 2;
    }
    capture.geometryFile = argv[1];
    capture.doneFile = argv[2];

    // Settings in a file of their own, so that the picture shows the defaults
    // and the quit leaves nothing behind in the prefix.
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    HostSimulator host;
    host.settingsPathText = std::string(dir) + "dialog_screenshot.ini";
    DeleteFileA(host.settingsPathText.c_str());

    LoadedPlugin plugin = loadPlugin(pluginPathBesideProgram(), host.hostWindow());
    if (!plugin.module) {
        std::fprintf(stderr, "dialog_screenshot: cannot load %s\n", pluginPathBesideProgram());
        return 1;
    }
    capture.owner = host.hostWindow();
    capture.startedAt = GetTickCount();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, onTick);
    plugin.header->init();
    plugin.header->config(); // returns when the dialog is closed
    KillTimer(nullptr, timer);
    plugin.header->quit();
    unloadPlugin(plugin);
    DeleteFileA(host.settingsPathText.c_str());

    if (!capture.finished)
        std::fprintf(stderr, "dialog_screenshot: %s\n",
                     capture.dialog ? "nobody finished the capture in time" : "the dialog never showed");
    return capture.finished ? 0 : 1;
}
