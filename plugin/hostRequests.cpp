// Wrappers that send the host's requests as synchronous window messages.
#include "hostRequests.h"

static LRESULT askHost(HWND hostWindow, HostRequestCode code, WPARAM argument)
{
    return SendMessageA(hostWindow, HostRequestMessage, argument, code);
}

const char *requestSettingsPath(HWND hostWindow)
{
    return reinterpret_cast<const char *>(askHost(hostWindow, RequestSettingsPath, 0));
}

HWND requestPlaylistEditor(HWND hostWindow)
{
    return reinterpret_cast<HWND>(askHost(hostWindow, RequestPlaylistEditor, 1));
}

int requestEntryCount(HWND hostWindow)
{
    return static_cast<int>(askHost(hostWindow, RequestEntryCount, 0));
}

int requestCurrentIndex(HWND hostWindow)
{
    return static_cast<int>(askHost(hostWindow, RequestCurrentIndex, 0));
}

const char *requestEntryName(HWND hostWindow, int index)
{
    return reinterpret_cast<const char *>(askHost(hostWindow, RequestEntryName, static_cast<WPARAM>(index)));
}

void requestRemoveEntry(HWND playlistEditor, int index)
{
    /* result not examined */ SendMessageA(playlistEditor, HostRequestMessage, RequestRemoveEntry, index);
}
