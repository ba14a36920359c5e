// The host's window-message interface: every request the plug-in sends, with
// its code and parameter order, is written down here and nowhere else.
// Requests to the host window carry the code in lParam and the argument in
// wParam; the one request to the playlist editor has them the other way round.
#pragma once
#include <windows.h>

const UINT HostRequestMessage = WM_USER;

enum HostRequestCode {
    RequestRemoveEntry = 104,    // to the playlist editor: remove an entry, later ones move down
    RequestEntryCount = 124,     // number of playlist entries
    RequestCurrentIndex = 125,   // zero-based index of the current entry
    RequestEntryName = 211,      // address of an entry's file name
    RequestPlaylistEditor = 260, // handle of the playlist editor window
    RequestSettingsPath = 334,   // address of the host's INI file path
};

const char *requestSettingsPath(HWND hostWindow);            // below 0x10000 means "no path"
HWND requestPlaylistEditor(HWND hostWindow);
int requestEntryCount(HWND hostWindow);
int requestCurrentIndex(HWND hostWindow);
const char *requestEntryName(HWND hostWindow, int index);    // valid only until the next request; may be null
void requestRemoveEntry(HWND playlistEditor, int index);
