// The configuration dialog: a check box that turns sweeping on or off and a
// field for the period. It edits the Settings record in memory only.
#pragma once
#include <windows.h>

void runConfigDialog(HINSTANCE moduleInstance, HWND ownerWindow); // returns when the dialog has ended
INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam); // always 0
void setPeriodControlsEnabled(HWND dialog, int flag);
