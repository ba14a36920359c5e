// Host simulator: window procedures answering the host's requests.
#include "hostSimulator.h"

#include <cstdio>
#include <cstdlib>

static const char HostClass[] = "ZanqSimulatedHost";
static const char EditorClass[] = "ZanqSimulatedEditor";

static void registerClasses()
{
    static bool done = false;
    if (done)
        return;
    WNDCLASSA wc = {};
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = HostClass;
    // The system's own procedure until the simulator's takes over: a lambda
    // would convert to a cdecl pointer on i686, not the CALLBACK one required.
    wc.lpfnWndProc = DefWindowProcA;
    RegisterClassA(&wc);
    wc.lpszClassName = EditorClass;
    RegisterClassA(&wc);
    done = true;
}

HostSimulator::HostSimulator()
{
    registerClasses();
    // Plain top-level windows, never shown: the requests need only a window procedure.
    host_ = CreateWindowA(HostClass, "Simulated host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                          nullptr, GetModuleHandleA(nullptr), nullptr);
    editor_ = CreateWindowA(EditorClass, "Simulated playlist editor", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    // Without its windows nothing can be tested or shown: every request would
    // go nowhere and each test would fail with an empty log and no hint.
    if (!host_ || !editor_) {
        std::fprintf(stderr, "hostsim: cannot create the simulated host's windows (error %lu); is there a display?\n",
                     GetLastError());
        std::exit(1);
    }
    SetWindowLongPtrA(host_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(editor_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(host_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hostProc));
    SetWindowLongPtrA(editor_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editorProc));
}

HostSimulator::~HostSimulator()
{
    DestroyWindow(editor_);
    DestroyWindow(host_);
}

std::vector<int> HostSimulator::removals() const
{
    std::vector<int> indices;
    for (const HostRequest &r : requests)
        if (r.window == editor_ && r.code == 104)
            indices.push_back(static_cast<int>(r.argument));
    return indices;
}

// The previous answer to 211 becomes garbage at the next request; its NUL
// stays, so a caller that reads it late gets a wrong name, not a runaway read.
void HostSimulator::spoilLastName()
{
    for (size_t k = 0; k + 1 < nameLength_; ++k)
        nameBuffer_[k] = '#';
    nameLength_ = 0;
}

LRESULT HostSimulator::answerHost(unsigned code, WPARAM argument)
{
    spoilLastName();
    if (recording)
        requests.push_back({host_, code, static_cast<intptr_t>(argument)});
    switch (code) {
    case 334:
        return settingsPathText.empty() ? settingsPathAnswer
                                        : reinterpret_cast<LRESULT>(settingsPathText.c_str());
    case 260:
        return nullEditor ? 0 : reinterpret_cast<LRESULT>(editor_);
    case 124:
        return overrideCount ? reportedCount : static_cast<LRESULT>(entryCount());
    case 125:
        return currentIndex;
    case 211: {
        int index = static_cast<int>(argument);
        if (index < 0 || static_cast<size_t>(index) >= entryCount() || nullNameIndices.count(index))
            return 0;
        return unicodeNames ? handOver(ansiName(widePlaylist[index])) : handOver(playlist[index]);
    }
    }
    return 0;
}

// Puts the name into the one reused buffer and answers its address.
LRESULT HostSimulator::handOver(const std::string &name)
{
    // Grow only when needed; a name fits in place otherwise, so the address repeats.
    if (nameBuffer_.size() < name.size() + 1)
        nameBuffer_.resize(name.size() + 1);
    std::copy(name.begin(), name.end(), nameBuffer_.begin());
    nameBuffer_[name.size()] = '\0';
    nameLength_ = name.size() + 1;
    return reinterpret_cast<LRESULT>(nameBuffer_.data());
}

std::string ansiName(const std::wstring &name, bool *lossy)
{
    // No flags and no default character of our own: the conversion the player makes.
    int length = static_cast<int>(name.size());
    int size = WideCharToMultiByte(CP_ACP, 0, name.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string text(size, '\0');
    // The system refuses to report a default character for UTF-8, which needs none.
    BOOL usedDefault = FALSE;
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, name.c_str(), length, &text[0], size, nullptr,
                            GetACP() == CP_UTF8 ? nullptr : &usedDefault);
    if (lossy)
        *lossy = usedDefault != FALSE;
    return text;
}

LRESULT HostSimulator::answerEditor(unsigned code, LPARAM argument)
{
    spoilLastName();
    if (recording)
        requests.push_back({editor_, code, static_cast<intptr_t>(argument)});
    if (code == 104) {
        int index = static_cast<int>(argument);
        if (index >= 0 && static_cast<size_t>(index) < entryCount()) {
            if (unicodeNames)
                widePlaylist.erase(widePlaylist.begin() + index);
            else
                playlist.erase(playlist.begin() + index);
            // The current entry keeps pointing at the same item, as a player's would.
            if (index < currentIndex)
                --currentIndex;
        }
    }
    return 0;
}

LRESULT CALLBACK HostSimulator::hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *sim = reinterpret_cast<HostSimulator *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_USER && sim)
        return sim->answerHost(static_cast<unsigned>(lParam), wParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK HostSimulator::editorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *sim = reinterpret_cast<HostSimulator *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_USER && sim)
        return sim->answerEditor(static_cast<unsigned>(wParam), lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

void pumpMessagesFor(DWORD ms)
{
    pumpMessagesUntil([] { return false; }, ms);
}

int pumpTimerTicks(HWND window, UINT_PTR id, int ticks, DWORD timeoutMs)
{
    int seen = 0;
    DWORD start = GetTickCount();
    while (seen < ticks && GetTickCount() - start < timeoutMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (seen < ticks && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_TIMER && msg.hwnd == window && msg.wParam == id)
                ++seen;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return seen;
}
