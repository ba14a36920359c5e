// Duplicate sweep. Every entry from the current one to the end is compared
// with each later one; a later entry whose name equals it (ASCII letters
// folded, every other byte exact) is removed at once. Removals shift later
// entries down, so the inner index stays put after one and the count drops.
#include "sweep.h"
#include "../plugin/hostRequests.h"
#include "../settings/settings.h"

const int NameBufferSize = 260; // 259 bytes of name and the NUL

// Copies a host name at once, before the next request can overwrite it.
// Returns false for a missing name or one too long for the buffer: a cut name
// must never be taken for a whole one, or two distinct long names that share
// their first 259 bytes would match and one of them would be deleted.
static bool copyName(char *buffer, const char *name)
{
    if (!name)
        return false;
    for (int k = 0; k < NameBufferSize; ++k) {
        buffer[k] = name[k];
        if (name[k] == '\0')
            return true;
    }
    buffer[NameBufferSize - 1] = '\0';
    return false;
}

static unsigned char foldAsciiCase(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

static bool namesEqual(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        if (foldAsciiCase(*a) != foldAsciiCase(*b))
            return false;
        if (*a == '\0')
            return true;
    }
}

void startSweepTimer(HWND hostWindow)
{
    // Unsigned 32-bit arithmetic: a product past 2^32 - 1 wraps, as intended.
    UINT interval = settings().period * 1000u;
    /* result ignored */ SetTimer(hostWindow, SweepTimerId, interval, onSweepTimer);
}

void stopSweepTimer(HWND hostWindow)
{
    /* result ignored */ KillTimer(hostWindow, SweepTimerId);
}

void CALLBACK onSweepTimer(HWND window, UINT, UINT_PTR, DWORD)
{
    if (settings().enabled)
        sweepPlaylist(window);
}

void sweepPlaylist(HWND window)
{
    char outer[NameBufferSize];
    char inner[NameBufferSize];
    HWND editor = requestPlaylistEditor(window);
    int count = requestEntryCount(window);
    int pos = requestCurrentIndex(window);
    // A negative current index names no entry: sweeping from there would
    // read and remove entries at indices the host never offered.
    if (pos < 0 || pos >= count)
        return;
    for (int i = pos; i < count; ++i) {
        // A missing or cut outer name can equal nothing; skip its comparisons.
        if (!copyName(outer, requestEntryName(window, i)))
            continue;
        int j = i + 1;
        while (j < count) {
            if (copyName(inner, requestEntryName(window, j)) && namesEqual(outer, inner)) {
                // A null editor drops the removal, yet the count still falls, so the sweep ends.
                requestRemoveEntry(editor, j);
                --count;
            } else {
                ++j;
            }
        }
    }
}
