// The Settings record, filled from the host's INI file at start and written
// back at stop; the dialog edits it in memory in between.
#pragma once
#include <windows.h>

struct Settings {
    int enabled;              // nonzero: ticks sweep
    unsigned period;          // seconds between ticks
    const char *settingsPath; // the host's own text, or "winamp.ini"
};

Settings &settings();          // the one record, alive as long as the module
void loadSettings(HWND hostWindow);
void saveSettings();
