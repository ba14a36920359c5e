// The periodic duplicate sweep: timer 1611 on the host window and the scan
// that removes later repeats of each entry from the current one to the end.
#pragma once
#include <windows.h>

const UINT_PTR SweepTimerId = 1611;

void startSweepTimer(HWND hostWindow);   // interval: period x 1000 ms, modulo 2^32
void stopSweepTimer(HWND hostWindow);
void CALLBACK onSweepTimer(HWND window, UINT message, UINT_PTR timerId, DWORD time); // sweeps only while enabled
void sweepPlaylist(HWND window);         // one whole sweep, within the call
