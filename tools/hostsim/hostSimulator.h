// A stand-in for the media player, written from its window-message interface:
// a main window that answers requests 334, 260, 124, 125 and 211 over an
// in-memory playlist, and a playlist editor window that answers 104. Every
// request is recorded in order, so a test can assert the exact sequence.
//
// Like the real host, a name returned for 211 lives in one reused buffer that
// the next request scribbles over, so a caller that keeps the pointer is caught.
// In Unicode mode the simulator holds the names as UTF-16, as the player keeps
// its list, and answers 211 with them converted to the ANSI code page, as the
// player does.
#pragma once
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct HostRequest {
    HWND window;       // the window that received it
    unsigned code;     // request code
    intptr_t argument; // entry index, or the fixed argument of the request

    bool operator==(const HostRequest &other) const
    {
        return window == other.window && code == other.code && argument == other.argument;
    }
};

class HostSimulator {
public:
    HostSimulator();
    ~HostSimulator();
    HostSimulator(const HostSimulator &) = delete;
    HostSimulator &operator=(const HostSimulator &) = delete;

    HWND hostWindow() const { return host_; }
    HWND editorWindow() const { return editor_; }

    // The playlist and what the host reports of it: the names are `playlist`,
    // handed over byte for byte, or in Unicode mode `widePlaylist`.
    std::vector<std::string> playlist;
    bool unicodeNames = false;
    std::vector<std::wstring> widePlaylist;
    int currentIndex = 0;
    bool overrideCount = false; // report reportedCount for 124 instead of the real size
    int reportedCount = 0;

    // Odd answers a test can ask for.
    bool nullEditor = false;            // 260 answers a null handle
    std::set<int> nullNameIndices;      // 211 answers a null address for these indices
    LRESULT settingsPathAnswer = 0;     // raw answer to 334 when no path text is set
    std::string settingsPathText;       // when not empty, 334 answers the address of this text

    // Every request received, in order, while recording is on; a benchmark
    // turns it off so that the host's answers cost what they would unrecorded.
    std::vector<HostRequest> requests;
    bool recording = true;

    // The 104 indices received, in order: a convenience over requests.
    std::vector<int> removals() const;

    // The number of entries in the list of the current mode.
    size_t entryCount() const { return unicodeNames ? widePlaylist.size() : playlist.size(); }

    // Address that 334 hands out for settingsPathText (stable while the text is unchanged).
    const char *settingsPathAddress() const { return settingsPathText.c_str(); }

private:
    static LRESULT CALLBACK hostProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK editorProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT answerHost(unsigned code, WPARAM argument);
    LRESULT answerEditor(unsigned code, LPARAM argument);
    LRESULT handOver(const std::string &name);
    void spoilLastName();

    HWND host_ = nullptr;
    HWND editor_ = nullptr;
    std::vector<char> nameBuffer_; // the one buffer that 211 answers point into
    size_t nameLength_ = 0;
};

// The text that 211 hands over for a UTF-16 name: the system's conversion to
// the ANSI code page with its defaults, so a letter that the page lacks
// becomes '?' (or a look-alike where the system knows one). `lossy`, if given,
// says whether any letter became the '?'.
std::string ansiName(const std::wstring &name, bool *lossy = nullptr);

// Runs the calling thread's message loop until done() holds or timeoutMs
// passes. Returns whether done() held. Never a measure of elapsed time.
template <class Done>
bool pumpMessagesUntil(Done done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

// Runs the message loop for about ms milliseconds, for checks that something does not happen.
void pumpMessagesFor(DWORD ms);

// Runs the message loop until `ticks` WM_TIMER messages of timer `id` on
// `window` have been dispatched, or timeoutMs passes. Returns the ticks seen.
int pumpTimerTicks(HWND window, UINT_PTR id, int ticks, DWORD timeoutMs);
