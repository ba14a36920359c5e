// Duplicate sweep. Every entry from the current one to the end is compared
// with each later one; a later entry whose name equals it (ASCII letters
// folded, every other byte exact) is removed at once. Removals shift later
// entries down, so the inner index stays put after one and the count drops.
// A name that holds a '?' (other than in a leading \\?\) never equals any.
#include "sweep.h"
#include "../plugin/hostRequests.h"
#include "../settings/settings.h"

const int NameBufferSize = 260; // 259 bytes of name and the NUL

// Names are copied and compared a machine word at a time: one sweep makes
// about n^2/2 of each, and byte loops added a visible share to the host's own
// cost of answering. A word holding a NUL, and the last bytes that no longer
// fill a word, are handled byte by byte, so no word is written past a buffer.
typedef UINT_PTR Word; // 4 bytes in the shipped module, 8 in the x86_64 twin
const Word LowBits = ~Word(0) / 0xFF; // 0x01 in every byte
const Word HighBits = LowBits * 0x80; // 0x80 in every byte
const int WordSize = sizeof(Word);

static Word loadWord(const char *bytes)
{
    Word word;
    __builtin_memcpy(&word, bytes, WordSize); // one move; it never calls a C runtime
    return word;
}

// Exact as a yes or no: a borrow marks a byte above a 0 byte too, never
// without one.
static bool holdsNul(Word word)
{
    return (word - LowBits) & ~word & HighBits;
}

// The player hands over names in the ANSI code page, and the system writes
// '?' for every letter that page lacks, so two distinct names can arrive as
// one text. No local file name can hold a '?', so a name with one is such a
// lossy text (or a stream address with a query) and must match nothing; the
// long-path prefix \\?\ is the one place where a '?' belongs in a name.
//
// Folding leaves every '?' where it is, so a name equal to the outer one holds
// a '?' exactly where the outer one does. Checking the outer name, once per
// entry, therefore settles every comparison with it, and the inner copies,
// made about n^2/2 times a sweep, pay nothing for the rule.
static bool holdsQuestionMark(const char *copy)
{
    bool longPathPrefix = copy[0] == '\\' && copy[1] == '\\' && copy[2] == '?' && copy[3] == '\\';
    for (int k = longPathPrefix ? 4 : 0; copy[k] != '\0'; ++k) {
        if (copy[k] == '?')
            return true;
    }
    return false;
}

// Every byte A-Z becomes a-z, all in one word; other bytes stay as they are.
static Word foldAsciiCaseInWord(Word word)
{
    Word low = word & ~HighBits; // the sums below then stay inside their byte
    Word capital = ((low + LowBits * (0x80 - 'A')) ^ (low + LowBits * (0x80 - 'Z' - 1))) & ~word & HighBits;
    return word | (capital >> 2); // 0x80 >> 2 is the case bit 0x20
}

static unsigned char foldAsciiCase(unsigned char c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// Copies a host name at once, before the next request can overwrite it.
// Returns false for a missing name or one too long for the buffer: a cut name
// must never be taken for a whole one, or two distinct long names that share
// their first 259 bytes would match and one of them would be deleted.
// Whole words are read from the host's text only at word-aligned addresses,
// so a word that holds its NUL never reaches into the next memory page.
static bool copyName(char *buffer, const char *name)
{
    if (!name)
        return false;
    int k = 0;
    while (reinterpret_cast<UINT_PTR>(name + k) % WordSize != 0) {
        if ((buffer[k] = name[k]) == '\0')
            return true;
        ++k;
    }
    for (; k + WordSize <= NameBufferSize; k += WordSize) {
        Word word = loadWord(name + k);
        if (holdsNul(word))
            break;
        __builtin_memcpy(buffer + k, &word, WordSize);
    }
    for (; k < NameBufferSize; ++k) {
        if ((buffer[k] = name[k]) == '\0')
            return true;
    }
    buffer[NameBufferSize - 1] = '\0';
    return false;
}

// Both names are whole copies in their buffers. Whole words decide only while
// neither name has ended: the word that holds the NUL, and the first word that
// differs, are settled byte by byte, so bytes left over after a NUL from
// earlier names never count.
static bool namesEqual(const char *a, const char *b)
{
    int k = 0;
    for (; k + WordSize <= NameBufferSize; k += WordSize) {
        Word x = loadWord(a + k);
        Word y = loadWord(b + k);
        // Only a NUL folds to a NUL, so a y that ends here differs from x once folded.
        if (holdsNul(x) || (x != y && foldAsciiCaseInWord(x) != foldAsciiCaseInWord(y)))
            break;
    }
    for (;; ++k) {
        unsigned char x = a[k], y = b[k];
        if (foldAsciiCase(x) != foldAsciiCase(y))
            return false;
        if (x == '\0')
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
        // A missing, cut or lossy outer name can equal nothing; skip its comparisons.
        if (!copyName(outer, requestEntryName(window, i)) || holdsQuestionMark(outer))
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
